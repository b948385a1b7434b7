// The entry pop-ups driven through synthetic events: attaching, activation, clicks, keys, the step
// control and the wheel with its pause.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>

#include "controls/enter_form.h"
#include "controls/enter_form2.h"
#include "controls/led.h"
#include "controls/seven_segment_display.h"
#include "controls/up_down_buttons.h"
#include "controls/wheel_pause.h"
#include "indicator_fakes.h"

namespace indicator_test {
namespace {

// An indicator over its own cell, with a fake cursor timer.
struct Field {
    Field(uint32_t min, uint32_t max, uint32_t len, uint32_t point, uint32_t value,
          const char* name = "V")
        : cell(value) {
        auto t = std::make_unique<FakeTimer>();
        timer = t.get();
        ind =
            std::make_unique<TIndicator>(min, max, len, point, &cell, QString(name), std::move(t));
    }
    uint32_t cell;
    FakeTimer* timer;
    std::unique_ptr<TIndicator> ind;
};

// Digit codes of a pop-up, leftmost first: '_' blank, '-' dash.
std::string Shown(const TEnterFormBase& form) {
    std::string s;
    for (int i = form.DigitCount(); i >= 1; --i) {
        const uint32_t v = form.Seg(i)->Value();
        s += v == kDigitBlank ? '_' : v == kDigitDash ? '-' : v <= 9 ? char('0' + v) : 'E';
    }
    return s;
}

void Activate(QWidget& w) {
    QEvent e(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&w, &e);
}

void Deactivate(QWidget& w) {
    QEvent e(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&w, &e);
}

void Click(QWidget* w, QPoint pos = QPoint(5, 5)) {
    const QPointF global = w->mapToGlobal(QPointF(pos));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), global, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

void Key(QWidget& w, int key, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(&w, &press);
}

void Type(QWidget& w, const QString& digits) {
    for (QChar ch : digits)
        Key(w, Qt::Key_0 + (ch.unicode() - '0'), QString(ch));
}

// A wheel notch at the centre of `over`, delivered to the pop-up as the digit passes it on.
void Wheel(QWidget& form, QWidget* over, bool up) {
    const QPointF pos = QPointF(over->geometry().center());
    QWheelEvent e(pos, form.mapToGlobal(pos), QPoint(), QPoint(0, up ? 120 : -120), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&form, &e);
}

class EntryPopupTest : public IndicatorTest {
protected:
    void SetUp() override {
        IndicatorTest::SetUp();
        ASSERT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
        auto t = std::make_unique<FakeTimer>();
        pauseTimer = t.get();
        pause = std::make_unique<TWheelPause>(std::move(t));
    }

