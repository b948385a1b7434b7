#pragma once
// The simulated supply's register file and output model. Not thread-safe: the virtual supply
// guards one instance with its mutex. Time is passed in as a millisecond tick so tests can step it.

#include <array>
#include <cstdint>
#include <vector>

#include "sim/sim_load.h"
#include "sim/sim_model.h"

// Register numbers of the holding-register map.
namespace simreg {
constexpr uint16_t USET = 0, ISET = 1, UOUT = 2, IOUT = 3, POWER = 4, UIN = 5, LOCK = 6,
                   PROTECT = 7, CVCC = 8, ONOFF = 9, BLED = 10, MODEL = 11, VERSION = 12, TMP = 13,
                   STATE = 14, DEBUG_DATA = 15, MGIC = 16, DVID = 17, COMM = 18, GYRO = 19,
                   MMAX = 20, PVER = 21, BCKL = 22, OHP = 23, D25 = 24, PARAM = 25, MINS = 26,
                   MAXS = 27, CLR1 = 28, CLR2 = 29, CLR3 = 30, BEEP = 31, CMD = 32, TIME_L = 33,
                   TIME_H = 34, MEM = 35, AHCNT_L = 36, AHCNT_H = 37, WHCNT_L = 38, WHCNT_H = 39,
                   CLB_CMD = 40, CLB_IDX = 41, CLB_DATA_L = 42, CLB_DATA_H = 43;
constexpr uint16_t kMainCount = 48;   // registers 0 to 47
constexpr uint16_t kPresetBase = 80;  // preset n at 80 + 16 n
constexpr uint16_t kPresetSize = 16;
constexpr uint16_t kPresetCount = 20;
constexpr uint16_t kCalibBase = 400;  // seven points of four registers
constexpr uint16_t kCalibCount = 28;
constexpr uint16_t kMapEnd = kCalibBase + kCalibCount;  // one past the last register
// Offsets inside a preset block.
constexpr uint16_t P_USET = 0, P_ISET = 1, P_SOVP = 2, P_SOCP = 3, P_SOPP = 4, P_BLED = 5,
                   P_PRFS = 6, P_SINI = 7, P_OTIM = 8;
}  // namespace simreg

// Protection codes of the PROTECT register.
enum SimProtect : uint16_t {
    simProtNone = 0,
    simProtOVP = 1,
    simProtOCP = 2,
    simProtOPP = 3,
    simProtTIM = 4,
    simProtOHP = 5,
    simProtBAT = 6,
    simProtEND = 7,
    simProtEVP = 8,
    simProtECP = 9,
    simProtVIN = 10,
    simProtEPR = 11,
};

// Modbus exception codes the map answers with.
constexpr uint8_t kSimExIllegalFunction = 1;
constexpr uint8_t kSimExIllegalAddress = 2;
constexpr uint8_t kSimExIllegalValue = 3;

constexpr uint16_t kSimCmdPresetSaved = 2;
constexpr uint16_t kSimCmdResetCounters = 4;
constexpr uint16_t kSimCmdJumpBoot = 1234;

class SimDevice {
public:
    SimDevice(const SimIdentity& id, double loadOhms, double inputVolts, uint32_t nowMs);

    // True when every register of [start, start + count) exists.
    static bool RangeInMap(uint32_t start, uint32_t count);

    // Modbus access: 0 on success or an exception code; a refused write changes nothing.
    uint8_t Read(uint16_t start, uint16_t count, std::vector<uint16_t>& out, uint32_t nowMs);
    uint8_t Write(uint16_t start, const std::vector<uint16_t>& values, uint32_t nowMs);

    // Direct access for tests and the console: no validation and no side effects beyond
    // recomputing the output.
    uint16_t Peek(uint16_t reg, uint32_t nowMs);
    void Poke(uint16_t reg, uint16_t value, uint32_t nowMs);

    // Integrates the counters and the output timer up to nowMs and re-checks the protections.
    void Advance(uint32_t nowMs);

    // Front-panel and environment events.
    void SetLoad(double ohms, uint32_t nowMs);  // a resistor; 0 or less: nothing connected
    void SetLoad(const SimLoad& load, uint32_t nowMs);
    void SetInputVoltage(double volts, uint32_t nowMs);
    void SetTemperature(int celsius, uint32_t nowMs);
    void ReleaseKeyLock(uint32_t nowMs);
    void SetOutput(bool on, uint32_t nowMs);
    void Trip(uint16_t code, uint32_t nowMs);  // switches the output off with this code
    // Restarts the firmware as after power-up or leaving the boot loader.
    void Restart(uint32_t nowMs);

    // True once after the jump-to-boot-loader command.
    bool TakeBootRequest();

    double Load() const { return load_.Ohms(); }  // the resistor's ohms (0 for other loads)
    const SimLoad& LoadModel() const { return load_; }
    double InputVoltage() const { return inputVolts_; }
    const SimIdentity& Identity() const { return id_; }
    SimFwClass Class() const { return cls_; }
    const SimModelLimits& Limits() const { return limits_; }
    uint32_t PresetSaves() const { return presetSaves_; }
    uint8_t ArmedCalibPoint() const { return calibArmed_; }
    bool Calibrating() const { return calibrating_; }

private:
    uint16_t& Reg(uint16_t reg) { return regs_[reg]; }
    uint16_t PresetReg(uint16_t offset) const;
    bool Valid(uint16_t reg, uint16_t value) const;
    void Apply(uint16_t reg, uint16_t value);
    void RunCalibCommand();
    void ResetCounters();
    void SwitchOn();
    void LoadPreset(uint16_t n);
    void Recompute();
    void CheckProtections();
    void StoreCounters();
    bool AutoResetCounters() const;
    void FactoryPresets();

    SimIdentity id_;
    SimFwClass cls_;
    SimModelLimits limits_;
    std::array<uint16_t, simreg::kMapEnd> regs_{};
    SimLoad load_;
    double amps_ = 0;  // output current of the last solution, unrounded (charges a battery)
    double inputVolts_;
    int ambient_ = 25;
    uint32_t lastMs_;
    uint64_t onMs_ = 0;      // output-on time since the last counter reset
    uint64_t periodMs_ = 0;  // time since the output was last switched on
    // Exact integrals: current unit x ms, and 0.01 V x current unit x ms.
    uint64_t charge_ = 0;
    unsigned __int128 energy_ = 0;
    uint32_t presetSaves_ = 0;
    bool bootRequest_ = false;
    bool calibrating_ = false;
    uint8_t calibArmed_ = 0;
    uint16_t calibOverride_ = 0;  // forced output voltage while calibrating, 0.01 V; 0 none
    std::array<uint16_t, simreg::kCalibCount> calibBackup_{};
};
