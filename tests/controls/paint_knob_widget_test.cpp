#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>
#include <numbers>

#include "controls/knob.h"
#include "controls/rot_img.h"
#include "tests/controls/paint_render.h"

namespace {

constexpr TColor kOrange = TColorFromRGB(0xFF, 0x86, 0x0D);
constexpr TColor kGrey = TColorFromRGB(0x80, 0x80, 0x80);

// The main window's voltage knob, shown so that its size and focus are real.
struct KnobFixture : ::testing::Test {
    QWidget window;
    QWidget* other = new QWidget(&window);  // holds the focus until a test gives it to the knob
    TLN_Knob* knob = new TLN_Knob(&window);
    int changes = 0;
    QObject* sender = nullptr;

    KnobFixture() {
        window.resize(140, 140);
        knob->setGeometry(20, 20, 98, 98);
        knob->UpdateMinMax(10, 5100);
        knob->SetColor(kGrey);
        knob->SetTransparent(true);
        knob->SetIndicatorType(it_Circle);
        knob->SetLineLength(12);
        knob->SetOnColor(kOrange);
        knob->SetOffColor(kGrey);
        knob->SetDisabledBorderColor(TColorFromRGB(0x3F, 0x3F, 0x3F));
        knob->SetFocusedBorderColor(TColorFromRGB(0xBF, 0x60, 0x00));
        knob->SetUnfocusedBorderColor(TColorFromRGB(0xAE, 0x38, 0x00));
        knob->UpdatePosition(2000);
        knob->OnChange = [this](QObject* s) {
            ++changes;
            sender = s;
        };
        other->setFocusPolicy(Qt::StrongFocus);
        window.show();
        QApplication::setActiveWindow(&window);
        other->setFocus();
        QCoreApplication::processEvents();
    }

