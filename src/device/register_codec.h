#pragma once
// Copying register values between Modbus replies/requests and the device records, and the few
// values derived from register pairs.

#include <cstdint>
#include <vector>

#include "device/device_records.h"
#include "device/register_map.h"

// Register values as a Modbus request carries them or a reply brought them.
using TRegisterValues = std::vector<uint16_t>;

constexpr uint16_t kCurrentSetRegisters = hreg::kMainCount;  // TCurrentSet mirrors 0 to 47
constexpr uint16_t kMemoryBlockBase = hreg::kPresetBase;     // preset n starts at n * 16 + 80
constexpr uint16_t kMemoryBlockSize = hreg::kPresetSize;
constexpr uint16_t kMemoryRegisters = hreg::kPresetUsed;  // registers of a preset the program uses
constexpr uint16_t kMemoryCount = hreg::kPresetCount;     // presets M0-M9 and charge profiles C0-C9
constexpr uint16_t kCalibRegisters = hreg::kCalibCount;   // 7 points of 4 registers

// Register AReg of the mirror (0 for registers outside 0-47).
uint32_t GetRegister(const TCurrentSet& ASet, uint16_t AReg);
// Stores a 16-bit value into register AReg of the mirror; registers outside 0-47 are ignored.
void SetRegister(TCurrentSet& ASet, uint16_t AReg, uint16_t AValue);
// Entry i of ARegs into register AStart + i; entries past register 47 are ignored, and a short
// reply stores only what it carried.
void StoreRegisters(TCurrentSet& ASet, uint16_t AStart, const TRegisterValues& ARegs);
// Low 16 bits of registers AStart .. AStart + ACount - 1, for a write request.
TRegisterValues RegistersOf(const TCurrentSet& ASet, uint16_t AStart, uint16_t ACount);

// Entry i into preset offset i (at most 16 entries are used).
void StoreMemoryRegisters(TMemorySet& AMem, const TRegisterValues& ARegs);
// The 9 preset values written by the program, offsets 0 to 8.
TRegisterValues MemoryRegisters(const TMemorySet& AMem);
// A preset number as read from MEM: 20 or more is taken as 0.
uint16_t StoredMemNum(uint16_t AValue);
// First register of preset AMem, computed in 16 bits.
uint16_t MemoryBlockStart(uint16_t AMem);

// Calibration registers 400 + i from entry i (at most 28 entries are used).
void StoreCalibRegisters(TCalibData& AData, const TRegisterValues& ARegs);
TRegisterValues CalibRegisters(const TCalibData& AData);
// Calibration point 1 (Uin1) to 7 (Tmp2); null for any other index.
const TCalibRecord* CalibPoint(const TCalibData& AData, uint16_t AIndex);
TCalibRecord* CalibPoint(TCalibData& AData, uint16_t AIndex);

// A 32-bit counter from its low and high register.
constexpr uint32_t JoinWords(uint16_t ALow, uint16_t AHigh) {
    return static_cast<uint32_t>(AHigh) << 16 | ALow;
}
inline uint32_t TimeCounter(const TCurrentSet& S) {
    return JoinWords(S.TIME_L, S.TIME_H);
}
inline uint32_t ChargeCounter(const TCurrentSet& S) {
    return JoinWords(S.AHCNT_L, S.AHCNT_H);
}
inline uint32_t EnergyCounter(const TCurrentSet& S) {
    return JoinWords(S.WHCNT_L, S.WHCNT_H);
}

// Output power in 0.01 W from UOUT (0.01 V) and IOUT (current unit): UOUT * IOUT /
// (ACurrentDiv * 100), 64-bit intermediate, rounded to nearest. ACurrentDiv 0 counts as 1.
uint32_t OutputPower(uint32_t AUout, uint32_t AIout, uint32_t ACurrentDiv);
