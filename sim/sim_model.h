#pragma once
// Identity of the simulated unit: model limits, firmware class and the values of the
// identification registers. The limits come from the device library's model table.

#include <cstdint>
#include <optional>
#include <string>

#include "device/firmware_version.h"

// Limits of one model, in register units (0.01 V, the model's current unit, 0.1 W).
struct SimModelLimits {
    uint16_t maxUset = 5100;
    uint16_t maxIset = 2010;
    uint16_t maxPower = 9999;
    uint16_t currentDiv = 1;  // 10: current unit 0.001 A, 1: current unit 0.01 A
    bool tempSensor = false;
};

// Limits of a model number; nullopt for a number outside the model table.
std::optional<SimModelLimits> SimLookupModel(uint16_t model);

// Firmware classes in the order the program compares them.
enum class SimFwClass : uint8_t { v18, v36, v40, v4Z, v42, v43, v45, v46, vNew };

// Front-panel brand the firmware reports through STATE bits 4 and 5.
enum class SimVariant : uint8_t { dps, wz, korad };

struct SimIdentity {
    uint16_t model = 5015;
    uint16_t version = 46;         // raw VERSION register; the low 12 bits are the number
    uint16_t pver = 46;            // protocol version (classes from ver_43 on)
    uint16_t mgic = 0;             // 19082 with version 41 marks ver_4Z
    std::optional<uint16_t> dvid;  // DVID register; MODEL when unset
    SimVariant variant = SimVariant::dps;
    std::optional<uint16_t> state;  // STATE register; derived from the model when unset
};

constexpr uint16_t kSimMagic4Z = kMagic4Z;

// The class the program derives from this identity (with DVID as the unit reports it).
SimFwClass SimClassOf(const SimIdentity& id);

// Identity for a class name "ver_18" ... "ver_New" (also "18", "4Z", "New"); keeps the model.
bool SimApplyClassName(const std::string& name, SimIdentity& id);
const char* SimClassName(SimFwClass c);

// Default STATE bits: temperature point and "T" suffix for models with a sensor, brand bits.
uint16_t SimDefaultState(const SimIdentity& id);