    void Mouse(QEvent::Type type, QPoint p, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, QPointF(p), knob->mapToGlobal(QPointF(p)), button, buttons, mods);
        QCoreApplication::sendEvent(knob, &e);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QCoreApplication::sendEvent(knob, &e);
    }
    bool Wheel(int delta, QPoint p = QPoint(49, 49), Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWheelEvent e(QPointF(p), knob->mapToGlobal(QPointF(p)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(knob, &e);
        return e.isAccepted();
    }
    // A point at screen angle `deg` and distance `dist` from the knob's centre.
    static QPoint At(double deg, double dist = 40) {
        const double a = deg * std::numbers::pi / 180;
        return QPoint(static_cast<int>(std::lround(49 + dist * std::cos(a))),
                      static_cast<int>(std::lround(49 + dist * std::sin(a))));
    }
};

TEST_F(KnobFixture, ControlStaysSquare) {
    EXPECT_EQ(knob->Diameter(), 98);
    // Not larger than the stored side: the smaller side wins.
    knob->resize(98, 60);
    EXPECT_EQ(knob->size(), QSize(60, 60));
    // A side beyond the stored one: the larger side wins.
    knob->resize(95, 98);
    EXPECT_EQ(knob->size(), QSize(98, 98));
    EXPECT_EQ(knob->Diameter(), 98);
}

TEST_F(KnobFixture, UpdatePositionIsSilentAndWritesNotifyOnlyOnChange) {
    EXPECT_TRUE(knob->UpdatePosition(2500));
    EXPECT_EQ(changes, 0);
    knob->SetPosition(2500);
    EXPECT_EQ(changes, 0);
    knob->SetPosition(2600);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(sender, knob);
    knob->SetPosition(9999);
    EXPECT_EQ(knob->Position(), 5099);
    EXPECT_EQ(changes, 2);
}

TEST_F(KnobFixture, NarrowingTheRangeClampsThroughTheWrite) {
    knob->SetMax(1000);
    EXPECT_EQ(knob->Position(), 999);
    EXPECT_EQ(changes, 1);
    knob->UpdateMinMax(10, 5100);  // widening moves nothing and notifies nothing
    EXPECT_EQ(knob->Position(), 999);
    EXPECT_EQ(changes, 1);
}

TEST_F(KnobFixture, KeysStepAndNotify) {
    Key(Qt::Key_Up);
    EXPECT_EQ(knob->Position(), 2001);
    Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(knob->Position(), 5099);
    Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(knob->Position(), 10);
    Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(knob->Position(), 20);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(knob->Position(), 10);
    Key(Qt::Key_End);
    EXPECT_EQ(knob->Position(), 10);
    EXPECT_EQ(changes, 5);
}

TEST_F(KnobFixture, WheelStepsButIsReportedUnhandled) {
    EXPECT_FALSE(Wheel(120));
    EXPECT_EQ(knob->Position(), 2001);
    EXPECT_FALSE(Wheel(-120, QPoint(49, 49), Qt::ShiftModifier));
    EXPECT_EQ(knob->Position(), 1991);
    EXPECT_EQ(changes, 2);
}

TEST_F(KnobFixture, ClickAheadOfThePointerIncrements) {
    // Position 2000 has its pointer at 327 degrees; 57 degrees is 90 ahead.
    ASSERT_EQ(knob->Model().Angle, 327);
    Mouse(QEvent::MouseButtonPress, At(57));
    EXPECT_TRUE(knob->hasFocus());
    Mouse(QEvent::MouseButtonRelease, At(57));
    EXPECT_EQ(knob->Position(), 2001);
    Mouse(QEvent::MouseButtonPress, At(237));
    Mouse(QEvent::MouseButtonRelease, At(237));
    EXPECT_EQ(knob->Position(), 2000);
    EXPECT_EQ(changes, 2);
}

TEST_F(KnobFixture, DragTurnsTheKnobAndLightsTheBorder) {
    const QPoint press = At(327);
    const int pressAngle = KnobMouseAngle(press.x(), press.y(), 49);
    Mouse(QEvent::MouseButtonPress, press);
    Mouse(QEvent::MouseMove, At(pressAngle + 20, 400));
    EXPECT_GT(knob->Position(), 2000);
    EXPECT_TRUE(knob->Model().Dragging);
    EXPECT_EQ(knob->Look().BorderColor, knob->FocusedBorderColor());
    const int32_t afterDrag = knob->Position();
    EXPECT_EQ(changes, 1);
    // Moving into the centre ends the drag; the release then does nothing.
    Mouse(QEvent::MouseMove, QPoint(50, 50));
    EXPECT_FALSE(knob->Model().Dragging);
    Mouse(QEvent::MouseButtonRelease, QPoint(50, 50));
    EXPECT_EQ(knob->Position(), afterDrag);
}

TEST_F(KnobFixture, PressOutsideTheFaceTakesNoFocus) {
    Mouse(QEvent::MouseButtonPress, QPoint(1, 1));
    EXPECT_FALSE(knob->hasFocus());
    EXPECT_FALSE(knob->Model().MouseDown);
}

TEST_F(KnobFixture, BorderAndDotColoursFollowTheState) {
    EXPECT_EQ(knob->Look().BorderColor, knob->UnfocusedBorderColor());
    EXPECT_EQ(knob->Look().DotColor, kGrey);
    knob->SetLedOn(true);
    EXPECT_EQ(knob->Look().DotColor, kOrange);
    knob->setFocus();
    EXPECT_EQ(knob->Look().BorderColor, knob->FocusedBorderColor());
    knob->SetShowFocusedState(false);
    EXPECT_EQ(knob->Look().BorderColor, knob->UnfocusedBorderColor());
    knob->setEnabled(false);
    EXPECT_EQ(knob->Look().BorderColor, knob->DisabledBorderColor());
}

TEST_F(KnobFixture, SpringLoadedKnobReturnsToTheStartWhenTheFocusLeaves) {
    knob->setFocus();
    knob->SetSpringLoaded(true);  // switching it on returns at once
    EXPECT_EQ(knob->Position(), 10);
    knob->SetPosition(300);
    changes = 0;
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(knob, &out);
    EXPECT_EQ(knob->Position(), 10);
    EXPECT_EQ(changes, 1);
}

TEST_F(KnobFixture, IdenticalWritesDoNotRepaint) {
    QCoreApplication::processEvents();
    const uint64_t requests = knob->RepaintRequests();
    const uint64_t compositions = knob->Compositions();
    for (int i = 0; i < 1000; ++i) {
        knob->UpdatePosition(2000);
        knob->SetLedOn(knob->LedOn());
        knob->SetColor(kGrey);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(knob->RepaintRequests(), requests);
    EXPECT_EQ(knob->Compositions(), compositions);
    knob->UpdatePosition(2001);
    QCoreApplication::processEvents();
    EXPECT_EQ(knob->Compositions(), compositions + 1);
}

TEST_F(KnobFixture, LineLengthIsLimitedByTheRadius) {
    knob->SetLineLength(100);
    EXPECT_EQ(knob->LineLength(), 40);  // radius 49 - 9
    knob->SetLineLength(1);
    EXPECT_EQ(knob->LineLength(), 3);
    knob->SetLineWidth(20);
    EXPECT_EQ(knob->LineWidth(), 8);
}

// --- Composition without a widget -------------------------------------------------------------

TKnobLook PlainLook(int angle) {
    TKnobLook k;
    k.Diameter = 98;
    k.Angle = angle;
    k.Color = kGrey;
    k.BorderColor = TColorFromRGB(255, 0, 0);
    k.IndicatorType = it_Circle;
    k.LineLength = 12;
    k.DotColor = TColorFromRGB(0, 0, 255);
    return k;
}

bool Bluish(QRgb c) {
    return qBlue(c) > 200 && qRed(c) < 150;
}

TEST(ComposeKnob, BorderRingAndPointerDot) {
    EXPECT_EQ(KnobPointerCentre(98, 0, 12, true, true), QPointF(81, 49));
    const QImage at0 = ComposeKnob(PlainLook(0), QImage());
    EXPECT_EQ(at0.pixelColor(49, 3).rgb(), qRgb(255, 0, 0));     // border, top
    EXPECT_EQ(at0.pixelColor(0, 0).rgb(), qRgb(128, 128, 128));  // opaque face fill in the corner
    EXPECT_TRUE(Bluish(at0.pixelColor(81, 49).rgb()));
    EXPECT_FALSE(Bluish(at0.pixelColor(17, 49).rgb()));
    const QImage at180 = ComposeKnob(PlainLook(180), QImage());
    EXPECT_TRUE(Bluish(at180.pixelColor(17, 49).rgb()));
    EXPECT_FALSE(Bluish(at180.pixelColor(81, 49).rgb()));
}

TEST(ComposeKnob, TransparentKnobLeavesTheCornersToTheParent) {
    TKnobLook k = PlainLook(0);
    k.Transparent = true;
    const QImage img = ComposeKnob(k, KnobFacePicture(98, kGrey));
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(img.pixel(49, 49)), 255);
}

// A face picture red on the left half and blue on the right.
QImage HalfAndHalf() {
    QImage face(98, 98, QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::blue);
    for (int y = 0; y < 98; ++y)
        for (int x = 0; x < 49; ++x)
            face.setPixel(x, y, qRgb(255, 0, 0));
    return face;
}

bool Reddish(QRgb c) {
    return qRed(c) > qBlue(c) + 60;
}

TEST(ComposeKnob, FaceTurnsWithThePointer) {
    TKnobLook k = PlainLook(120);  // 120 degrees: the picture stands as drawn
    k.Transparent = true;
    k.ShowIndicator = false;
    QImage img = ComposeKnob(k, HalfAndHalf());
    EXPECT_TRUE(Reddish(img.pixel(30, 49)));
    EXPECT_FALSE(Reddish(img.pixel(68, 49)));
    // Ninety degrees further clockwise: the left half has turned to the top.
    k.Angle = 210;
    img = ComposeKnob(k, HalfAndHalf());
    EXPECT_TRUE(Reddish(img.pixel(49, 30)));
    EXPECT_FALSE(Reddish(img.pixel(49, 68)));
    // Without RotateImage the picture stays put.
    k.RotateImage = false;
    img = ComposeKnob(k, HalfAndHalf());
    EXPECT_TRUE(Reddish(img.pixel(30, 49)));
}

TEST(RotImg, TurnsCounterClockwiseAndCutsTheDisc) {
    const QImage out = RotImg(HalfAndHalf(), 90, QRectF(2, 2, 94, 94));
    EXPECT_TRUE(Reddish(out.pixel(49, 70)));  // left half turned down
    EXPECT_FALSE(Reddish(out.pixel(49, 28)));
    EXPECT_EQ(qAlpha(out.pixel(1, 1)), 0);
}

}  // namespace
