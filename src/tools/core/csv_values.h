#pragma once
// Values of the CSV files benchlordctl and the tools read (step files, plans): fixed-point
// decimals without exponent or sign, and the enabled flag.

#include <QByteArray>
#include <cstdint>

// A non-negative decimal with at most ADecimals decimals, in units of 10^-ADecimals ("4.2" with
// 2 decimals is 420). At most six digits before the point.
bool ParseFixed(const QByteArray& AText, int ADecimals, uint32_t& AValue);
// 1/0, true/false, yes/no, on/off.
bool ParseEnabled(const QByteArray& AText, bool& AValue);
