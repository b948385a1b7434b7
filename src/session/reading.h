#pragma once
// One live reading as the supply reported it: its own set points (registers 0 and 1, which may
// differ from what this program last wrote when another program or the front panel changed
// them) and its measured values, dated when the reply arrived. Log rows are made from these,
// never from the device state, which also holds what this program intends and is cleared when a
// session ends.

#include <cstdint>

struct TReading {
    // 1, 2, ... in the order the readings came (never reused by the same session core); 0: no
    // reading yet.
    uint64_t Number = 0;
    int64_t TimeMs = 0;  // wall clock, milliseconds since the epoch
    uint32_t Uset = 0;
    uint32_t Iset = 0;
    uint32_t Uout = 0;
    uint32_t Iout = 0;
    uint32_t Power = 0;  // computed from Uout and Iout as the panel shows it
    uint32_t Uin = 0;
    uint32_t Lock = 0;
    uint32_t Protect = 0;
    uint32_t Cvcc = 0;
    uint32_t OnOff = 0;
};