    FakeTimer* pauseTimer = nullptr;
    std::unique_ptr<TWheelPause> pause;
};

TEST_F(EntryPopupTest, AttachingPreparesTheIndicatorAndLayout) {
    TEnterForm form;
    Field f(10, 5100, 4, 3, 1234);
    f.ind->Smart = true;
    form.SetIndicator(f.ind.get());
    EXPECT_FALSE(f.ind->Smart);
    EXPECT_FALSE(f.ind->AutoStop());
    EXPECT_TRUE(f.ind->Enabled());
    EXPECT_EQ(f.ind->UpDownCtrl(), form.UpDown1());
    EXPECT_EQ(form.UpDown1()->StepTarget(), f.ind.get());
    EXPECT_EQ(form.Label1()->text(), "V");
    EXPECT_TRUE(form.PointLed(1)->isHidden());
    EXPECT_FALSE(form.PointLed(2)->isHidden());
    EXPECT_TRUE(form.PointLed(3)->isHidden());
    EXPECT_EQ(form.size(), QSize(185, 40));
    Activate(form);
    EXPECT_EQ(Shown(form), "1234");
    EXPECT_EQ(f.ind->CursorPos(), 4);
    EXPECT_EQ(TIndicator::Active(), f.ind.get());
    EXPECT_EQ(form.Seg(4)->OnColor(), f.ind->FlashColor());
}

TEST_F(EntryPopupTest, ShortValuesLeaveTheUnusedDigitsDark) {
    TEnterForm form;
    Field overheat(32, 300, 3, 1, 85, "C");
    form.SetIndicator(overheat.ind.get());
    Activate(form);
    EXPECT_EQ(Shown(form), "_085");
    EXPECT_EQ(overheat.ind->CursorPos(), 3);
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(form.PointLed(i)->isHidden()) << i;
    Deactivate(form);

    Field memories(1, 20, 2, 1, 9, "");
    form.SetIndicator(memories.ind.get());
    Activate(form);
    EXPECT_EQ(Shown(form), "__09");
    EXPECT_EQ(memories.ind->CursorPos(), 2);
    EXPECT_EQ(form.Label1()->text(), "");
}

TEST_F(EntryPopupTest, ClickAndTypeAFullNumber) {
    TEnterForm form;
    Field f(10, 5100, 4, 3, 1234);
    int changes = 0;
    f.ind->SetOnChange([&](TIndicator*) { ++changes; });
    form.SetIndicator(f.ind.get());
    Activate(form);
    Click(form.Seg(2));
    EXPECT_EQ(f.ind->CursorPos(), 2);
    Click(form.Seg(4));
    Type(form, "4321");
    EXPECT_EQ(f.cell, 4321u);
    EXPECT_EQ(Shown(form), "4321");
    EXPECT_EQ(f.ind->CursorPos(), 1);
    EXPECT_EQ(changes, 4);
    // A digit that would exceed MaxValue is refused; the cursor still moves on, and the digit
    // shows in the warning colour until the second cursor tick.
    Click(form.Seg(4));
    Type(form, "9");
    EXPECT_EQ(f.cell, 4321u);
    EXPECT_EQ(f.ind->CursorPos(), 3);
    EXPECT_EQ(form.Seg(4)->OnColor(), TIndicator::kRefusedColor);
    EXPECT_EQ(form.Seg(4)->Value(), 4u);
    f.timer->Tick();
    EXPECT_EQ(form.Seg(4)->OnColor(), TIndicator::kRefusedColor);
    f.timer->Tick();
    EXPECT_EQ(form.Seg(4)->OnColor(), f.ind->Color());
    // On the last digit, where the cursor stays, the refusal shows over the blinking.
    f.cell = 5099;
    f.ind->UpdateDigits();
    Click(form.Seg(1));
    Key(form, Qt::Key_Up);  // 5100 is the most
    Key(form, Qt::Key_Up);
    EXPECT_EQ(f.cell, 5100u);
    EXPECT_EQ(form.Seg(1)->OnColor(), TIndicator::kRefusedColor);
    f.timer->Tick();
    f.timer->Tick();
    EXPECT_NE(form.Seg(1)->OnColor(), TIndicator::kRefusedColor) << "blinks again";
}

TEST_F(EntryPopupTest, ArrowsMoveWithoutWrappingAndStep) {
    TEnterForm form;
    Field f(0, 9999, 4, 3, 500);
    form.SetIndicator(f.ind.get());
    Activate(form);
    Key(form, Qt::Key_Left);
    EXPECT_EQ(f.ind->CursorPos(), 4);
    Key(form, Qt::Key_Right);
    Key(form, Qt::Key_Right);
    Key(form, Qt::Key_Right);
    Key(form, Qt::Key_Right);
    EXPECT_EQ(f.ind->CursorPos(), 1);
    Key(form, Qt::Key_Up);
    Key(form, Qt::Key_Up);
    EXPECT_EQ(f.cell, 502u);
    Key(form, Qt::Key_Left);
    Key(form, Qt::Key_Down);
    EXPECT_EQ(f.cell, 492u);
    // Return ends the entry, the value kept; Escape ends it with the value it opened with.
    Key(form, Qt::Key_Return, "\r");
    EXPECT_EQ(f.cell, 492u);
    EXPECT_EQ(f.ind->CursorPos(), 0);
    form.Popup();
    Key(form, Qt::Key_Up);
    EXPECT_EQ(f.cell, 1492u);
    int changes = 0;
    f.ind->SetOnChange([&](TIndicator*) { ++changes; });
    Key(form, Qt::Key_Escape, "\x1b");
    EXPECT_EQ(f.cell, 492u);
    EXPECT_EQ(Shown(form), "0492");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(f.ind->CursorPos(), 0);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(EntryPopupTest, KeysDoNothingWithoutACursor) {
    TEnterForm form;
    Field f(0, 9999, 4, 3, 500);
    form.SetIndicator(f.ind.get());
    Type(form, "7");
    Key(form, Qt::Key_Up);
    EXPECT_EQ(f.cell, 500u);
}

TEST_F(EntryPopupTest, FiveDigitPopupMovesItsPoint) {
    TEnterForm2 form;
    EXPECT_EQ(form.size(), QSize(191, 40));
    Field amps(1, 99999, 5, 5, 12345, "A");
    form.SetIndicator(amps.ind.get());
    EXPECT_FALSE(form.PointLed(3)->isHidden());
    EXPECT_EQ(form.Seg(4)->x(), 42);
    EXPECT_EQ(form.PointLed(3)->x(), 34);
    Activate(form);
    EXPECT_EQ(Shown(form), "12345");
    Click(form.Seg(5));
    EXPECT_EQ(amps.ind->CursorPos(), 5);
    Deactivate(form);

    Field volts(1, 99999, 5, 4, 5000);
    form.SetIndicator(volts.ind.get());
    EXPECT_EQ(form.Seg(4)->x(), 34);
    EXPECT_EQ(form.PointLed(3)->x(), 56);
    EXPECT_FALSE(form.PointLed(3)->isHidden());

    Field temperature(1, 999, 3, 1, 25, "C");
    form.SetIndicator(temperature.ind.get());
    EXPECT_TRUE(form.PointLed(3)->isHidden());
    Activate(form);
    EXPECT_EQ(Shown(form), "__025");
    EXPECT_EQ(temperature.ind->CursorPos(), 3);
}

TEST_F(EntryPopupTest, DeactivationRemovesTheCursorAndKeepsThePopupOpen) {
    TEnterForm form;
    Field f(0, 9999, 4, 3, 500);
    Field other(0, 9999, 4, 3, 0);
    other.ind->SetEnabled(true);
    int deactivations = 0;
    form.OnDeactivate = [&](QObject* sender) {
        EXPECT_EQ(sender, &form);
        ++deactivations;
    };
    form.SetIndicator(f.ind.get());
    form.show();
    Activate(form);
    Deactivate(form);
    EXPECT_EQ(f.ind->CursorPos(), 0);
    EXPECT_EQ(deactivations, 1);
    // With its leave handler gone, another indicator taking the cursor leaves the pop-up be.
    other.ind->SetCursorPos(1);
    EXPECT_FALSE(form.isHidden());
}

TEST_F(EntryPopupTest, AnotherIndicatorTakingTheCursorClosesTheActivePopup) {
    TEnterForm form;
    Field f(0, 9999, 4, 3, 500);
    Field setVoltage(0, 9999, 4, 3, 0);
    setVoltage.ind->SetEnabled(true);
    form.SetIndicator(f.ind.get());
    form.show();
    Activate(form);
    setVoltage.ind->SetCursorPos(4);
    EXPECT_TRUE(form.isHidden());
    EXPECT_EQ(f.ind->CursorPos(), 0);
    EXPECT_EQ(TIndicator::Active(), setVoltage.ind.get());
}

TEST_F(EntryPopupTest, StepControlPlacesTheCursorThenSteps) {
    TEnterForm form;
    Field f(0, 9999, 4, 3, 500);
    form.SetIndicator(f.ind.get());
    TUpDownButtons* step = form.UpDown1();
    const QPoint upper(step->width() / 2, 5);
    const QPoint lower(step->width() / 2, step->height() - 5);
    Click(step, upper);
    EXPECT_EQ(f.ind->CursorPos(), 2);
    EXPECT_EQ(f.cell, 500u);
    Click(step, upper);
    EXPECT_EQ(f.cell, 510u);
    Click(step, lower);
    Click(step, lower);
    EXPECT_EQ(f.cell, 490u);
}

TEST_F(EntryPopupTest, WheelOverADigitStepsOncePerPause) {
    TEnterForm form;
    form.SetWheelPause(pause.get());
    Field f(0, 9999, 4, 3, 1234);
    form.SetIndicator(f.ind.get());
    Activate(form);
    Wheel(form, form.Seg(3), true);
    EXPECT_EQ(f.ind->CursorPos(), 3);
    EXPECT_EQ(f.cell, 1334u);
    EXPECT_TRUE(pause->Running());
    Wheel(form, form.Seg(3), true);
    EXPECT_EQ(f.cell, 1334u) << "a wheel turn during the pause is ignored";
    pauseTimer->Tick();
    EXPECT_FALSE(pause->Running());
    Wheel(form, form.Seg(1), false);
    EXPECT_EQ(f.ind->CursorPos(), 1);
    EXPECT_EQ(f.cell, 1333u);
    pauseTimer->Tick();
    // Over the label nothing happens and no pause starts.
    Wheel(form, form.Label1(), true);
    EXPECT_EQ(f.cell, 1333u);
    EXPECT_FALSE(pause->Running());
}

TEST_F(EntryPopupTest, WheelOverADisabledDigitFindsNoDigit) {
    TEnterForm form;
    form.SetWheelPause(pause.get());
    Field f(0, 9999, 4, 3, 1234);
    form.SetIndicator(f.ind.get());
    form.Seg(2)->setEnabled(false);
    Wheel(form, form.Seg(2), true);
    EXPECT_EQ(f.cell, 1234u);
    EXPECT_FALSE(pause->Running());
}

TEST_F(EntryPopupTest, PopupsLookLikeAPanel) {
    TEnterForm form;
    Field f(10, 5100, 4, 3, 1234);
    form.SetIndicator(f.ind.get());
    Activate(form);
    f.timer->Tick();  // the cursor digit in its bright phase
    const QImage four = form.grab().toImage();
    TEnterForm2 form2;
    Field g(1, 99999, 5, 4, 12345, "A");
    form2.SetIndicator(g.ind.get());
    Activate(form2);
    const QImage five = form2.grab().toImage();
    ASSERT_EQ(four.size(), QSize(185, 40));
    ASSERT_EQ(five.size(), QSize(191, 40));
    four.save("/tmp/indicator_enter_form.png");
    five.save("/tmp/indicator_enter_form2.png");
    four.scaled(four.size() * 4).save("/tmp/indicator_enter_form_x4.png");
    five.scaled(five.size() * 4).save("/tmp/indicator_enter_form2_x4.png");
    // Black ground, lit white segments, dark unlit ones, the point lit.
    EXPECT_EQ(four.pixelColor(2, 2), QColor(Qt::black));
    // "3" lights its top segment, "4" leaves it dark.
    EXPECT_EQ(four.pixelColor(form.Seg(2)->geometry().topLeft() + QPoint(8, 2)), QColor(Qt::white));
    EXPECT_EQ(four.pixelColor(form.Seg(1)->geometry().topLeft() + QPoint(8, 2)),
              QColor(0x20, 0x20, 0x20));
    const QPoint point = form.PointLed(2)->geometry().center();
    EXPECT_EQ(four.pixelColor(point), QColor(Qt::white));
}

}  // namespace
}  // namespace indicator_test
