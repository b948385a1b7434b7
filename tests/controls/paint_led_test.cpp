#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>

#include "controls/led.h"
#include "controls/system_colors.h"
#include "tests/controls/paint_render.h"

namespace {

TEST(LedGlint, StandardLampGlintSitsInTheUpperLeft) {
    const TLedGlint g = LedGlint(24, 24);
    EXPECT_EQ(g.Inset, 4);
    EXPECT_EQ(g.Rect, QRectF(4, 4, 16, 16));
    EXPECT_EQ(g.Start, QPoint(14, 4));
    EXPECT_EQ(g.End, QPoint(4, 14));
    // Start just right of twelve o'clock, end just below nine o'clock.
    EXPECT_NEAR(g.StartAngle, 75.96, 0.01);
    EXPECT_NEAR(g.StartAngle + g.SpanAngle, 194.04, 0.01);
}

TEST(LedGlint, ThreePixelLampHasNoInset) {
    const TLedGlint g = LedGlint(3, 3);
    EXPECT_EQ(g.Inset, 0);
    EXPECT_EQ(g.Rect, QRectF(0, 0, 3, 3));
    EXPECT_EQ(g.Start, QPoint(1, 0));
    EXPECT_EQ(g.End, QPoint(0, 1));
    EXPECT_GT(g.StartAngle, 90);
    EXPECT_LT(g.StartAngle + g.SpanAngle, 180);
}

TEST(LedGlint, WideLampUsesTheEllipseParameter) {
    // On a 40 x 20 lamp the ray to the start point (22, 4) meets the ellipse at parameter
    // atan2(6 / 6, 2 / 16), not at the ray's own angle.
    const TLedGlint g = LedGlint(40, 20);
    EXPECT_EQ(g.Inset, 4);
    EXPECT_NEAR(g.StartAngle, 82.87, 0.01);
}

TEST(LedTriangle, CornersOfEveryShape) {
    using P = std::array<QPoint, 3>;
    EXPECT_EQ(LedTriangle(ltTriangleTop, 10, 8), (P{QPoint(0, 8), QPoint(10, 8), QPoint(5, 0)}));
    EXPECT_EQ(LedTriangle(ltTriangleBottom, 10, 8), (P{QPoint(0, 0), QPoint(10, 0), QPoint(5, 8)}));
    EXPECT_EQ(LedTriangle(ltTriangleLeft, 10, 9), (P{QPoint(0, 0), QPoint(0, 9), QPoint(10, 4)}));
    EXPECT_EQ(LedTriangle(ltTriangleRight, 10, 9), (P{QPoint(10, 0), QPoint(10, 9), QPoint(0, 4)}));
}

TEST(LedTriangle, EdgesFacingUpOrLeftTakeTheShadow) {
    // Top triangle: the base faces down, both slopes face up.
    auto e = LedTriangleEdges(ltTriangleTop, 24, 24);
    EXPECT_FALSE(e[0].FacesUpOrLeft);
    EXPECT_TRUE(e[1].FacesUpOrLeft);
    EXPECT_TRUE(e[2].FacesUpOrLeft);
    // Right-pointing triangle: the vertical edge faces right, the upper slope up and left, the
    // lower slope down and left.
    e = LedTriangleEdges(ltTriangleRight, 24, 24);
    EXPECT_FALSE(e[0].FacesUpOrLeft);
    EXPECT_TRUE(e[1].FacesUpOrLeft);
    EXPECT_TRUE(e[2].FacesUpOrLeft);
    // Bottom triangle: the top edge faces up, the right slope down and right.
    e = LedTriangleEdges(ltTriangleBottom, 24, 24);
    EXPECT_TRUE(e[0].FacesUpOrLeft);
    EXPECT_FALSE(e[1].FacesUpOrLeft);
    EXPECT_TRUE(e[2].FacesUpOrLeft);
}

TEST(Led, Defaults) {
    TdsLed led;
    EXPECT_EQ(led.size(), QSize(24, 24));
    EXPECT_EQ(led.Shape(), ltEllipse);
    EXPECT_EQ(led.OnColor(), TColorFromRGB(0, 255, 0));
    EXPECT_EQ(led.OffColor(), TColorFromRGB(255, 0, 0));
    EXPECT_FALSE(led.LedOn());
    EXPECT_EQ(led.Style(), lsStandard);
    EXPECT_EQ(led.Bevel(), blNone);
}

TEST(Led, RoundLampPixels) {
    TdsLed led;
    led.SetLedOn(true);
    const QImage img = painttest::Render(led, Qt::black);
    EXPECT_EQ(img.pixel(16, 16), qRgb(0, 255, 0));    // lower right of the centre: fill
    EXPECT_EQ(img.pixel(8, 8), qRgb(255, 255, 255));  // the glint
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));        // outside the ellipse
    EXPECT_EQ(img.pixel(23, 23), qRgb(0, 0, 0));
    led.SetLedOn(false);
    EXPECT_EQ(painttest::Render(led).pixel(16, 16), qRgb(255, 0, 0));
}

