#pragma once
// The advanced window's rules that need no widgets: panel texts of the calibration and battery
// tabs, the battery charge gauge, the current ranges offered for the high current point, the
// battery cell presets and the named colours of the colour boxes.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "session/color_helpers.h"

// Calibration point indices (1 to 7) in the order of the calibration block.
enum TCalibPointIndex : int {
    cpUin1 = 1,
    cpUin2,
    cpUout1,
    cpUout2,
    cpIout1,
    cpIout2,
    cpTmp2,
};
inline constexpr int kCalibPointCount = 7;

// What a calibration value panel shows: five digits with the point after the ten-thousands digit
// (APointPos 5) or after the thousands digit (APointPos 4, the leading digit blank when 0);
// "-----" above 99999. AUnit " V " or " A " is appended.
QString CalibValueText(uint32_t AValue, uint32_t APointPos, const QString& AUnit);
// The temperature panel: the whole number followed by " C ".
QString CalibTemperatureText(uint32_t AValue);
// Text of calibration point AIndex (1..7) with the current editors' point position.
QString CalibPanelText(int AIndex, uint32_t AValue, uint32_t ACurrentPointPos);

// The values calibration point AIndex (1..7) can take, in its unit (0.001 V; 0.001 A, or
// 0.0001 A on 0.001 A models; whole degrees Celsius): output voltage up to a tenth above the
// model's highest set voltage AMaxUset (0.01 V), input voltage up to a fifth above it plus 5 V,
// current up to a tenth above the highest set current AMaxIset (current unit), the temperature
// from 10 C to 150 C (what a heat sink can plausibly read). Never above the panels' 99999.
struct TCalibRange {
    uint32_t Min;
    uint32_t Max;
};
TCalibRange CalibPointRange(int AIndex, uint32_t AMaxUset, uint32_t AMaxIset);

// A battery voltage panel (0.01 V): "-----" above 9999, else the thousands digit (blank when 0),
// the hundreds digit, ".", tens and units, then " V " (4200 reads "42.00 V ").
QString BatteryValueText(uint32_t AValue);

// Charge of the battery source in percent: 0 below AMins, 100 above AMaxs, else linear between
// them (integer arithmetic). With AMaxs equal to AMins the input voltage sits exactly on that
// level, which counts as full (no division by zero).
int BatteryCharge(uint32_t AUin, uint32_t AMins, uint32_t AMaxs);

// One entry of the battery cell choice (voltages 0.01 V).
struct TCellPreset {
    const char* Name;
    uint32_t Full;   // MAXS
    uint32_t Empty;  // MINS
};
const std::vector<TCellPreset>& CellPresets();
// Index of the preset whose full voltage is AMaxs, -1 when none.
int CellPresetIndex(uint32_t AMaxs);

// One entry of the current-range choice for the high current point: its caption and the current
// sent with the start command, 0.01 A.
struct TCurrentRange {
    QString Caption;
    uint32_t Current;
};
// Ranges offered for AModel, highest first. A model the table does not know gets one entry, its
// highest whole-ampere current from AMaxIset (current unit, ACurrentDiv 10: 0.001 A, 1: 0.01 A),
// so that the high current point never starts at 0 A; none when that is below 1 A.
std::vector<TCurrentRange> CurrentRanges(uint32_t AModel, uint32_t AMaxIset, uint32_t ACurrentDiv);

// A named colour of the colour boxes.
struct TNamedColor {
    const char* Name;
    TColor Color;
};
// The sixteen standard colours followed by the four extended ones.
const std::vector<TNamedColor>& NamedColors();
// "RGB " followed by the colour cell as six upper-case hexadecimal digits (blue in the top byte).
QString CustomColorName(TColor AColor);

// The wait window after the high output voltage point ends early once the output voltage
// (0.01 V) reads more than 1.00 V below what it was when the window was made. A rise does not
// end it: the supply is still settling, and only the fall tells that it has finished.
bool OutputFellForWait(uint32_t AStartUout, uint32_t AUout);
