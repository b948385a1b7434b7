#pragma once
// The holding-register map of a DPS-family supply: register numbers, the preset and calibration
// blocks, and the values of the command register. Everything that addresses a register by number
// takes it from here.

#include <cstdint>

namespace hreg {
// Registers 0 to 47, the fields of TCurrentSet in the same order.
constexpr uint16_t USET = 0, ISET = 1, UOUT = 2, IOUT = 3, POWER = 4, UIN = 5, LOCK = 6,
                   PROTECT = 7, CVCC = 8, ONOFF = 9, BLED = 10, MODEL = 11, VERSION = 12, TMP = 13,
                   STATE = 14, DEBUG_DATA = 15, MGIC = 16, DVID = 17, COMM = 18, GYRO = 19,
                   MMAX = 20, PVER = 21, BCKL = 22, OHP = 23, D25 = 24, PARAM = 25, MINS = 26,
                   MAXS = 27, CLR1 = 28, CLR2 = 29, CLR3 = 30, BEEP = 31, CMD = 32, TIME_L = 33,
                   TIME_H = 34, MEM = 35, AHCNT_L = 36, AHCNT_H = 37, WHCNT_L = 38, WHCNT_H = 39,
                   CLB_CMD = 40, CLB_IDX = 41, CLB_DATA_L = 42, CLB_DATA_H = 43;
constexpr uint16_t kMainCount = 48;  // registers 0 to 47

// Register groups read or written together.
constexpr uint16_t kIdentCount = STATE + 1;                // identification: USET .. STATE
constexpr uint16_t kDataCount = ONOFF + 1;                 // readings: USET .. ONOFF
constexpr uint16_t kSetCount = ISET + 1;                   // set points: USET, ISET
constexpr uint16_t kGlobalCount = BEEP - MGIC;             // global block: MGIC .. CLR3
constexpr uint16_t kSettingsCount = CLR3 + 1 - MMAX;       // written settings: MMAX .. CLR3
constexpr uint16_t kCountersCount = WHCNT_H + 1 - TIME_L;  // TIME_L .. WHCNT_H, with MEM
constexpr uint16_t kCalibCmdCount = CLB_DATA_H + 1 - CLB_CMD;

// Presets: block n (0-9 memories M0-M9, 10-19 charge profiles) at 80 + 16 n.
constexpr uint16_t kPresetBase = 80;
constexpr uint16_t kPresetSize = 16;
constexpr uint16_t kPresetCount = 20;
// Offsets inside a preset block; the program uses the first nine.
constexpr uint16_t P_USET = 0, P_ISET = 1, P_SOVP = 2, P_SOCP = 3, P_SOPP = 4, P_BLED = 5,
                   P_PRFS = 6, P_SINI = 7, P_OTIM = 8;
constexpr uint16_t kPresetUsed = P_OTIM + 1;

// Calibration: seven points of four registers (value low, value high, raw ADC, raw DAC).
constexpr uint16_t kCalibBase = 400;
constexpr uint16_t kCalibCount = 28;
constexpr uint16_t kMapEnd = kCalibBase + kCalibCount;  // one past the last register
}  // namespace hreg

// Values of the command register.
constexpr uint16_t kCmdPresetSaved = 2;
constexpr uint16_t kCmdResetCounters = 4;
constexpr uint16_t kCmdJumpBoot = 1234;
