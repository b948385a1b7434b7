// The input pieces around the indicator: the set panel's keys and clicks, the step buttons, the
// search for the control under the pointer, and the production timers.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "controls/control_at.h"
#include "controls/focused_panel.h"
#include "controls/indicator_input.h"
#include "controls/indicator_timer.h"
#include "controls/indicator_widgets.h"
#include "controls/panel_wheel.h"
#include "controls/seven_segment_display.h"
#include "controls/up_down_buttons.h"
#include "controls/wheel_pause.h"
#include "indicator_fakes.h"
#include "tests/support/event_loop.h"

namespace indicator_test {
namespace {

using IndicatorInputTest = IndicatorTest;

void Click(QWidget* w, QPoint pos) {
    const QPointF global = w->mapToGlobal(QPointF(pos));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), global, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

bool Key(QWidget& w, int key, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(&w, &press);
    return press.isAccepted();
}

TEST_F(IndicatorInputTest, SetPanelDrivesItsIndicatorFromKeysAndClicks) {
    Rig rig(10, 5100, 4, 3);
    rig.cell = 1200;
    rig.ind->SetEnabled(true);
    TLN_FocusedPanel panel;
    panel.resize(120, 60);
    int clicks = 0;
    panel.OnClick = [&](QObject*) {
        ++clicks;
        if (rig.ind->CursorPos() == 0) rig.ind->SetCursorPos(4);
    };
    panel.OnKeyDown = [&](QObject*, int key, Qt::KeyboardModifiers) {
        IndicatorKeyDown(rig.ind.get(), key);
    };
    panel.OnKeyPress = [&](QObject*, QChar ch) { IndicatorKeyPress(rig.ind.get(), ch); };

    Key(panel, Qt::Key_Up);
    EXPECT_EQ(rig.cell, 1200u) << "no cursor, no step";
    Click(&panel, QPoint(60, 30));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(rig.ind->CursorPos(), 4);
    EXPECT_EQ(panel.focusWidget(), &panel) << "a click gives the panel the keyboard focus";
    Key(panel, Qt::Key_Left);  // leftmost already: no wrap
    EXPECT_EQ(rig.ind->CursorPos(), 4);
    Key(panel, Qt::Key_3, "3");
    Key(panel, Qt::Key_Up);  // cursor now on 3: +100
    EXPECT_EQ(rig.cell, 3300u);
    Key(panel, Qt::Key_Right);
    Key(panel, Qt::Key_Right);
    Key(panel, Qt::Key_Right);
    EXPECT_EQ(rig.ind->CursorPos(), 1);
    Key(panel, Qt::Key_Down);
    EXPECT_EQ(rig.cell, 3299u);
}

TEST_F(IndicatorInputTest, SetPanelClaimsTheArrowKeys) {
    TLN_FocusedPanel panel;
    for (int key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}) {
        QKeyEvent override(QEvent::ShortcutOverride, key, Qt::NoModifier);
        override.ignore();
        QCoreApplication::sendEvent(&panel, &override);
        EXPECT_TRUE(override.isAccepted()) << key;
    }
    QKeyEvent tab(QEvent::ShortcutOverride, Qt::Key_Tab, Qt::NoModifier);
    tab.ignore();
    QCoreApplication::sendEvent(&panel, &tab);
    EXPECT_FALSE(tab.isAccepted());
}

TEST(KeyMappingTest, OnlyArrowsAndDigitsBelongToTheMapping) {
    EXPECT_TRUE(IndicatorKeyDown(nullptr, Qt::Key_Left));
    EXPECT_FALSE(IndicatorKeyDown(nullptr, Qt::Key_Return));
    EXPECT_FALSE(IndicatorKeyDown(nullptr, Qt::Key_Escape));
    EXPECT_TRUE(IndicatorKeyPress(nullptr, QLatin1Char('0')));
    EXPECT_TRUE(IndicatorKeyPress(nullptr, QLatin1Char('9')));
    EXPECT_FALSE(IndicatorKeyPress(nullptr, QLatin1Char('a')));
    EXPECT_FALSE(IndicatorKeyPress(nullptr, QLatin1Char('.')));
}

TEST(UpDownButtonsTest, HorizontalButtonsStepRightUpLeftDownWithinTheRange) {
    TUpDownButtons buttons(nullptr, udHorizontal);
    buttons.resize(40, 17);
    buttons.SetRange(0, 2);
    buttons.SetPosition(1);
    std::vector<std::pair<int32_t, TUpDownDirection>> seen;
    buttons.OnChangingEx = [&](QObject*, int32_t next, TUpDownDirection d) {
        seen.emplace_back(next, d);
    };
    int clicks = 0;
    buttons.OnClick = [&](QObject*) { ++clicks; };
    Click(&buttons, QPoint(35, 8));
    Click(&buttons, QPoint(35, 8));  // at the top of the range: still notified, held at 2
    Click(&buttons, QPoint(5, 8));
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, TUpDownDirection>>{
                        {2, updUp}, {2, updUp}, {1, updDown}}));
    EXPECT_EQ(buttons.Position(), 1);
    EXPECT_EQ(clicks, 3);
    buttons.setEnabled(false);
    buttons.Step(updUp);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(ControlAtTest, FindsTheInnermostEnabledVisibleControl) {
    QWidget window;
    window.resize(200, 100);
    auto* box = new QWidget(&window);
    box->setGeometry(10, 10, 100, 80);
    auto* inner = new QWidget(box);
    inner->setGeometry(20, 20, 30, 30);
    auto* hidden = new QWidget(box);
    hidden->setGeometry(60, 20, 30, 30);
    hidden->hide();
    EXPECT_EQ(EnabledControlAt(&window, QPoint(35, 35)), inner);
    EXPECT_EQ(EnabledControlAt(&window, QPoint(15, 15)), box);
    EXPECT_EQ(EnabledControlAt(&window, QPoint(80, 35)), box) << "hidden controls are skipped";
    EXPECT_EQ(EnabledControlAt(&window, QPoint(150, 50)), &window);
    box->setEnabled(false);
    EXPECT_EQ(EnabledControlAt(&window, QPoint(35, 35)), &window)
        << "a disabled container hides its children";
}

