#pragma once
// Per-model limits of set values and the model name prefix. The program keeps one process-wide
// set (gMaxUset ... gModelName), changed at identification; tests reset it with ResetModelLimits.

#include <cstdint>
#include <string>

#include "device/identification.h"
#include "device/model_table.h"

// The process-wide limits. Only the user-interface thread uses them.
TModelLimits& ModelLimits();
// Back to the values before any identification.
void ResetModelLimits();

inline uint32_t gMaxUset() {
    return ModelLimits().MaxUset;
}
inline uint32_t gMaxIset() {
    return ModelLimits().MaxIset;
}
inline uint32_t gMaxPower() {
    return ModelLimits().MaxPower;
}
inline uint32_t gCurrentDiv() {
    return ModelLimits().CurrentDiv;
}
inline const std::string& gModelName() {
    return ModelLimits().ModelName;
}

// Identification that applies the model table to the process-wide limits.
inline TIdentification Identify(const TRegisterValues& ARegs, bool AAutoResetCounters,
                                TCurrentSet& ASet, TModel& AModel) {
    return Identify(ARegs, AAutoResetCounters, ASet, AModel, ModelLimits());
}
