#pragma once
// Values of the CSV files benchlordctl and the tools read (step files, plans): fixed-point
// decimals without exponent or sign, and the enabled flag.

#include <QByteArray>
#include <QString>
#include <cstdint>

// A non-negative decimal with at most ADecimals decimals, in units of 10^-ADecimals ("4.2" with
// 2 decimals is 420). At most six digits before the point.
bool ParseFixed(const QByteArray& AText, int ADecimals, uint32_t& AValue);
// A line that begins with a number (a step, not a heading): a digit, a point or a minus sign.
bool StartsWithNumber(const QByteArray& ALine);
// The message for a cell ParseFixed refused: ANAME "TEXT" is negative, or is not AEXPECTED
// ("a number of volts with at most two decimals").
QString FixedCellProblem(const char* AName, const QByteArray& AText, const char* AExpected);
// 1/0, true/false, yes/no, on/off.
bool ParseEnabled(const QByteArray& AText, bool& AValue);