TEST(Led, RectangleBevelsShadeTopLeftAgainstBottomRight) {
    TdsLed led;
    led.resize(12, 10);
    led.SetShape(ltRectangle);
    led.SetBevel(blLowered);
    const QRgb shadow = ToQColor(clBtnShadow).rgb(), light = ToQColor(clBtnHighlight).rgb();
    QImage img = painttest::Render(led);
    EXPECT_EQ(img.pixel(5, 0), shadow);
    EXPECT_EQ(img.pixel(1, 5), shadow);
    EXPECT_EQ(img.pixel(5, 9), light);
    EXPECT_EQ(img.pixel(10, 5), light);
    EXPECT_EQ(img.pixel(5, 5), qRgb(255, 0, 0));
    led.SetBevel(blRaised);
    img = painttest::Render(led);
    EXPECT_EQ(img.pixel(5, 0), light);
    EXPECT_EQ(img.pixel(5, 9), shadow);
}

TEST(Led, TrianglePixels) {
    TdsLed led;
    led.resize(20, 20);
    led.SetShape(ltTriangleTop);
    const QImage img = painttest::Render(led, Qt::black);
    EXPECT_EQ(img.pixel(10, 17), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(1, 2), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(18, 2), qRgb(0, 0, 0));
}

TEST(Led, OwnerDrawHandsThePainterOver) {
    TdsLed led;
    led.SetStyle(lsOwnerDraw);
    QRect seen;
    QObject* sender = nullptr;
    led.OnDrawLed = [&](QObject* s, const QRect& r, QPainter& p) {
        sender = s;
        seen = r;
        p.fillRect(r, Qt::blue);
    };
    const QImage img = painttest::Render(led);
    EXPECT_EQ(sender, &led);
    EXPECT_EQ(seen, QRect(0, 0, 24, 24));
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 255));
}

TEST(Led, OnlyRealChangesRepaintAndOnlyLedOnNotifies) {
    TdsLed led;
    int changes = 0;
    led.OnChange = [&](QObject* s) {
        EXPECT_EQ(s, &led);
        ++changes;
    };
    led.SetLedOn(false);
    led.SetShape(ltEllipse);
    led.SetOnColor(led.OnColor());
    led.SetOffColor(led.OffColor());
    led.SetBevel(blNone);
    EXPECT_EQ(led.RepaintRequests(), 0u);
    led.SetLedOn(true);
    led.SetLedOn(true);
    led.SetBevel(blBorder);
    led.SetOnColor(TColorFromRGB(1, 2, 3));
    EXPECT_EQ(led.RepaintRequests(), 3u);
    EXPECT_EQ(changes, 1);
}

TEST(Led, ClickReachesTheHandlerWithTheSender) {
    TdsLed led;
    QObject* clicked = nullptr;
    led.OnClick = [&](QObject* s) { clicked = s; };
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&led, &press);
    EXPECT_EQ(clicked, nullptr);
    QCoreApplication::sendEvent(&led, &release);
    EXPECT_EQ(clicked, &led);
}

}  // namespace