TEST(IndicatorTimerTest, ProductionTimerTicksThroughTheEventLoop) {
    TQtIndicatorTimer timer;
    int ticks = 0;
    timer.SetOnTick([&] { ++ticks; });
    timer.Start(1);
    EXPECT_TRUE(timer.Running());
    EXPECT_TRUE(testsupport::ProcessUntil([&] { return ticks >= 2; }, 1000));
    timer.Stop();
    EXPECT_FALSE(timer.Running());
}

TEST(IndicatorTimerTest, WheelPauseEndsByItself) {
    TWheelPause pause;
    EXPECT_FALSE(pause.Running());
    pause.Start();
    EXPECT_TRUE(pause.Running());
    EXPECT_TRUE(testsupport::ProcessUntil([&] { return !pause.Running(); }, 1000));
}

}  // namespace
}  // namespace indicator_test

namespace indicator_test {
namespace {

// A window with a set panel of four digits edited by `set` and one read-out digit shown by `out`.
struct MainPanel {
    MainPanel() : set(10, 5100, 4, 3), out(0, 10000, 4, 3) {
        window.resize(300, 100);
        panel = new TLN_FocusedPanel(&window);
        panel->setGeometry(10, 10, 120, 60);
        for (int i = 1; i <= 4; ++i) {
            seg[i] = new TdsSevenSegmentDisplay(panel);
            seg[i]->setGeometry(10 + (4 - i) * 25, 10, 17, 25);
            seg[i]->SetTag(i);
            set.ind->Digit[i] = IndicatorDigit(seg[i]);
        }
        readout = new TdsSevenSegmentDisplay(&window);
        readout->setGeometry(200, 10, 17, 25);
        out.ind->Digit[1] = IndicatorDigit(readout);
        set.cell = 1200;
        set.ind->SetEnabled(true);
        auto t = std::make_unique<FakeTimer>();
        pauseTimer = t.get();
        pause = std::make_unique<TWheelPause>(std::move(t));
    }
    void Wheel(QWidget* over, bool up) {
        const QPoint pos = over->mapTo(&window, over->rect().center());
        PanelMouseWheel(*pause, &window, pos, up, {set.ind.get(), out.ind.get()});
    }

    QWidget window;
    TLN_FocusedPanel* panel;
    std::array<TdsSevenSegmentDisplay*, 5> seg{};
    TdsSevenSegmentDisplay* readout;
    Rig set;
    Rig out;
    FakeTimer* pauseTimer;
    std::unique_ptr<TWheelPause> pause;
};

TEST_F(IndicatorInputTest, RapidWheelOverASetDigitStepsOncePerPause) {
    MainPanel m;
    m.Wheel(m.seg[2], true);
    m.Wheel(m.seg[2], true);
    m.Wheel(m.seg[2], true);
    EXPECT_EQ(m.set.cell, 1210u);
    EXPECT_EQ(m.set.ind->CursorPos(), 2);
    m.pauseTimer->Tick();
    m.Wheel(m.seg[4], false);
    EXPECT_EQ(m.set.cell, 210u);
    EXPECT_EQ(m.set.ind->CursorPos(), 4);
}

TEST_F(IndicatorInputTest, WheelOverAReadoutChangesNothingButPauses) {
    MainPanel m;
    m.Wheel(m.readout, true);
    EXPECT_EQ(m.set.cell, 1200u);
    EXPECT_EQ(m.set.ind->CursorPos(), 0);
    EXPECT_TRUE(m.pause->Running());
    m.pauseTimer->Tick();
    m.Wheel(m.panel, true);  // the panel between digits: also a pause, no step
    EXPECT_TRUE(m.pause->Running());
    EXPECT_EQ(m.set.cell, 1200u);
}

TEST_F(IndicatorInputTest, CursorButtonsPlaceThenMoveWithWrap) {
    Rig rig;
    rig.ind->SetEnabled(true);
    IndicatorCursorButton(rig.ind.get(), true);
    EXPECT_EQ(rig.ind->CursorPos(), 2);
    IndicatorCursorButton(rig.ind.get(), true);
    IndicatorCursorButton(rig.ind.get(), true);
    EXPECT_EQ(rig.ind->CursorPos(), 4);
    IndicatorCursorButton(rig.ind.get(), false);
    EXPECT_EQ(rig.ind->CursorPos(), 1);
}

}  // namespace
}  // namespace indicator_test
