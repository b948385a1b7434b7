#include "session/range_checks.h"

#include <algorithm>

#include "session/session_core.h"

QString ModelName(TSessionCore& ACore) {
    return QString::fromStdString(ACore.Limits().ModelName) + QString::number(ACore.Data().MODEL);
}

QString CheckRange(const QString& AOption, const TDecimal& AValue, int ADecimals, uint32_t AMin,
                   uint32_t AMax, const QString& AUnit, const QString& AModel, uint32_t& AUnits) {
    const uint64_t units = ToUnits(AValue, ADecimals);
    AUnits = static_cast<uint32_t>(std::min<uint64_t>(units, UINT32_MAX));
    if (units >= AMin && units <= AMax) return {};
    return AOption + " " + AValue.Text + ": out of range, " + FormatUnits(AMin, ADecimals) +
           " to " + FormatUnits(AMax, ADecimals) + " " + AUnit + " on the " + AModel;
}

QString CheckOptionalRange(const QString& AOption, const std::optional<TDecimal>& AValue,
                           int ADecimals, uint32_t AMin, uint32_t AMax, const QString& AUnit,
                           const QString& AModel, std::optional<uint32_t>& AUnits) {
    if (!AValue) return {};
    uint32_t units = 0;
    const QString error = CheckRange(AOption, *AValue, ADecimals, AMin, AMax, AUnit, AModel, units);
    AUnits = units;
    return error;
}
