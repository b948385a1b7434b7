#include <gtest/gtest.h>

#include <QImage>

#include "controls/gradient_panel.h"
#include "controls/system_colors.h"
#include "tests/controls/paint_render.h"

namespace {

constexpr TColor kWhite = TColorFromRGB(255, 255, 255);
constexpr TColor kBlack = TColorFromRGB(0, 0, 0);

TColor Grey(int v) {
    return TColorFromRGB(v, v, v);
}

TEST(GradientBands, OutputPanelHeightGivesOnePixelBandsBlackOnTop) {
    const auto lines = GradientLines(217, kWhite, kBlack, 255, fdBottomToTop);
    ASSERT_EQ(lines.size(), 217u);
    EXPECT_EQ(lines.front(), kBlack);
    EXPECT_EQ(lines.back(), kWhite);
    EXPECT_EQ(GradientBands(217, kWhite, kBlack, 255, fdBottomToTop).size(), 217u);
    // Row k is k * 255 / 216 rounded; row 36 falls on 42.5 and goes to the even 42.
    EXPECT_EQ(lines[1], Grey(1));
    EXPECT_EQ(lines[36], Grey(42));
    EXPECT_EQ(lines[108], Grey(128));  // 127.5 -> 128
}

TEST(GradientBands, TallPanelUsesAtMost255BandsThenTheStartColour) {
    const auto bands = GradientBands(300, kWhite, kBlack, 255, fdBottomToTop);
    ASSERT_EQ(bands.size(), 256u);
    EXPECT_EQ(bands.back(), (TGradientBand{255, 45, kWhite}));
    const auto lines = GradientLines(300, kWhite, kBlack, 255, fdBottomToTop);
    EXPECT_EQ(lines[0], kBlack);
    EXPECT_EQ(lines[254], kWhite);
    for (int y = 255; y < 300; ++y)
        EXPECT_EQ(lines[y], kWhite) << y;
}

TEST(GradientBands, OnePixelExtentIsFilledByTheRemainder) {
    auto bands = GradientBands(1, kWhite, kBlack, 255, fdBottomToTop);
    ASSERT_EQ(bands.size(), 3u);
    EXPECT_EQ(bands[0].Size, 0);
    EXPECT_EQ(bands[1].Size, 0);
    EXPECT_EQ(bands[2], (TGradientBand{0, 1, kWhite}));
    EXPECT_EQ(GradientLines(1, kWhite, kBlack, 255, fdTopToBottom)[0], kBlack);
}

TEST(GradientBands, DegenerateInputs) {
    EXPECT_TRUE(GradientBands(0, kWhite, kBlack, 255, fdTopToBottom).empty());
    EXPECT_TRUE(GradientBands(-3, kWhite, kBlack, 255, fdTopToBottom).empty());
    EXPECT_EQ(GradientBands(50, kWhite, kBlack, 1, fdBottomToTop),
              (std::vector<TGradientBand>{{0, 50, kWhite}}));
}

TEST(GradientBands, StartColourSitsOnTheNamedSide) {
    const TColor red = TColorFromRGB(255, 0, 0), blue = TColorFromRGB(0, 0, 255);
    auto l = GradientLines(10, red, blue, 255, fdLeftToRight);
    EXPECT_EQ(l.front(), red);
    EXPECT_EQ(l.back(), blue);
    l = GradientLines(10, red, blue, 255, fdRightToLeft);
    EXPECT_EQ(l.front(), blue);
    EXPECT_EQ(l.back(), red);
    // Channels step independently, each rounded: 10 bands from red to blue.
    EXPECT_EQ(GradientLines(10, red, blue, 255, fdTopToBottom)[3], TColorFromRGB(170, 0, 85));
}

TEST(GradientBands, FewerBandsThanPixels) {
    // 10 rows, 4 bands of 2 rows, 2 rows left over in the end colour.
    const auto bands = GradientBands(10, kBlack, kWhite, 4, fdTopToBottom);
    ASSERT_EQ(bands.size(), 5u);
    EXPECT_EQ(bands[0], (TGradientBand{0, 2, kBlack}));
    EXPECT_EQ(bands[1], (TGradientBand{2, 2, Grey(85)}));
    EXPECT_EQ(bands[3], (TGradientBand{6, 2, kWhite}));
    EXPECT_EQ(bands[4], (TGradientBand{8, 2, kWhite}));
}

TEST(FitCaptionPointSize, GrowsToTheLargestSizeThatLeavesTenPixels) {
    const auto measure = [](int pt) { return QSize(10 * pt, 2 * pt); };
    EXPECT_EQ(FitCaptionPointSize(8, QSize(200, 100), measure), 18);  // 190 is not below 190
    EXPECT_EQ(FitCaptionPointSize(8, QSize(400, 40), measure), 14);   // height bound: 30 < 30 fails
    // Fits the client but not the margin: one point off.
    EXPECT_EQ(FitCaptionPointSize(19, QSize(200, 100), measure), 18);
    // Larger than the client: unchanged.
    EXPECT_EQ(FitCaptionPointSize(30, QSize(200, 100), measure), 30);
    // A measure that never grows does not hang.
    EXPECT_EQ(FitCaptionPointSize(8, QSize(200, 100), [](int) { return QSize(1, 1); }), 999);
}

TEST(GradientPanel, OutputPanelPixels) {
    TLWGradientPanel panel;
    panel.resize(537, 217);
    panel.SetBevelOuter(bvNone);
    panel.SetGradientStartColor(kWhite);
    panel.SetGradientEndColor(kBlack);
    panel.SetGradientFillDir(fdBottomToTop);
    const QImage img = painttest::Render(panel, Qt::red);
    EXPECT_EQ(img.pixel(10, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(536, 216), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(300, 36), qRgb(42, 42, 42));
}

TEST(GradientPanel, RaisedBevelFramesTheGradient) {
    TLWGradientPanel panel;
    panel.resize(50, 40);
    panel.SetBevelWidth(2);
    const QImage img = painttest::Render(panel, Qt::red);
    const QRgb light = ToQColor(clBtnHighlight).rgb(), shadow = ToQColor(clBtnShadow).rgb();
    EXPECT_EQ(img.pixel(20, 0), light);
    EXPECT_EQ(img.pixel(1, 20), light);
    EXPECT_EQ(img.pixel(20, 39), shadow);
    EXPECT_EQ(img.pixel(48, 20), shadow);
    // The gradient starts inside the frame: white start colour on the first inner row.
    EXPECT_EQ(img.pixel(20, 2), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(20, 37), ToQColor(TColorFromRGB(0x80, 0, 0)).rgb());
}

TEST(GradientPanel, PlainFillAndIcon) {
    TLWGradientPanel panel;
    panel.resize(40, 30);
    panel.SetBevelOuter(bvNone);
    panel.SetGradient(false);
    panel.SetColor(TColorFromRGB(0, 0, 255));
    QPixmap icon(4, 4);
    icon.fill(Qt::green);
    panel.SetIcon(icon);
    panel.SetCaption("never drawn with an icon");
    const QImage img = painttest::Render(panel);
    EXPECT_EQ(img.pixel(2, 2), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(18, 13), qRgb(0, 255, 0));  // icon at 20 - 2, 15 - 2
    EXPECT_EQ(img.pixel(21, 16), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(22, 17), qRgb(0, 0, 255));
}

TEST(GradientPanel, SettersRepaintOnlyOnChange) {
    TLWGradientPanel panel;
    panel.SetGradient(true);
    panel.SetGradientFillDir(fdTopToBottom);
    EXPECT_EQ(panel.RepaintRequests(), 0u);
    panel.SetGradientFillDir(fdLeftToRight);
    panel.SetCaption("A");
    EXPECT_EQ(panel.RepaintRequests(), 2u);
}

}  // namespace
