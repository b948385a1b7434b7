#pragma once
// Values typed on the command line and their printed forms. A decimal keeps its digits exactly as
// typed, so that it is rounded once, to whichever of the device's fixed-point units (0.01 V,
// 0.001 A, 0.01 A, 0.1 W) applies once the model is known.

#include <QString>
#include <cstdint>
#include <optional>

// A non-negative decimal number as typed.
struct TDecimal {
    uint64_t Whole = 0;
    QString Fraction;  // the digits after the point, all of them
    QString Text;      // as typed, for messages
};

// "12", "12.5", ".5", "0.125"; no sign, no exponent, at most 9 integer digits and any number of
// decimals.
std::optional<TDecimal> ParseDecimal(const QString& AText);

// "-5", "-0.5": a decimal with a minus sign (refused as out of range rather than as text).
bool IsNegativeDecimal(const QString& AText);

// The decimal in units of 10^-ADecimals (0..6), rounded once from the exact digits, half up.
uint64_t ToUnits(const TDecimal& AValue, int ADecimals);

// "H:MM" with minutes below 60 (also a bare minute count "90"), as minutes.
std::optional<uint32_t> ParseHoursMinutes(const QString& AText);

// A positive whole number within [AMin, AMax].
std::optional<int64_t> ParseWhole(const QString& AText, int64_t AMin, int64_t AMax);

// Preset number: 0..19, or its name M0..M9 / C0..C9 (either case).
std::optional<uint32_t> ParsePresetNumber(const QString& AText);

// The value with ADecimals decimals: 500 with 2 gives "5.00", 7 with 3 "0.007".
QString FormatUnits(uint64_t AValue, int ADecimals);
