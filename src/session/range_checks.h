#pragma once
// Range checks of typed values against the identified model, done before the key lock is taken
// so that a refused value leaves the supply untouched.

#include <QString>
#include <cstdint>
#include <optional>

#include "session/typed_values.h"

class TSessionCore;

// "DPS5015": name prefix and model number of the identified unit.
QString ModelName(TSessionCore& ACore);

// A value in units of 10^-ADecimals against [AMin, AMax]; empty when inside, else a message that
// names the option, the range and the model. AUnits receives the converted value.
QString CheckRange(const QString& AOption, const TDecimal& AValue, int ADecimals, uint32_t AMin,
                   uint32_t AMax, const QString& AUnit, const QString& AModel, uint32_t& AUnits);

// The same for an optional value; AUnits is set only for a present value.
QString CheckOptionalRange(const QString& AOption, const std::optional<TDecimal>& AValue,
                           int ADecimals, uint32_t AMin, uint32_t AMax, const QString& AUnit,
                           const QString& AModel, std::optional<uint32_t>& AUnits);
