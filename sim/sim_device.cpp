#include "sim/sim_device.h"

#include <algorithm>
#include <cmath>

using namespace simreg;

namespace {
// Factory set voltages of M0 to M9, 0.01 V.
constexpr std::array<uint16_t, 10> kFactoryVolts{500, 330, 1200, 1500, 2400,
                                                 180, 900, 1900, 3000, 4800};
// Factory calibration values: Uin1, Uin2, Uout1, Uout2 (0.001 V), Iout1, Iout2, Tmp2.
constexpr std::array<uint32_t, 7> kFactoryCalib{6000, 25000, 1000, 25000, 100, 2000, 60};
constexpr uint16_t kCalibLowVolts = 500;  // output held by the supply for the low voltage point

uint16_t Clamp16(double v) {
    if (v <= 0) return 0;
    if (v >= 65535) return 65535;
    return static_cast<uint16_t>(std::lround(v));
}

bool OldClass(SimFwClass c) {
    return c >= SimFwClass::v36 && c <= SimFwClass::v4Z;
}

// Raw converter readings reported for a calibration value; plausible, not physical.
uint16_t RawAdc(uint32_t value) {
    return static_cast<uint16_t>(std::min<uint32_t>(value / 4 + 100, 0xFFFF));
}
uint16_t RawDac(uint32_t value) {
    return static_cast<uint16_t>(std::min<uint32_t>(value / 8 + 50, 0xFFFF));
}
}  // namespace

SimDevice::SimDevice(const SimIdentity& id, double loadOhms, double inputVolts, uint32_t nowMs)
    : id_(id),
      cls_(SimClassOf(id)),
      limits_(SimLookupModel(id.model).value_or(SimModelLimits{})),
      load_(SimLoad::Resistor(loadOhms)),
      inputVolts_(inputVolts),
      lastMs_(nowMs) {
    Reg(BLED) = 4;
    Reg(MODEL) = id.model;
    Reg(VERSION) = id.version;
    Reg(STATE) = id.state.value_or(SimDefaultState(id));
    Reg(MGIC) = id.mgic;
    Reg(DVID) = id.dvid.value_or(id.model);
    Reg(MMAX) = 10;
    Reg(PVER) = cls_ >= SimFwClass::v43 ? id.pver : 0;
    Reg(OHP) = 80;
    Reg(MINS) = 900;
    Reg(MAXS) = 1260;
    Reg(CLR1) = 0xFFFF;
    Reg(CLR2) = 0x07E0;
    Reg(CLR3) = 0xFFE0;
    for (uint16_t i = 0; i < kFactoryCalib.size(); ++i) {
        const uint16_t base = kCalibBase + 4 * i;
        Reg(base) = static_cast<uint16_t>(kFactoryCalib[i] & 0xFFFF);
        Reg(base + 1) = static_cast<uint16_t>(kFactoryCalib[i] >> 16);
        Reg(base + 2) = RawAdc(kFactoryCalib[i]);
        Reg(base + 3) = RawDac(kFactoryCalib[i]);
    }
    FactoryPresets();
    Restart(nowMs);
}

void SimDevice::FactoryPresets() {
    const uint16_t oneAmp = static_cast<uint16_t>(limits_.currentDiv * 100);
    for (uint16_t n = 0; n < kPresetCount; ++n) {
        const uint16_t base = kPresetBase + n * kPresetSize;
        // M presets carry common bench voltages; C presets charge 1 to 10 lithium cells.
        const uint16_t volts = n < 10 ? kFactoryVolts[n] : static_cast<uint16_t>(420 * (n - 9));
        Reg(base + P_USET) = std::min(volts, limits_.maxUset);
        Reg(base + P_ISET) = std::min(oneAmp, limits_.maxIset);
        Reg(base + P_SOVP) = limits_.maxUset;
        Reg(base + P_SOCP) = static_cast<uint16_t>(limits_.maxIset + limits_.currentDiv * 10);
        Reg(base + P_SOPP) = limits_.maxPower;
        Reg(base + P_BLED) = 4;
        Reg(base + P_PRFS) = n == 0 ? 1 : 0;  // M0 is loaded at power-up
    }
}

bool SimDevice::RangeInMap(uint32_t start, uint32_t count) {
    if (count == 0) return false;
    const uint32_t end = start + count;  // one past the last
    if (end <= kMainCount) return true;
    return start >= kPresetBase && end <= kMapEnd;
}

uint8_t SimDevice::Read(uint16_t start, uint16_t count, std::vector<uint16_t>& out,
                        uint32_t nowMs) {
    if (!RangeInMap(start, count)) return kSimExIllegalAddress;
    Advance(nowMs);
    Reg(DEBUG_DATA) = static_cast<uint16_t>(Reg(DEBUG_DATA) + 1);  // requests served
    out.assign(regs_.begin() + start, regs_.begin() + start + count);
    return 0;
}

