#include "device/register_codec.h"

#include <algorithm>
#include <array>

namespace {

// Registers 0-31 live in 32-bit fields, 32-47 in 16-bit fields.
using TWide = uint32_t TCurrentSet::*;
using TNarrow = uint16_t TCurrentSet::*;

constexpr std::array<TWide, 32> kWide = {
    &TCurrentSet::USET,    &TCurrentSet::ISET,  &TCurrentSet::UOUT,  &TCurrentSet::IOUT,
    &TCurrentSet::POWER,   &TCurrentSet::UIN,   &TCurrentSet::LOCK,  &TCurrentSet::PROTECT,
    &TCurrentSet::CVCC,    &TCurrentSet::ONOFF, &TCurrentSet::BLED,  &TCurrentSet::MODEL,
    &TCurrentSet::VERSION, &TCurrentSet::TMP,   &TCurrentSet::STATE, &TCurrentSet::DEBUG_DATA,
    &TCurrentSet::MGIC,    &TCurrentSet::DVID,  &TCurrentSet::COMM,  &TCurrentSet::GYRO,
    &TCurrentSet::MMAX,    &TCurrentSet::PVER,  &TCurrentSet::BCKL,  &TCurrentSet::OHP,
    &TCurrentSet::d25,     &TCurrentSet::PARAM, &TCurrentSet::MINS,  &TCurrentSet::MAXS,
    &TCurrentSet::CLR1,    &TCurrentSet::CLR2,  &TCurrentSet::CLR3,  &TCurrentSet::BEEP,
};

constexpr std::array<TNarrow, 16> kNarrow = {
    &TCurrentSet::CMD,     &TCurrentSet::TIME_L,     &TCurrentSet::TIME_H,
    &TCurrentSet::MEM,     &TCurrentSet::AHCNT_L,    &TCurrentSet::AHCNT_H,
    &TCurrentSet::WHCNT_L, &TCurrentSet::WHCNT_H,    &TCurrentSet::CLB_CMD,
    &TCurrentSet::CLB_IDX, &TCurrentSet::CLB_DATA_L, &TCurrentSet::CLB_DATA_H,
    &TCurrentSet::d45,     &TCurrentSet::d46,        &TCurrentSet::d47,
    &TCurrentSet::d48,
};

using TMemField = uint32_t TMemorySet::*;
constexpr std::array<TMemField, kMemoryBlockSize> kMemFields = {
    &TMemorySet::USET, &TMemorySet::ISET,  &TMemorySet::SOVP, &TMemorySet::SOCP,
    &TMemorySet::SOPP, &TMemorySet::BLED_, &TMemorySet::PRFS, &TMemorySet::SINI,
    &TMemorySet::OTIM, &TMemorySet::d09,   &TMemorySet::d10,  &TMemorySet::d11,
    &TMemorySet::d12,  &TMemorySet::d13,   &TMemorySet::d14,  &TMemorySet::d15,
};

using TCalibPoint = TCalibRecord TCalibData::*;
constexpr std::array<TCalibPoint, 7> kCalibPoints = {
    &TCalibData::Uin1,  &TCalibData::Uin2,  &TCalibData::Uout1, &TCalibData::Uout2,
    &TCalibData::Iout1, &TCalibData::Iout2, &TCalibData::Tmp2,
};

}  // namespace

uint32_t GetRegister(const TCurrentSet& ASet, uint16_t AReg) {
    if (AReg < kWide.size()) return ASet.*kWide[AReg];
    if (AReg < kCurrentSetRegisters) return ASet.*kNarrow[AReg - kWide.size()];
    return 0;
}

void SetRegister(TCurrentSet& ASet, uint16_t AReg, uint16_t AValue) {
    if (AReg < kWide.size())
        ASet.*kWide[AReg] = AValue;
    else if (AReg < kCurrentSetRegisters)
        ASet.*kNarrow[AReg - kWide.size()] = AValue;
}

void StoreRegisters(TCurrentSet& ASet, uint16_t AStart, const TRegisterValues& ARegs) {
    for (size_t i = 0; i < ARegs.size() && AStart + i < kCurrentSetRegisters; ++i)
        SetRegister(ASet, static_cast<uint16_t>(AStart + i), ARegs[i]);
}

TRegisterValues RegistersOf(const TCurrentSet& ASet, uint16_t AStart, uint16_t ACount) {
    TRegisterValues regs(ACount);
    for (uint16_t i = 0; i < ACount; ++i)
        regs[i] = static_cast<uint16_t>(GetRegister(ASet, static_cast<uint16_t>(AStart + i)));
    return regs;
}

void StoreMemoryRegisters(TMemorySet& AMem, const TRegisterValues& ARegs) {
    const size_t n = std::min(ARegs.size(), kMemFields.size());
    for (size_t i = 0; i < n; ++i)
        AMem.*kMemFields[i] = ARegs[i];
}

TRegisterValues MemoryRegisters(const TMemorySet& AMem) {
    TRegisterValues regs(kMemoryRegisters);
    for (size_t i = 0; i < kMemoryRegisters; ++i)
        regs[i] = static_cast<uint16_t>(AMem.*kMemFields[i]);
    return regs;
}

uint16_t StoredMemNum(uint16_t AValue) {
    return AValue >= kMemoryCount ? 0 : AValue;
}

uint16_t MemoryBlockStart(uint16_t AMem) {
    return static_cast<uint16_t>(AMem * kMemoryBlockSize + kMemoryBlockBase);
}

void StoreCalibRegisters(TCalibData& AData, const TRegisterValues& ARegs) {
    const size_t n = std::min<size_t>(ARegs.size(), kCalibRegisters);
    for (size_t i = 0; i < n; ++i) {
        TCalibRecord& rec = AData.*kCalibPoints[i / 4];
        const uint16_t v = ARegs[i];
        switch (i % 4) {
            case 0:
                rec.Value = (rec.Value & 0xFFFF0000u) | v;
                break;
            case 1:
                rec.Value = (rec.Value & 0x0000FFFFu) | (uint32_t{v} << 16);
                break;
            case 2:
                rec.RowADC = v;
                break;
            default:
                rec.RowDAC = v;
        }
    }
}

TRegisterValues CalibRegisters(const TCalibData& AData) {
    TRegisterValues regs;
    regs.reserve(kCalibRegisters);
    for (TCalibPoint point : kCalibPoints) {
        const TCalibRecord& rec = AData.*point;
        regs.push_back(static_cast<uint16_t>(rec.Value & 0xFFFF));
        regs.push_back(static_cast<uint16_t>(rec.Value >> 16));
        regs.push_back(rec.RowADC);
        regs.push_back(rec.RowDAC);
    }
    return regs;
}

const TCalibRecord* CalibPoint(const TCalibData& AData, uint16_t AIndex) {
    if (AIndex < 1 || AIndex > kCalibPoints.size()) return nullptr;
    return &(AData.*kCalibPoints[AIndex - 1]);
}

TCalibRecord* CalibPoint(TCalibData& AData, uint16_t AIndex) {
    return const_cast<TCalibRecord*>(CalibPoint(static_cast<const TCalibData&>(AData), AIndex));
}

uint32_t OutputPower(uint32_t AUout, uint32_t AIout, uint32_t ACurrentDiv) {
    const uint64_t divisor = uint64_t{ACurrentDiv == 0 ? 1u : ACurrentDiv} * 100;
    const uint64_t product = uint64_t{AUout} * AIout;
    return static_cast<uint32_t>((product + divisor / 2) / divisor);
}
