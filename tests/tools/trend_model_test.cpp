// The trend ring, its automatic ranging, trace geometry and label texts.

#include <gtest/gtest.h>

#include <cstdlib>

#include <QLocale>

#include "tools/trend_model.h"

TEST(TrendModel, SamplesKeepVoltsAndAmperesInHundredthsAndRingOrder) {
    TTrendModel m;
    // Only the low 16 bits of UOUT; a current in 0.001 A (scale 10) becomes 0.01 A.
    m.Sample(0x12345, 1239, 10);
    EXPECT_EQ(m.Newest(0), (TOscDataRecord{0x2345, 123}));
    for (uint32_t k = 1; k <= 320; ++k)
        m.Sample(k, 2 * k, 1);
    // 321 samples: the first one is overwritten, the ring holds samples 1..320 newest first.
    EXPECT_EQ(m.OscIdx(), 321);
    EXPECT_EQ(m.Count(), 320);
    EXPECT_EQ(m.Newest(0), (TOscDataRecord{320, 640}));
    EXPECT_EQ(m.Newest(319), (TOscDataRecord{1, 2}));
    m.Clear();
    EXPECT_EQ(m.OscIdx(), 0);
    EXPECT_EQ(m.Count(), 0);
    EXPECT_EQ(TrendPeaks(m), TOscDataRecord{});
}

TEST(TrendModel, AutoRangeLooksAtExactlyTheSamplesHeld) {
    TTrendModel m;
    m.Sample(3000, 300, 1);  // the peak goes into slot 0
    for (int k = 1; k < 320; ++k)
        m.Sample(100, 10, 1);
    TOscSettings s;
    EXPECT_TRUE(ApplyAutoRange(m, s));
    EXPECT_EQ(s.VoltDiv, 2);  // 30 V: 5 V x 9 exceeds it, 2 V x 9 does not
    // 3 A: 0.5 A x 9 exceeds it, but 0.5 A/d would draw it on the line of 30 V at 5 V/d: one
    // step larger.
    EXPECT_EQ(AutoAmpPosition(300), 4);
    EXPECT_EQ(s.AmpDiv, 5);
    // The 321st sample overwrites the peak: only the 320 slots count, nothing older.
    m.Sample(100, 10, 1);
    EXPECT_TRUE(ApplyAutoRange(m, s));
    EXPECT_EQ(s.VoltDiv, 0);
    EXPECT_EQ(s.AmpDiv, 0);  // 0.1 A: 0.02 A x 9 exceeds it
    // Without "Auto" the positions stay as chosen.
    s.VoltAuto = s.AmpAuto = false;
    s.VoltDiv = 2;
    s.AmpDiv = 7;
    EXPECT_FALSE(ApplyAutoRange(m, s));
    EXPECT_EQ(s.VoltDiv, 2);
    EXPECT_EQ(s.AmpDiv, 7);
}

TEST(TrendModel, AutoRangeKeepsTwoTracesThatWouldCoincideApart) {
    // 12 V at 2 V/d and 1.2 A at 0.2 A/d would lie on one line.
    TTrendModel m;
    m.Sample(1200, 120, 1);
    TOscSettings s;
    ApplyAutoRange(m, s);
    EXPECT_EQ(s.VoltDiv, 1);
    const TOscScale scale = ScaleOf(s);
    EXPECT_GE(std::abs(TraceRow(1200, scale.VoltOffset, scale.VoltPerDiv) -
                       TraceRow(120, scale.AmpOffset, scale.AmpPerDiv)),
              kOscRowStep);
    // With one trace shown, or the current ranged by hand, nothing moves.
    s = {};
    s.Traces = otAmper;
    ApplyAutoRange(m, s);
    EXPECT_EQ(s.AmpDiv, AutoAmpPosition(120));
}

TEST(TrendModel, AutoRangeNeedsTheNinthDivisionToExceedThePeak) {
    // 9.00 V is not below 9 x 1 V: two volts per division.
    EXPECT_EQ(AutoVoltPosition(899), 0);
    EXPECT_EQ(AutoVoltPosition(900), 1);
    EXPECT_EQ(AutoVoltPosition(8999), 3);
    EXPECT_EQ(AutoVoltPosition(60000), 3);  // beyond every scale: the largest
    EXPECT_EQ(AutoAmpPosition(0), 0);
    EXPECT_EQ(AutoAmpPosition(18), 1);
    EXPECT_EQ(AutoAmpPosition(4500), 7);
    // An empty ring ranges to the finest scales.
    TOscSettings s;
    EXPECT_TRUE(ApplyAutoRange(TTrendModel{}, s));
    EXPECT_EQ(s.VoltDiv, 0);
    EXPECT_EQ(s.AmpDiv, 0);
}

TEST(TrendModel, TracePointsClipToTheTopEdgeAndTwoPixelsAboveTheBottom) {
    // Zero sits one division (22 pixels) above the bottom edge.
    EXPECT_EQ(TraceRow(0, 0, 100), 198);
    // 5.50 V at 1 V per division: 5.5 divisions up.
    EXPECT_EQ(TraceRow(550, 0, 100), 220 - 22 - 121);
    // Rounding of the scaled value: halves away from zero, also below zero.
    EXPECT_EQ(MulDiv(5, 22, 20), 6);
    EXPECT_EQ(MulDiv(-5, 22, 20), -6);
    EXPECT_EQ(MulDiv(7, 22, 0), -1);
    // Far above the scale: the top row.
    EXPECT_EQ(TraceRow(65535, 0, 100), 0);
    EXPECT_EQ(TraceRow(1000, 0, 100), 0);  // exactly H
    // Below zero with a negative offset: two pixels above the bottom edge (y = H - 2) ...
    EXPECT_EQ(TraceRow(0, -2000, 100), 218);
    // ... while a height of exactly one pixel is kept.
    EXPECT_EQ(TraceHeight(-95, 0, 100), 1);
    EXPECT_EQ(TraceHeight(-100, 0, 100), 2);
    // The grid scrolls with the newest drawn sample, one column step long.
    EXPECT_EQ(GridShift(0), 0);
    EXPECT_EQ(GridShift(1), 0);
    EXPECT_EQ(GridShift(6), 5);
    EXPECT_EQ(GridShift(33), 0);
}

TEST(TrendModel, LabelsUseShortestDecimalsAndTheLocaleSeparator) {
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    const TOscScale start = ScaleOf(TOscSettings{});
    EXPECT_EQ(TraceLabel(start.AmpPerDiv, start.AmpOffset, 'A'), "1A/d +0A");
    EXPECT_EQ(TraceLabel(start.VoltPerDiv, start.VoltOffset, 'V'), "1V/d +0V");
    EXPECT_EQ(TraceLabel(2, -5, 'A'), "0.02A/d -0.05A");
    EXPECT_EQ(TraceLabel(500, 2000, 'V'), "5V/d +20V");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(TraceLabel(50, -20, 'A'), "0,5A/d -0,2A");
    QLocale::setDefault(saved);
}