uint8_t SimDevice::Write(uint16_t start, const std::vector<uint16_t>& values, uint32_t nowMs) {
    if (!RangeInMap(start, static_cast<uint32_t>(values.size()))) return kSimExIllegalAddress;
    for (size_t i = 0; i < values.size(); ++i)
        if (!Valid(static_cast<uint16_t>(start + i), values[i])) return kSimExIllegalValue;
    Advance(nowMs);
    bool calib = false;
    for (size_t i = 0; i < values.size(); ++i) {
        const auto reg = static_cast<uint16_t>(start + i);
        Apply(reg, values[i]);
        calib = calib || reg == CLB_CMD;
    }
    if (calib) RunCalibCommand();
    Recompute();
    CheckProtections();
    return 0;
}

uint16_t SimDevice::Peek(uint16_t reg, uint32_t nowMs) {
    Advance(nowMs);
    return reg < kMapEnd ? regs_[reg] : 0;
}

void SimDevice::Poke(uint16_t reg, uint16_t value, uint32_t nowMs) {
    if (reg >= kMapEnd) return;
    Advance(nowMs);
    regs_[reg] = value;
    Recompute();
}

bool SimDevice::Valid(uint16_t reg, uint16_t value) const {
    switch (reg) {
        case USET:
            return value <= limits_.maxUset;
        case ISET:
            return value <= limits_.maxIset;
        case BLED:
            return value <= (cls_ >= SimFwClass::v42 ? 6 : 5);
        case MMAX:
            return value >= 1 && value <= kPresetCount;
        case MEM:
            return value < kPresetCount;
        case CLB_CMD:
            return value <= 4;
        case CLB_IDX:
            return value <= 7;
        default:
            return true;
    }
}

void SimDevice::Apply(uint16_t reg, uint16_t value) {
    if (reg >= kPresetBase) {
        // Older firmware marks written flag words with bit 15; only the flag is kept.
        if (reg < kCalibBase && (reg - kPresetBase) % kPresetSize == P_PRFS && OldClass(cls_))
            value &= 0x7FFF;
        Reg(reg) = value;
        return;
    }
    switch (reg) {
        case UOUT:
        case IOUT:
        case POWER:
        case UIN:
        case PROTECT:
        case CVCC:
        case MODEL:
        case VERSION:
        case TMP:
        case STATE:
        case DEBUG_DATA:
        case MGIC:
        case DVID:
        case TIME_L:
        case TIME_H:
        case AHCNT_L:
        case AHCNT_H:
        case WHCNT_L:
        case WHCNT_H:
            return;  // measured or identity registers: writes are ignored
        case LOCK:
            Reg(LOCK) = value ? 1 : 0;
            return;
        case ONOFF:
            if (value)
                SwitchOn();
            else
                SetOutput(false, lastMs_);
            return;
        case PVER:
            if (OldClass(cls_))
                Reg(PVER) = value & 1;  // auto reset counters flag
            else if (cls_ == SimFwClass::v18)
                Reg(PVER) = value;
            return;  // from ver_43 on the protocol version is fixed
        case BCKL:
        case D25:
        case PARAM:
            Reg(reg) = OldClass(cls_) ? (value & 1) : value;
            return;
        case CMD:
            Reg(CMD) = value;
            if (value == kSimCmdPresetSaved) ++presetSaves_;
            if (value == kSimCmdResetCounters) ResetCounters();
            if (value == kSimCmdJumpBoot) bootRequest_ = true;
            return;
        case MEM:
            Reg(MEM) = value;
            LoadPreset(value);
            return;
        default:
            Reg(reg) = value;
            return;
    }
}

uint16_t SimDevice::PresetReg(uint16_t offset) const {
    const uint16_t mem = regs_[MEM] < kPresetCount ? regs_[MEM] : 0;
    return regs_[kPresetBase + mem * kPresetSize + offset];
}

void SimDevice::LoadPreset(uint16_t n) {
    if (n >= kPresetCount) return;
    const uint16_t base = kPresetBase + n * kPresetSize;
    Reg(USET) = std::min(regs_[base + P_USET], limits_.maxUset);
    Reg(ISET) = std::min(regs_[base + P_ISET], limits_.maxIset);
}

bool SimDevice::AutoResetCounters() const {
    if (cls_ >= SimFwClass::v42) return (regs_[PARAM] & 2) != 0;
    if (OldClass(cls_)) return (regs_[PVER] & 1) != 0;
    return false;
}

