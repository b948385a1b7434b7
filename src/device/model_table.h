#pragma once
// The model table: limits of the set values per model number, and which models a session accepts.

#include <cstdint>
#include <string>

// Limits of one supply; each session holds those of the supply it identified. The defaults are
// the values before any identification.
struct TModelLimits {
    uint32_t MaxUset = 5100;   // highest set voltage, 0.01 V
    uint32_t MaxIset = 2010;   // highest set current, current unit
    uint32_t MaxPower = 9999;  // highest over-power limit, 0.1 W
    uint32_t CurrentDiv = 1;   // 10: current unit 0.001 A; 1: 0.01 A
    std::string ModelName = "DPS";

    // Decimals of the current unit: 3 when the scale is 10, else 2.
    int CurrentDecimals() const { return CurrentDiv == 10 ? 3 : 2; }
};

// One row of the model table.
struct TModelRow {
    uint32_t Model;
    uint32_t MaxUset;
    uint32_t MaxIset;
    uint32_t MaxPower;
    uint32_t CurrentDiv;
    bool TempSensor;
};

// Row of a model number, or null for a model not in the table.
const TModelRow* FindModelRow(uint32_t AModel);

// Applies the row of AModel to ALimits and returns whether the model has a temperature sensor.
// An unknown model leaves the limits unchanged and returns false.
bool ApplyModelRow(uint32_t AModel, TModelLimits& ALimits);

// Models with which a session may start (3010 has limits but is not among them).
bool IsAcceptedModel(uint32_t AModel);
