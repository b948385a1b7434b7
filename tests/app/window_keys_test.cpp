// The window from the keyboard alone, against the virtual supply.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/connection_panel.h"
#include "app/output_panel.h"
#include "app/preset_bar.h"
#include "app/set_panel.h"
#include "controls/focus_frame.h"
#include "controls/focused_panel.h"
#include "controls/indicator.h"
#include "controls/knob.h"
#include "link/tcp_connector.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"

using namespace apptest;

namespace {

// A key as the window system delivers it: shortcuts first, then the focused control.
void Key(TMainForm& AForm, int AKey, Qt::KeyboardModifiers AModifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &AForm;
    QTest::keyClick(target, static_cast<Qt::Key>(AKey), AModifiers);
}

}  // namespace

TEST(WindowKeys, TheKeyboardAloneConnectsSetsValuesChoosesPresetsAndSwitchesTheOutput) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    TMainForm& f = *h.form;
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    // The link is chosen (TCP to the supply), not yet dialled.
    f.Session().TCPConnector().SetPort(h.supply->TcpPort());
    f.Session().ComPortComboBoxSelect(0);
    f.ConnectionPanel()->ComPortComboBox()->setCurrentIndex(0);
    f.ShowIpText(QStringLiteral("127.000.000.001"));
    f.Session().IpMaskEditChange(QStringLiteral("127.000.000.001"));

    Key(f, Qt::Key_F5);
    ASSERT_TRUE(h.WaitFor([&] { return f.Session().Connected(); }));
    ASSERT_TRUE(h.WaitPolls(2));

    // Tab from the set-voltage display reaches the voltage knob, framed; its arrows set the
    // supply's voltage.
    f.SetPanel()->UsetPanel()->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(f.FocusFrame()->Framed(), nullptr) << "a mouse focus shows no frame";
    Key(f, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), f.SetPanel()->UKnob());
    EXPECT_EQ(f.FocusFrame()->Framed(), f.SetPanel()->UKnob());
    const QRect frame = f.FocusFrame()->geometry();
    const QRect knob(f.SetPanel()->UKnob()->mapTo(&f, QPoint(0, 0)), f.SetPanel()->UKnob()->size());
    EXPECT_TRUE(frame.contains(knob) && frame != knob) << "the frame lies round the knob";
    const uint16_t uset = h.supply->Register(simreg::USET);
    for (int k = 0; k < 5; ++k)
        Key(f, Qt::Key_Up);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == uset + 5; }))
        << h.supply->Register(simreg::USET);

    // Shift+Tab goes back to the set-voltage display, framed; digits typed there set 12.34 V and
    // Return ends the editing.
    Key(f, Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), f.SetPanel()->UsetPanel());
    EXPECT_EQ(f.FocusFrame()->Framed(), f.SetPanel()->UsetPanel());
    QTest::keyClicks(f.SetPanel()->UsetPanel(), QStringLiteral("1234"));
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 1234; }))
        << h.supply->Register(simreg::USET);
    Key(f, Qt::Key_Return);
    EXPECT_EQ(f.SetPanel()->UsetInd().CursorPos(), 0);
    // Down starts the cursor again on the leftmost digit and steps it: 2.34 V.
    Key(f, Qt::Key_Down);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 234; }))
        << h.supply->Register(simreg::USET);
    Key(f, Qt::Key_Escape);
    Key(f, Qt::Key_Tab);
    // A click that moves the focus on indirectly (the control that had it goes away) shows no
    // frame, whatever reason the focus change carries.
    QTest::mouseClick(&f, Qt::LeftButton, {}, QPoint(2, 2));
    f.SetPanel()->UsetPanel()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(f.FocusFrame()->Framed(), nullptr);

    // Alt+3 recalls M3.
    Key(f, Qt::Key_3, Qt::AltModifier);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::MEM) == 3; }));
    EXPECT_TRUE(f.PresetBar()->Button(3)->isChecked());

    // Ctrl+O alone leaves the output alone; Ctrl+Shift+O switches it.
    Key(f, Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(h.WaitPolls(3));
    EXPECT_EQ(h.supply->Register(simreg::ONOFF), 0);
    Key(f, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 1; }));
    ASSERT_TRUE(h.WaitFor([&] { return !f.SetPanel()->UKnob()->isEnabled(); }));

    // With the output on, Ctrl+L frees the knobs and the arrows reach the supply again.
    Key(f, Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(f.SetPanel()->UKnob()->isEnabled());
    f.SetPanel()->UKnob()->setFocus(Qt::TabFocusReason);
    const uint16_t usetOn = h.supply->Register(simreg::USET);
    Key(f, Qt::Key_Down);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == usetOn - 1; }));

    Key(f, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }));
    Key(f, Qt::Key_F5);
    ASSERT_TRUE(h.WaitFor([&] { return !f.Session().Connected(); }));
}

TEST(WindowKeys, TabReachesEveryControlAndDisabledButtonsSayWhy) {
    TWindowHarness h;
    TMainForm& f = *h.form;
    f.show();
    // Every visible, enabled control that takes the focus is one Tab stop, and the walk round
    // comes back where it began.
    QList<QWidget*> visited;
    QWidget* start = f.SetPanel()->UsetPanel();
    QWidget* w = start;
    do {
        visited.append(w);
        w = w->nextInFocusChain();
        while (w != start && !(w->isVisibleTo(&f) && w->isEnabled() &&
                               (w->focusPolicy() & Qt::TabFocus) && w->window() == &f))
            w = w->nextInFocusChain();
    } while (w != start && visited.size() < 500);
    // The order, disabled stops included: the set values and the output first.
    QStringList order;
    for (QWidget* c = start; order.size() < 7; c = c->nextInFocusChain()) {
        if ((c->focusPolicy() & Qt::TabFocus) && c->window() == &f) order << c->objectName();
    }
    EXPECT_EQ(order.join(' ').toStdString(),
              "UsetPanel U_Knob IsetPanel I_Knob SetLockBtn OnOffBtn ResetCountersButton");
    for (QWidget* c : f.findChildren<QWidget*>()) {
        if (c->window() == &f && c->isVisibleTo(&f) && c->isEnabled() &&
            (c->focusPolicy() & Qt::TabFocus)) {
            EXPECT_TRUE(visited.contains(c)) << c->objectName().toStdString();
        }
    }
    // Idle: the disabled buttons name what they wait for.
    EXPECT_TRUE(f.OutputPanel()->OnOffBtn()->toolTip().contains("needs a connection"));
    EXPECT_TRUE(f.PresetBar()->Button(2)->toolTip().contains(
        "Presets need a connection and the output off"));
}
