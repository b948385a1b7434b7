#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <string>
#include <vector>

#include "controls/seven_segment_display.h"
#include "tests/controls/paint_render.h"

namespace {

using Corners = std::vector<QPoint>;

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(24.5), 24);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(2.5001), 3);
}

struct PolygonCase {
    int w, h, s;
    TdsDisplaySegment seg;
    Corners expected;
};

class SegmentPolygonTest : public ::testing::TestWithParam<PolygonCase> {};

// "33x49_s4_Middle": the digit's size, the stroke and the segment.
std::string PolygonCaseName(const ::testing::TestParamInfo<PolygonCase>& AInfo) {
    static const char* const kSegments[] = {"Top",       "UpperLeft",  "UpperRight", "Middle",
                                            "LowerLeft", "LowerRight", "Bottom"};
    const PolygonCase& c = AInfo.param;
    return std::to_string(c.w) + "x" + std::to_string(c.h) + "_s" + std::to_string(c.s) + "_" +
           kSegments[c.seg];
}

TEST_P(SegmentPolygonTest, CornersInPixels) {
    const PolygonCase& c = GetParam();
    EXPECT_EQ(SegmentPolygon(c.seg, c.w, c.h, c.s), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Digits, SegmentPolygonTest,
    ::testing::Values(
        // The entry pop-ups' 17 x 25 digits and the 33 x 49 read-out digits.
        PolygonCase{17, 25, 4, tsTop, {{2, 1}, {15, 1}, {12, 3}, {5, 3}}},
        PolygonCase{33, 49, 4, tsTop, {{3, 1}, {30, 1}, {23, 6}, {10, 6}}},
        // 19 x 49 / 38 is exactly 24.5: the middle's points round down to the even 24.
        PolygonCase{33, 49, 4, tsMiddle, {{3, 24}, {7, 22}, {26, 22}, {30, 24}, {26, 27}, {7, 27}}},
        PolygonCase{17, 25, 4, tsMiddle, {{2, 12}, {3, 11}, {14, 11}, {15, 12}, {14, 14}, {3, 14}}},
        PolygonCase{17, 25, 4, tsLowerRight, {{16, 13}, {16, 24}, {13, 21}, {13, 16}}},
        PolygonCase{33, 49, 4, tsLowerRight, {{31, 26}, {31, 46}, {25, 41}, {25, 31}}},
        // ux = 1.5: grid 3 lands on 4.5 and goes to 4, grid 17 on 25.5 and goes to 26.
        PolygonCase{30, 38, 1, tsTop, {{3, 1}, {27, 1}, {26, 2}, {4, 2}}}),
    PolygonCaseName);

TEST(SegmentsForValue, EveryCode) {
    const std::vector<TdsDisplaySegments> expected = {0x77, 0x24, 0x5D, 0x6D, 0x2E, 0x6B,
                                                      0x7B, 0x25, 0x7F, 0x6F, 0x00, 0x08};
    for (uint32_t code = 0; code < expected.size(); ++code) {
        EXPECT_EQ(SegmentsForValue(code), expected[code]) << "code " << code;
    }
    EXPECT_EQ(SegmentsForValue(12), 0x5B);
    EXPECT_EQ(SegmentsForValue(0xFFFFFFFFu), 0x5B);
}

constexpr TColor kWhite = TColorFromRGB(255, 255, 255);
constexpr TColor kBlack = TColorFromRGB(0, 0, 0);
constexpr TColor kDim = TColorFromRGB(0x20, 0x20, 0x20);

struct Digit {
    TdsSevenSegmentDisplay d;
    Digit(int w, int h) {
        d.resize(w, h);
        d.SetBackColor(kBlack);
        d.SetOnColor(kWhite);
        d.SetOffColor(kDim);
    }
};

TEST(SevenSegmentDisplay, DefaultsAndNoSegmentsLitAtStart) {
    TdsSevenSegmentDisplay d;
    EXPECT_EQ(d.size(), QSize(40, 76));
    EXPECT_EQ(d.Value(), 0u);
    EXPECT_EQ(d.Segments(), 0);
    EXPECT_EQ(d.SegmentWidth(), 4);
    EXPECT_EQ(d.BackColor(), TColorFromRGB(0x80, 0x80, 0x80));
    EXPECT_EQ(d.OffColor(), TColorFromRGB(0xC0, 0xC0, 0xC0));
}

TEST(SevenSegmentDisplay, PixelsInsideAndOutsideSegments) {
    Digit g(33, 49);
    g.d.SetValue(7);  // top, upper right, lower right
    const QImage img = painttest::Render(g.d);
    const QRgb on = qRgb(255, 255, 255), off = qRgb(0x20, 0x20, 0x20), back = qRgb(0, 0, 0);
    EXPECT_EQ(img.pixel(16, 3), on);     // inside the top trapezoid
    EXPECT_EQ(img.pixel(28, 12), on);    // upper right
    EXPECT_EQ(img.pixel(28, 36), on);    // lower right
    EXPECT_EQ(img.pixel(4, 12), off);    // upper left, unlit but drawn
    EXPECT_EQ(img.pixel(16, 24), off);   // middle hexagon
    EXPECT_EQ(img.pixel(16, 0), back);   // above the top segment
    EXPECT_EQ(img.pixel(16, 12), back);  // inside the upper loop
    EXPECT_EQ(img.pixel(32, 48), back);  // corner
    EXPECT_EQ(img.pixel(0, 24), back);   // left of the middle's point
}

TEST(SevenSegmentDisplay, SmallDigitCornersAreFilledWhereTheGridSaysSo) {
    Digit g(17, 25);
    g.d.SetValue(8);
    const QImage img = painttest::Render(g.d);
    // The top trapezoid spans x 2..15 on row 1 and x 5..12 on row 2.
    EXPECT_EQ(img.pixel(8, 1), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(8, 2), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(8, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(16, 0), qRgb(0, 0, 0));
}

TEST(SevenSegmentDisplay, BlankDashThenE) {
    TdsSevenSegmentDisplay d;
    d.SetValue(10);
    EXPECT_EQ(d.Segments(), 0x00);
    d.SetValue(11);
    EXPECT_EQ(d.Segments(), SegmentBit(tsMiddle));
    d.SetValue(12);
    EXPECT_EQ(d.Segments(), 0x5B);
    EXPECT_EQ(d.Value(), 12u);
}

TEST(SevenSegmentDisplay, SameValueTwiceRepaintsAndNotifiesOnce) {
    TdsSevenSegmentDisplay d;
    int changes = 0;
    QObject* sender = nullptr;
    d.OnChange = [&](QObject* s) {
        ++changes;
        sender = s;
    };
    const uint64_t before = d.RepaintRequests();
    d.SetValue(3);
    d.SetValue(3);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(sender, &d);
    EXPECT_EQ(d.RepaintRequests(), before + 1);
}

TEST(SevenSegmentDisplay, NewCodeWithSamePatternNeitherRepaintsNorNotifies) {
    TdsSevenSegmentDisplay d;
    int changes = 0;
    d.OnChange = [&](QObject*) { ++changes; };
    d.SetValue(12);  // E
    d.SetValue(99);  // also E
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(d.RepaintRequests(), 1u);
    EXPECT_EQ(d.Value(), 99u);
}

TEST(SevenSegmentDisplay, ColourWritesRepaintOnlyWhenDifferent) {
    TdsSevenSegmentDisplay d;
    int changes = 0;
    d.OnChange = [&](QObject*) { ++changes; };
    d.SetOnColor(d.OnColor());
    d.SetOffColor(d.OffColor());
    d.SetBackColor(d.BackColor());
    d.SetSegmentWidth(d.SegmentWidth());
    EXPECT_EQ(d.RepaintRequests(), 0u);
    d.SetOnColor(kWhite);
    d.SetSegmentWidth(3);
    EXPECT_EQ(d.RepaintRequests(), 2u);
    EXPECT_EQ(changes, 0);  // only a change of the lit segments notifies
}

TEST(SevenSegmentDisplay, ShownDigitPaintsOnlyAfterRealChanges) {
    QWidget parent;
    parent.resize(60, 90);
    auto* d = new TdsSevenSegmentDisplay(&parent);
    parent.show();
    QCoreApplication::processEvents();
    const uint64_t first = d->PaintCount();
    EXPECT_GE(first, 1u);
    for (int i = 0; i < 100; ++i)
        d->SetValue(0);  // the code it already holds
    QCoreApplication::processEvents();
    EXPECT_EQ(d->PaintCount(), first);
    d->SetValue(8);
    QCoreApplication::processEvents();
    EXPECT_EQ(d->PaintCount(), first + 1);
}

}  // namespace
