#pragma once
// Identification of the unit from the first read of registers 0 to 14 (USET .. STATE).

#include <cstdint>
#include <string>

#include "device/device_records.h"
#include "device/model_table.h"
#include "device/register_codec.h"

struct TIdentification {
    bool Accepted = false;  // the session may continue with this model
    std::string Title;      // window title, e.g. "DPS5015 ver. 4.5T"
    uint32_t CurrentDecimals =
        2;  // decimals of current indicators: 3 when CurrentDiv is 10, else 2
};

// Name prefix: "WZ" (version 43+, STATE bit 4), "KORAD" (version 45+, STATE bit 5), else "DPS".
std::string ModelPrefix(uint32_t AVERSION, uint32_t ASTATE);

// Prefix + model + " ver. " + major.minor, then for version 42+ "G" (STATE bit 2) and "T"
// (STATE bit 1).
std::string ModelTitle(const std::string& APrefix, uint32_t AMODEL, uint32_t AVERSION,
                       uint32_t ASTATE);

// Stores the registers into USET..STATE, applies the model table to ALimits and
// AModel.TempSensorEnable, resets the model record (RCNT := AAutoResetCounters), sets the name
// prefix in ALimits.ModelName and returns the title and whether the model is accepted.
TIdentification Identify(const TRegisterValues& ARegs, bool AAutoResetCounters, TCurrentSet& ASet,
                         TModel& AModel, TModelLimits& ALimits);
