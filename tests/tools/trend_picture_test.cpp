// Pixels of the rendered trend picture: trace colours at the expected columns and rows, the grid's
// scroll, clipping, labels, and the anti-aliased segments.

#include <gtest/gtest.h>

#include "tools/trend_picture.h"

namespace {

TTrendModel Constant(int ACount, uint32_t AUout, uint32_t AIout) {
    TTrendModel m;
    for (int k = 0; k < ACount; ++k)
        m.Sample(AUout, AIout, 1);
    return m;
}

// Columns in which some pixel has the colour.
std::vector<int> ColumnsWith(const QImage& AImage, QRgb AColor, int ATop = 0, int ABottom = 219) {
    std::vector<int> columns;
    for (int x = 0; x < AImage.width(); ++x) {
        for (int y = ATop; y <= ABottom; ++y) {
            if (AImage.pixel(x, y) == AColor) {
                columns.push_back(x);
                break;
            }
        }
    }
    return columns;
}

constexpr TOscScale kOneVoltOneAmp{100, 0, 100, 0};

}  // namespace

TEST(TrendPicture, FullRingDrawsBothTracesAcrossAtTheirRowsThickenedByOnePixel) {
    // 5.50 V at 1 V/div: 5.5 divisions above zero, y = 220 - 22 - 121 = 77; 1.50 A: y = 165.
    const TTrendModel m = Constant(400, 550, 150);
    TTrendPicture pic;
    pic.Draw(m, kOneVoltOneAmp, otBoth);
    const QImage& img = pic.Image();
    ASSERT_EQ(img.size(), QSize(320, 220));
    for (int x = 1; x < 320; ++x) {
        ASSERT_EQ(img.pixel(x, 77), kOscVoltColor) << x;
        ASSERT_EQ(img.pixel(x, 78), kOscVoltColor) << x;
        ASSERT_EQ(img.pixel(x, 165), kOscAmperColor) << x;
        ASSERT_EQ(img.pixel(x, 166), kOscAmperColor) << x;
    }
    // Nothing else in the trace colours outside the labels, and the background stays black.
    EXPECT_EQ(ColumnsWith(img, kOscVoltColor, 0, 76).size(), 0u);
    EXPECT_EQ(ColumnsWith(img, kOscVoltColor, 79, 200).size(), 0u);
    EXPECT_EQ(img.pixel(5, 5), qRgb(0, 0, 0));
    // The horizontal grid lines run every 22 rows; the current trace is drawn last.
    EXPECT_EQ(img.pixel(3, 22), kOscGridColor);
    EXPECT_EQ(img.pixel(3, 198), kOscGridColor);

    // Only the current trace: no yellow anywhere, not even its label.
    pic.Draw(m, kOneVoltOneAmp, otAmper);
    EXPECT_TRUE(ColumnsWith(pic.Image(), kOscVoltColor).empty());
    EXPECT_EQ(pic.Image().pixel(100, 165), kOscAmperColor);
}

TEST(TrendPicture, AfterAClearOnlyTheSamplesTakenAreDrawnFromTheRightEdge) {
    TTrendPicture pic;
    pic.Draw(TTrendModel{}, kOneVoltOneAmp, otBoth);
    EXPECT_TRUE(ColumnsWith(pic.Image(), kOscVoltColor, 0, 200).empty());
    // Three samples: the newest sits on x = 320 (just outside), the others on 319 and 318.
    const TTrendModel m = Constant(3, 550, 150);
    pic.Draw(m, kOneVoltOneAmp, otBoth);
    EXPECT_EQ(ColumnsWith(pic.Image(), kOscVoltColor, 0, 200), (std::vector<int>{318, 319}));
    EXPECT_EQ(ColumnsWith(pic.Image(), kOscAmperColor, 0, 200), (std::vector<int>{318, 319}));
}

TEST(TrendPicture, GridScrollsWithTheSamplesAndZeroLineShowsAlone) {
    TTrendPicture pic;
    pic.Draw(Constant(1, 0, 0), kOneVoltOneAmp, otZero);
    EXPECT_EQ(pic.Image().pixel(32, 10), kOscGridColor);
    EXPECT_EQ(pic.Image().pixel(31, 10), qRgb(0, 0, 0));
    // The white zero line one pixel below the zero division; no traces and no labels.
    EXPECT_EQ(pic.Image().pixel(10, 199), kOscZeroColor);
    EXPECT_TRUE(ColumnsWith(pic.Image(), kOscVoltColor).empty());
    EXPECT_TRUE(ColumnsWith(pic.Image(), kOscAmperColor).empty());
    // Six samples: the vertical lines have moved five pixels left.
    pic.Draw(Constant(6, 0, 0), kOneVoltOneAmp, otZero);
    EXPECT_EQ(pic.Image().pixel(27, 10), kOscGridColor);
    EXPECT_EQ(pic.Image().pixel(32, 10), qRgb(0, 0, 0));
    EXPECT_EQ(pic.Image().pixel(315, 10), kOscGridColor);
}