void SimDevice::SwitchOn() {
    if (regs_[ONOFF]) return;
    Reg(ONOFF) = 1;
    Reg(PROTECT) = simProtNone;
    periodMs_ = 0;
    if (AutoResetCounters()) ResetCounters();
}

void SimDevice::SetOutput(bool on, uint32_t nowMs) {
    Advance(nowMs);
    if (on) {
        SwitchOn();
    } else {
        Reg(ONOFF) = 0;
        periodMs_ = 0;
    }
    Recompute();
    CheckProtections();
}

void SimDevice::ResetCounters() {
    onMs_ = 0;
    charge_ = 0;
    energy_ = 0;
    StoreCounters();
}

void SimDevice::StoreCounters() {
    const auto seconds = static_cast<uint32_t>(onMs_ / 1000);
    // 0.01 Ah and 0.01 Wh: one hour is 3600000 ms, the current unit is 1/(div x 100) A.
    const uint64_t perUnit = uint64_t{limits_.currentDiv} * 3600000u;
    const auto ah = static_cast<uint32_t>(charge_ / perUnit);
    const auto wh = static_cast<uint32_t>(energy_ / (perUnit * 100u));
    Reg(TIME_L) = static_cast<uint16_t>(seconds);
    Reg(TIME_H) = static_cast<uint16_t>(seconds >> 16);
    Reg(AHCNT_L) = static_cast<uint16_t>(ah);
    Reg(AHCNT_H) = static_cast<uint16_t>(ah >> 16);
    Reg(WHCNT_L) = static_cast<uint16_t>(wh);
    Reg(WHCNT_H) = static_cast<uint16_t>(wh >> 16);
}

void SimDevice::Advance(uint32_t nowMs) {
    uint32_t dt = nowMs - lastMs_;  // wraps like the tick counter
    lastMs_ = nowMs;
    while (dt && (regs_[ONOFF] || calibOverride_)) {
        // The output is constant between events, so the integral is exact; a charging
        // battery moves its own voltage, so its output is solved again every 100 ms.
        const uint32_t step = load_.Charges() ? std::min<uint32_t>(dt, 100) : dt;
        charge_ += uint64_t{regs_[IOUT]} * step;
        energy_ += static_cast<unsigned __int128>(uint64_t{regs_[UOUT]} * regs_[IOUT]) * step;
        onMs_ += step;
        periodMs_ += step;
        load_.Pass(amps_, step / 1000.0);
        dt -= step;
        StoreCounters();
        if (dt) {
            Recompute();
            CheckProtections();
        }
    }
    Recompute();
    CheckProtections();
}

void SimDevice::Recompute() {
    Reg(UIN) = Clamp16(inputVolts_ * 100.0);
    Reg(TMP) = static_cast<uint16_t>(std::clamp(ambient_, 0, 999));
    const bool on = regs_[ONOFF] != 0 || calibOverride_ != 0;
    if (!on) {
        amps_ = 0;
        Reg(UOUT) = Reg(IOUT) = Reg(POWER) = 0;
        Reg(CVCC) = 0;
        return;
    }
    const double scale = limits_.currentDiv * 100.0;
    // The regulator needs about a tenth of the output as headroom on its input.
    const double headroom = inputVolts_ / 1.1;
    if (calibOverride_) {
        // Voltage calibration: the output feeds the reference voltmeter only.
        Reg(UOUT) = Clamp16(std::min(calibOverride_ / 100.0, headroom) * 100.0);
        Reg(IOUT) = Reg(POWER) = Reg(CVCC) = 0;
        amps_ = 0;
        return;
    }
    const double volts = std::max(std::min(regs_[USET] / 100.0, headroom), 0.0);
    const SimPoint p = SimOperatingPoint(load_, volts, regs_[ISET] / scale);
    amps_ = p.amps;
    Reg(UOUT) = Clamp16(p.volts * 100.0);
    Reg(IOUT) = Clamp16(p.amps * scale);
    Reg(CVCC) = p.cc ? 1 : 0;
    const uint64_t div = limits_.currentDiv * 100u;
    const uint64_t power = (uint64_t{regs_[UOUT]} * regs_[IOUT] + div / 2) / div;
    Reg(POWER) = static_cast<uint16_t>(std::min<uint64_t>(power, 0xFFFF));
}

