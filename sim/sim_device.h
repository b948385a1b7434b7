#pragma once
// The simulated supply's register file and output model. Not thread-safe: the virtual supply
// guards one instance with its mutex. Time is passed in as a millisecond tick so tests can step it.

#include <array>
#include <cstdint>
#include <vector>

#include "device/register_map.h"
#include "sim/sim_load.h"
#include "sim/sim_model.h"

// The holding-register map under the name the virtual supply's code knows it by.
namespace simreg = hreg;

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

constexpr uint16_t kSimCmdPresetSaved = kCmdPresetSaved;
constexpr uint16_t kSimCmdResetCounters = kCmdResetCounters;
constexpr uint16_t kSimCmdJumpBoot = kCmdJumpBoot;

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