TEST(TrendPicture, OutOfScaleSamplesLieOnTheTopRowAndTwoAboveTheBottom) {
    TTrendPicture pic;
    // 60 V at 1 V/div on the top row, thickened just below it.
    const TTrendModel high = Constant(50, 6000, 0);
    pic.Draw(high, kOneVoltOneAmp, otVolt);
    EXPECT_EQ(pic.Image().pixel(300, 0), kOscVoltColor);
    EXPECT_EQ(pic.Image().pixel(300, 1), kOscVoltColor);
    // 0 A shifted down by 5 A at 0.02 A/div: y = H - 2, thickened onto the last row.
    pic.Draw(high, TOscScale{100, 0, 2, -500}, otAmper);
    EXPECT_EQ(pic.Image().pixel(300, 218), kOscAmperColor);
    EXPECT_EQ(pic.Image().pixel(300, 219), kOscAmperColor);
    EXPECT_NE(pic.Image().pixel(300, 217), kOscAmperColor);
}

TEST(TrendPicture, LabelsSitAtTheirPlacesInTheTraceColoursAndFollowTheScale) {
    TTrendPicture pic;
    const TTrendModel m = Constant(10, 0, 0);
    // Pixels of the label band that are neither background nor grid, and the brightest of them.
    struct TInk {
        int Count = 0;
        QRgb Brightest = 0;
    };
    auto ink = [&](int ALeft, int ARight) {
        TInk result;
        for (int y = kOscLabelY; y < 220; ++y) {
            for (int x = ALeft; x < ARight; ++x) {
                const QRgb c = pic.Image().pixel(x, y);
                if (c == qRgb(0, 0, 0) || c == kOscGridColor) continue;
                ++result.Count;
                if (qGray(c) > qGray(result.Brightest)) result.Brightest = c;
            }
        }
        return result;
    };
    pic.Draw(m, kOneVoltOneAmp, otBoth);
    const TInk volt = ink(40, 140);
    EXPECT_GT(volt.Count, 20);
    EXPECT_EQ(qBlue(volt.Brightest), 0);
    EXPECT_GT(qRed(volt.Brightest), 150);
    const TInk amper = ink(236, 320);
    EXPECT_GT(amper.Count, 20);
    EXPECT_GT(qBlue(amper.Brightest), qGreen(amper.Brightest));
    EXPECT_GT(qGreen(amper.Brightest), qRed(amper.Brightest));
    EXPECT_EQ(ink(0, 40).Count, 0);
    EXPECT_EQ(ink(140, 236).Count, 0);
    // A longer label ("10V/d -20V" against "1V/d +0V") covers more of the picture.
    pic.Draw(m, TOscScale{1000, -2000, 100, 0}, otBoth);
    EXPECT_GT(ink(40, 236).Count, volt.Count);
    // No trace, no label.
    pic.Draw(m, kOneVoltOneAmp, otZero);
    EXPECT_EQ(ink(40, 320).Count, 0);
}

TEST(TrendPicture, WuSegmentsShareEachColumnBetweenTwoPixelsByCoverage) {
    TTrendPicture pic;
    pic.Draw(TTrendModel{}, kOneVoltOneAmp, otZero);  // black except the grid
    // A shallow white segment from (1, 1) to (11, 4) in a grid-free region.
    pic.WuLine(1, 1, 11, 4, qRgb(255, 255, 255));
    const QImage& img = pic.Image();
    EXPECT_EQ(img.pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(11, 4), qRgb(255, 255, 255));
    for (int x = 2; x < 11; ++x) {
        int sum = 0;
        int touched = 0;
        for (int y = 0; y < 8; ++y) {
            sum += qRed(img.pixel(x, y));
            touched += qRed(img.pixel(x, y)) > 0;
        }
        // The two pixels around the crossing together carry the full colour.
        EXPECT_NEAR(sum, 255, 1) << x;
        EXPECT_LE(touched, 2) << x;
    }
    // x = 6 crosses at y = 2.5: half and half.
    EXPECT_NEAR(qRed(img.pixel(6, 2)), 128, 1);
    EXPECT_NEAR(qRed(img.pixel(6, 3)), 128, 1);
    // A single point covers its pixel fully.
    pic.WuLine(6, 3, 6, 3, kOscVoltColor);
    EXPECT_EQ(img.pixel(6, 3), kOscVoltColor);
}