void SimDevice::CheckProtections() {
    if (!regs_[ONOFF] || calibrating_) return;
    const uint16_t prfs = PresetReg(P_PRFS);
    const bool triggers = cls_ >= SimFwClass::v45;
    uint16_t code = simProtNone;
    if (regs_[UOUT] > PresetReg(P_SOVP) || (triggers && (prfs & 2) && regs_[UOUT] > regs_[USET]))
        code = simProtOVP;
    else if (regs_[IOUT] > PresetReg(P_SOCP) || (triggers && (prfs & 4) && regs_[CVCC]))
        code = simProtOCP;  // an OCP trigger switches off instead of regulating current
    else if (uint32_t{regs_[POWER]} > uint32_t{PresetReg(P_SOPP)} * 10)
        code = simProtOPP;
    else if (regs_[OHP] && regs_[TMP] > regs_[OHP])
        code = simProtOHP;
    else if (PresetReg(P_OTIM) && periodMs_ >= uint64_t{PresetReg(P_OTIM)} * 60000)
        code = simProtTIM;
    if (code != simProtNone) {
        Reg(ONOFF) = 0;
        Reg(PROTECT) = code;
        periodMs_ = 0;
        Recompute();
    }
}

void SimDevice::Trip(uint16_t code, uint32_t nowMs) {
    Advance(nowMs);
    Reg(ONOFF) = 0;
    Reg(PROTECT) = code;
    periodMs_ = 0;
    Recompute();
}

void SimDevice::SetLoad(double ohms, uint32_t nowMs) {
    SetLoad(SimLoad::Resistor(ohms), nowMs);
}

void SimDevice::SetLoad(const SimLoad& load, uint32_t nowMs) {
    Advance(nowMs);
    load_ = load;
    Recompute();
    CheckProtections();
}

void SimDevice::SetInputVoltage(double volts, uint32_t nowMs) {
    Advance(nowMs);
    inputVolts_ = std::max(volts, 0.0);
    Recompute();
    CheckProtections();
}

void SimDevice::SetTemperature(int celsius, uint32_t nowMs) {
    Advance(nowMs);
    ambient_ = celsius;
    Recompute();
    CheckProtections();
}

void SimDevice::ReleaseKeyLock(uint32_t nowMs) {
    Advance(nowMs);
    Reg(LOCK) = 0;
}

void SimDevice::Restart(uint32_t nowMs) {
    lastMs_ = nowMs;
    Reg(ONOFF) = 0;
    Reg(LOCK) = 0;
    Reg(PROTECT) = simProtNone;
    Reg(CMD) = 0;
    calibrating_ = false;
    calibArmed_ = 0;
    calibOverride_ = 0;
    bootRequest_ = false;
    periodMs_ = 0;
    ResetCounters();
    // The first preset flagged "load at power-up" becomes the live setting.
    for (uint16_t n = 0; n < kPresetCount; ++n) {
        const uint16_t base = kPresetBase + n * kPresetSize;
        if (regs_[base + P_PRFS] & 1) {
            Reg(MEM) = n;
            LoadPreset(n);
            Reg(ONOFF) = regs_[base + P_SINI] ? 1 : 0;
            break;
        }
    }
    Recompute();
    CheckProtections();
}

bool SimDevice::TakeBootRequest() {
    const bool r = bootRequest_;
    bootRequest_ = false;
    return r;
}

void SimDevice::RunCalibCommand() {
    const uint16_t cmd = regs_[CLB_CMD];
    const uint8_t idx = static_cast<uint8_t>(regs_[CLB_IDX]);
    const uint16_t high = Clamp16(std::min(limits_.maxUset * 0.9, inputVolts_ / 1.1 * 100.0));
    switch (cmd) {
        case 1:  // start a point: remember the block so that "exit" can restore it
            if (!calibrating_)
                std::copy_n(regs_.begin() + kCalibBase, kCalibCount, calibBackup_.begin());
            calibrating_ = true;
            calibArmed_ = idx;
            calibOverride_ = idx == 3 ? kCalibLowVolts : idx == 4 ? high : 0;
            break;
        case 2:  // fix the armed point with the reference value
            if (!calibrating_ || idx == 0 || idx != calibArmed_) break;
            {
                const uint32_t value = regs_[CLB_DATA_L] | (uint32_t{regs_[CLB_DATA_H]} << 16);
                const uint16_t base = kCalibBase + 4 * (idx - 1);
                Reg(base) = regs_[CLB_DATA_L];
                Reg(base + 1) = regs_[CLB_DATA_H];
                Reg(base + 2) = RawAdc(value);
                Reg(base + 3) = RawDac(value);
            }
            // After the high output point the supply lowers its output by itself.
            if (idx == 4) calibOverride_ = kCalibLowVolts;
            calibArmed_ = 0;
            break;
        case 3:  // save
            calibrating_ = false;
            calibArmed_ = 0;
            calibOverride_ = 0;
            break;
        case 4:  // exit without saving
            if (calibrating_)
                std::copy(calibBackup_.begin(), calibBackup_.end(), regs_.begin() + kCalibBase);
            calibrating_ = false;
            calibArmed_ = 0;
            calibOverride_ = 0;
            break;
        default:
            break;
    }
}
