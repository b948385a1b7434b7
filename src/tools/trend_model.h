#pragma once
// The trend view's data and arithmetic, without widgets: the ring of 320 samples of output voltage
// and current (one per pixel column of the picture), the scale tables of the four up-downs, the
// automatic ranging, the label texts and the geometry of every trace point. The picture
// (trend_picture.h) and the panel (oscilloscope_panel.h) are built on these.

#include <QString>
#include <array>
#include <cstdint>

// One trend sample; both in 0.01 units (V, A) whatever the model's current scale.
struct TOscDataRecord {
    uint16_t Volt = 0;
    uint16_t Amper = 0;
    bool operator==(const TOscDataRecord&) const = default;
};

inline constexpr int kOscSamples = 320;                // ring length = picture width
inline constexpr int kOscWidth = 320;                  // n
inline constexpr int kOscHeight = 220;                 // H
inline constexpr int kOscColumnStep = kOscWidth / 10;  // c: grid column step
inline constexpr int kOscRowStep = kOscHeight / 10;    // r: grid row step = one division

using TOscData = std::array<TOscDataRecord, kOscSamples>;

// Scale tables, indexed by the up-down positions (0.01 V or 0.01 A).
inline constexpr std::array<int32_t, 4> kVoltsPerDiv = {100, 200, 500, 1000};
inline constexpr std::array<int32_t, 8> kAmpsPerDiv = {2, 5, 10, 20, 50, 100, 200, 500};
inline constexpr std::array<int32_t, 11> kVoltOffsets = {-2000, -1000, -500, -200, -100, 0,
                                                         100,   200,   500,  1000, 2000};
inline constexpr std::array<int32_t, 19> kAmpOffsets = {
    -500, -200, -100, -50, -20, -10, -5, -2, -1, 0, 1, 2, 5, 10, 20, 50, 100, 200, 500};
inline constexpr int kVoltDivStart = 0;
inline constexpr int kAmpDivStart = 5;
inline constexpr int kVoltShiftZero = 5;
inline constexpr int kAmpShiftZero = 9;

// Trace choice: bit 0 shows the voltage trace, bit 1 the current trace; 0 only the zero line.
enum TOscTraces : int { otZero = 0, otVolt = 1, otAmper = 2, otBoth = 3 };

// Positions of the panel's controls.
struct TOscSettings {
    int VoltDiv = kVoltDivStart;
    int AmpDiv = kAmpDivStart;
    int VoltShift = kVoltShiftZero;
    int AmpShift = kAmpShiftZero;
    int Traces = otBoth;
    bool VoltAuto = true;
    bool AmpAuto = true;
    bool Run = true;
    bool operator==(const TOscSettings&) const = default;
};

// The ring. `OscIdx` counts the samples taken since the last clear (never wrapped); sample k is
// kept in slot k mod 320 until it is overwritten 320 samples later.
class TTrendModel {
public:
    void Clear();
    // Voltage: the low 16 bits of UOUT; current: IOUT / ACurrentDiv, so both are 0.01 units.
    void Sample(uint32_t AUout, uint32_t AIout, uint32_t ACurrentDiv);

    int32_t OscIdx() const { return fOscIdx; }
    // Samples held: min(OscIdx, 320).
    int Count() const;
    // The j-th newest sample (0 the newest); j < Count().
    const TOscDataRecord& Newest(int j) const;
    const TOscData& Data() const { return fOscData; }

private:
    TOscData fOscData{};
    int32_t fOscIdx = 0;
};

// Product divided by the divisor, computed wide and rounded to the nearest integer with halves
// away from zero; -1 for a zero divisor.
int32_t MulDiv(int32_t ANumber, int32_t ANumerator, int32_t ADenominator);

// Height above the bottom edge of a value: one division per APerDiv, zero one division up,
// clipped to the top edge and, below the bottom, to 2 pixels. Geometry of a 320 x 220 picture.
int TraceHeight(int32_t AValue, int32_t AOffset, int32_t APerDiv);
// Row of a trace point: H - TraceHeight.
int TraceRow(int32_t AValue, int32_t AOffset, int32_t APerDiv);
// Column of the j-th newest sample: n - j (the newest sits on the right edge).
inline int TraceColumn(int j) {
    return kOscWidth - j;
}
// How far the vertical grid lines have scrolled left for the newest of AOscIdx samples.
int GridShift(int32_t AOscIdx);

// Largest voltage and current among the samples held (0 when none).
TOscDataRecord TrendPeaks(const TTrendModel& AModel);
// First position whose per-division value times nine (divisions above the zero line) exceeds the
// peak; the last position when none does.
int AutoVoltPosition(uint16_t APeakVolt);
int AutoAmpPosition(uint16_t APeakAmper);
// Applies automatic ranging to the positions whose "Auto" is checked. True when one changed.
bool ApplyAutoRange(const TTrendModel& AModel, TOscSettings& ASettings);

// Per-division values and offsets of the positions (0.01 units).
struct TOscScale {
    int32_t VoltPerDiv = 100;
    int32_t VoltOffset = 0;
    int32_t AmpPerDiv = 100;
    int32_t AmpOffset = 0;
    bool operator==(const TOscScale&) const = default;
};
TOscScale ScaleOf(const TOscSettings& ASettings);

// A value in 0.01 units as the shortest decimal text with the locale's decimal separator
// (150 -> "1.5", 2 -> "0.02", -100 -> "-1").
QString ShortDecimal(int32_t AHundredths);
// Trace label: "1V/d +0V", "0.5A/d -0.2A".
QString TraceLabel(int32_t APerDiv, int32_t AOffset, QChar AUnit);
