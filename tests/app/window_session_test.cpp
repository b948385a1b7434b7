// The main window against the virtual supply: connecting, live readings, set values from the
// knobs and the digits, switching the output, loss of the connection.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <map>

#include "app/connection_panel.h"
#include "app/output_panel.h"
#include "app/preset_bar.h"
#include "app/segment_readout.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/focused_panel.h"
#include "controls/indicator.h"
#include "controls/knob.h"
#include "controls/led.h"
#include "controls/seven_segment_display.h"
#include "link/com_port_connector.h"
#include "link/modbus_master.h"
#include "maintenance/firmware_dialog.h"
#include "maintenance/firmware_update_page.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"
#include "tests/support/event_loop.h"

using apptest::TWindowHarness;

namespace {

// The digits a read-out shows, leftmost first; blanks as ' '.
QString DigitsOf(TSegmentReadout* AReadout) {
    QString text;
    for (int pos = AReadout->DigitCount(); pos >= 1; --pos) {
        const uint32_t code = AReadout->Seg(pos)->Value();
        text += code <= 9 ? QChar('0' + static_cast<int>(code)) : QChar(' ');
    }
    return text;
}

void Key(QWidget* AWidget, int AKey, const QString& AText = QString()) {
    QKeyEvent press(QEvent::KeyPress, AKey, Qt::NoModifier, AText);
    QApplication::sendEvent(AWidget, &press);
}

// Everything a user can see of every widget in the window, keyed by its place in the tree: shown,
// enabled, texts, check states, lamps, captions and the style properties the look depends on.
std::map<std::string, std::string> WindowLook(QWidget* AWindow) {
    std::map<std::string, std::string> look;
    std::function<void(QWidget*, const QString&)> walk = [&](QWidget* AWidget,
                                                             const QString& APath) {
        QString s = QString("shown=%1").arg(AWidget->isVisibleTo(AWindow));
        // What a hidden widget holds is not seen.
        if (AWidget->isVisibleTo(AWindow)) {
            s += QString(" enabled=%1").arg(AWidget->isEnabled());
            // A style property not set yet reads as false.
            for (const QByteArray& name : AWidget->dynamicPropertyNames()) {
                const QString value = AWidget->property(name).toString();
                if (!name.startsWith("_q_") && !value.isEmpty() && value != "false")
                    s += " " + QString::fromLatin1(name) + "=" + value;
            }
            if (auto* b = qobject_cast<QAbstractButton*>(AWidget))
                s += QString(" text=%1 checked=%2").arg(b->text()).arg(b->isChecked());
            if (auto* l = qobject_cast<QLabel*>(AWidget)) s += " text=" + l->text();
            if (auto* e = qobject_cast<QLineEdit*>(AWidget)) s += " text=" + e->text();
            if (auto* p = qobject_cast<QProgressBar*>(AWidget))
                s += " value=" + QString::number(p->value());
            if (auto* c = dynamic_cast<TCategoryPanel*>(AWidget))
                s += QString(" caption=%1 expanded=%2").arg(c->Caption()).arg(c->Expanded());
            if (auto* led = dynamic_cast<TdsLed*>(AWidget))
                s += QString(" lit=%1").arg(led->LedOn());
        }
        look[APath.toStdString()] = s.toStdString();
        int index = 0;
        for (QObject* child : AWidget->children()) {
            if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow())
                walk(w, APath + "/" +
                            (w->objectName().isEmpty() ? w->metaObject()->className()
                                                       : w->objectName()) +
                            "#" + QString::number(index++));
        }
    };
    walk(AWindow, AWindow->objectName());
    return look;
}

// Expects every widget to look as it did in AIdle, except the link chosen (port, address and
// the lists and the firmware button that follow the port), the traffic lamp, which stays red
// after a loss, and the link figures, which stay readable after the session.
void ExpectIdleLook(TWindowHarness& AHarness, const std::map<std::string, std::string>& AIdle) {
    QApplication::processEvents();
    const auto now = WindowLook(AHarness.form.get());
    for (const auto& [path, look] : AIdle) {
        bool link = false;
        for (const char* name :
             {"IpMaskEdit", "ComPortComboBox", "BaudComboBox", "SlaveAddrComboBox", "TrafficLed",
              "FirmwareBtn", "LinkFiguresLabel"})
            link = link || path.find(name) != std::string::npos;
        const auto it = now.find(path);
        if (link || it == now.end()) continue;  // or created while connected
        EXPECT_EQ(it->second, look) << path;
    }
}

}  // namespace

TEST(WindowSession, EveryWidgetLooksIdleAgainAfterDisconnectAndAfterALoss) {
    // Output on, the preset's SF/OVP/OCP badges shown, then the Disconnect button; a KORAD
    // unit (its input-voltage panel hidden), then a loss.
    for (const bool korad : {false, true}) {
        SCOPED_TRACE(korad ? "KORAD, connection lost" : "DPS, disconnected");
        TWindowHarness h;
        VirtualSupplyOptions opt;
        if (korad) opt.identity.variant = SimVariant::korad;
        ASSERT_TRUE(h.StartSupply(opt));
        h.supply->SetRegister(simreg::kPresetBase + simreg::P_PRFS, 7);
        h.supply->SetOutput(true);
        h.form->show();
        const auto idle = WindowLook(h.form.get());
        ASSERT_TRUE(h.Connect());
        h.form->PresetCategory()->Header()->click();
        ASSERT_TRUE(h.WaitFor([&] { return h.form->PresetCategory()->Caption() == "M0 Profile"; }));
        ASSERT_TRUE(h.WaitPolls(4));
        if (korad) {
            h.supply->ReleaseKeyLock();
            ASSERT_TRUE(h.WaitFor([&] { return !h.form->Session().Connected(); }));
        } else {
            h.form->ConnectionPanel()->DisconnectBtn()->click();
        }
        ExpectIdleLook(h, idle);
    }
}

TEST(WindowSession, StartsIdleWithTheProgramTitle) {
    TWindowHarness h;
    h.form->show();
    EXPECT_EQ(h.form->windowTitle(), "Benchlord");
    EXPECT_EQ(h.form->size(), QSize(880, 512));
    TConnectionPanel* c = h.form->ConnectionPanel();
    EXPECT_TRUE(c->ConnectBtn()->isEnabled());
    EXPECT_FALSE(c->DisconnectBtn()->isEnabled());
    EXPECT_FALSE(h.form->OutputPanel()->OnOffBtn()->isEnabled());
    EXPECT_FALSE(h.form->SetPanel()->UKnob()->isEnabled());
    EXPECT_EQ(c->ComPortComboBox()->itemText(0).trimmed(), "TCP");
    EXPECT_TRUE(h.presenter.errors.isEmpty());
}

TEST(WindowSession, ConnectShowsIdentifiedTitleAndLiveReadings) {
    TWindowHarness h;
    VirtualSupplyOptions opt;
    opt.loadOhms = 10.0;
    ASSERT_TRUE(h.StartSupply(opt));
    h.supply->SetRegister(simreg::USET, 500);
    h.supply->SetRegister(simreg::ISET, 100);
    h.supply->SetOutput(true);
    ASSERT_TRUE(h.Connect()) << h.presenter.errors.join("|").toStdString();
    EXPECT_EQ(h.form->windowTitle(), "DPS5015 ver. 4.6T");
    // The desktop shows the title as it is: with an application display name set, the platform
    // would append " — " and that name to every window title.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    // 5.00 V into 10 ohm: 0.50 A.
    TOutputPanel* out = h.form->OutputPanel();
    ASSERT_TRUE(h.WaitFor([&] { return out->CVLed()->LedOn(); }));
    EXPECT_EQ(DigitsOf(out->UoutReadout()), " 500");
    EXPECT_EQ(DigitsOf(out->IoutReadout()), " 050");
    EXPECT_EQ(DigitsOf(h.form->SetPanel()->UsetReadout()), " 500");
    EXPECT_FALSE(out->CCLed()->LedOn());
    EXPECT_TRUE(out->KeysLocked()->isVisibleTo(h.form.get()));
    EXPECT_TRUE(h.form->ConnectionPanel()->OnlineLed()->LedOn());
    EXPECT_EQ(h.form->SetPanel()->PowerLabel()->text(), "Power 5.00 W");
    EXPECT_FALSE(h.form->ConnectionPanel()->ConnectBtn()->isEnabled());
    EXPECT_TRUE(h.form->ConnectionPanel()->DisconnectBtn()->isEnabled());
}

TEST(WindowSession, KnobTurnReachesTheSupply) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetRegister(simreg::USET, 500);
    h.supply->SetRegister(simreg::ISET, 100);
    ASSERT_TRUE(h.Connect());
    TLN_Knob* knob = h.form->SetPanel()->UKnob();
    ASSERT_TRUE(knob->isEnabled());  // output off: the knobs are usable
    knob->SetPosition(734);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 734; }));
    EXPECT_EQ(DigitsOf(h.form->SetPanel()->UsetReadout()), " 734");
    // Both knobs step by the knob's large step of 10 with Shift and Page Up / Page Down.
    for (TLN_Knob* k : {knob, h.form->SetPanel()->IKnob()}) {
        const int start = k->Position();
        QKeyEvent shiftUp(QEvent::KeyPress, Qt::Key_Up, Qt::ShiftModifier);
        QApplication::sendEvent(k, &shiftUp);
        EXPECT_EQ(k->Position(), start + 10);
        Key(k, Qt::Key_PageDown);
        Key(k, Qt::Key_PageDown);
        EXPECT_EQ(k->Position(), start - 10);
    }
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 724; }));
}

TEST(WindowSession, TypedDigitReachesTheSupply) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetRegister(simreg::USET, 500);
    h.supply->SetRegister(simreg::ISET, 100);
    ASSERT_TRUE(h.Connect());
    TSetPanel* set = h.form->SetPanel();
    // A click on the tens digit of the set voltage puts the cursor there; typing 2 gives 5.20 V.
    apptest::Click(set->UsetReadout()->Seg(2));
    EXPECT_EQ(set->UsetInd().CursorPos(), 2);
    Key(set->UsetPanel(), Qt::Key_2, "2");
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 520; }));
    EXPECT_EQ(set->UKnob()->Position(), 520);
    // Up arrow on the cursor digit (now the units digit): 5.21 V.
    Key(set->UsetPanel(), Qt::Key_Up);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 521; }));
}

TEST(WindowSession, OnOffButtonSwitchesTheOutput) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.Connect());
    QPushButton* onOff = h.form->OutputPanel()->OnOffBtn();
    ASSERT_TRUE(onOff->isEnabled());
    onOff->click();
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 1; }));
    EXPECT_TRUE(onOff->property("on").toBool());
    // While the output is on the knobs are locked until "Unlock SET".
    QPushButton* lock = h.form->SetPanel()->SetLockBtn();
    EXPECT_FALSE(h.form->SetPanel()->UKnob()->isEnabled());
    EXPECT_TRUE(lock->isEnabled());
    EXPECT_EQ(lock->text(), "Unlock SET");
    lock->click();
    EXPECT_TRUE(h.form->SetPanel()->UKnob()->isEnabled());
    EXPECT_EQ(lock->text(), "Lock SET");
    onOff->click();
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 0; }));
    EXPECT_FALSE(onOff->property("on").toBool());
}

TEST(WindowSession, LostConnectionShowsTheMessageAndDisconnects) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.Connect());
    h.supply->ReleaseKeyLock();  // the user unlocks the keys at the device
    ASSERT_TRUE(h.WaitFor([&] { return !h.presenter.errors.isEmpty(); }));
    EXPECT_EQ(h.presenter.errors.front(), "Connection lost !!!");
    ASSERT_TRUE(h.WaitFor([&] { return !h.form->Session().Connected(); }));
    EXPECT_EQ(h.form->windowTitle(), "Benchlord");
    EXPECT_TRUE(h.form->ConnectionPanel()->ConnectBtn()->isEnabled());
    EXPECT_FALSE(h.form->OutputPanel()->OnOffBtn()->isEnabled());
    EXPECT_FALSE(h.form->ConnectionPanel()->OnlineLed()->LedOn());
}

TEST(WindowSession, UnreachableBridgeShowsTheMessage) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    const uint16_t port = h.supply->TcpPort();
    h.supply.reset();  // nothing listens there any more
    h.form->show();
    h.form->ConnectLoopback(port);
    ASSERT_EQ(h.presenter.errors.size(), 1);
    EXPECT_EQ(h.presenter.errors.front(),
              "The TCP server at 127.0.0.1 does not replay!\rPlease check  the TCP IP address.");
    EXPECT_TRUE(h.form->ConnectionPanel()->ConnectBtn()->isEnabled());
}

TEST(WindowSession, DisconnectButtonReleasesTheKeys) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.Connect());
    ASSERT_EQ(h.supply->Register(simreg::LOCK), 1);
    h.supply->ClearWrites();
    h.form->ConnectionPanel()->DisconnectBtn()->click();
    EXPECT_FALSE(h.form->Session().Connected());
    // The release has left the program; the supply applies it on its own thread.
    ASSERT_TRUE(h.supply->WaitForWrite(simreg::LOCK, std::chrono::milliseconds(1000)));
    EXPECT_EQ(h.supply->Register(simreg::LOCK), 0);
    EXPECT_EQ(h.form->windowTitle(), "Benchlord");
}

TEST(WindowSession, FirmwareWindowSaysWhatItDoesWithAndWithoutASession) {
    TWindowHarness h;
    VirtualSupplyOptions opt;
    opt.pty = true;
    ASSERT_TRUE(h.StartSupply(opt));
    TConnectionPanel* c = h.form->ConnectionPanel();
    EXPECT_EQ(c->FirmwareBtn()->text(), "Firmware update");
    ASSERT_TRUE(h.ConnectSerial());
    // It opens the update page on the selected port; the file can be chosen there, and a line
    // says what the update will do.
    auto open = [&] {
        QString purpose;
        bool offered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = h.form->findChild<TFirmwareDialog*>("FirmwareDialog");
            ASSERT_NE(dialog, nullptr);
            offered = dialog->Page()->OpenFileBtn->isEnabled();
            purpose = dialog->Purpose()->text();
            dialog->reject();
        });
        c->FirmwareBtn()->click();
        EXPECT_TRUE(offered);
        return purpose;
    };
    ASSERT_TRUE(c->FirmwareBtn()->isEnabled()) << "a running supply is updated through the session";
    EXPECT_TRUE(open().startsWith("The connected supply is updated through its session"));
    c->DisconnectBtn()->click();
    ASSERT_TRUE(c->FirmwareBtn()->isEnabled());
    EXPECT_TRUE(
        open().startsWith("Not connected: this finishes an update on a supply that waits "
                          "in its boot loader"));

    // Connect to a supply that waits in its boot loader: one box that says so, and behind it
    // the window plainly disconnected, with the update offered.
    h.supply->EnterBootloader();
    c->ConnectBtn()->click();
    ASSERT_TRUE(h.WaitFor([&] { return !h.presenter.errors.isEmpty(); }));
    EXPECT_TRUE(
        h.presenter.errors.last().startsWith("The supply did not answer the identification: "))
        << h.presenter.errors.last().toStdString();
    EXPECT_FALSE(h.form->Session().Connected());
    EXPECT_TRUE(c->ConnectBtn()->isEnabled());
    EXPECT_FALSE(c->DisconnectBtn()->isEnabled());
    EXPECT_TRUE(c->FirmwareBtn()->isEnabled());
    EXPECT_TRUE(h.form->Session().LinkFigures().Ended);
}

TEST(WindowSession, AutoconnectToASilentDeviceWaitsForItWithoutABox) {
    TWindowHarness h;
    VirtualSupplyOptions opt;
    opt.pty = true;
    ASSERT_TRUE(h.StartSupply(opt));
    ASSERT_TRUE(h.ConnectSerial());  // remembers the port
    h.form->ConnectionPanel()->DisconnectBtn()->click();
    SimFaults silent;
    silent.dropEvery = 1;  // the device stays silent
    h.supply->SetFaults(silent);
    // Each attempt times out well within the shortened retry interval of 60 ms.
    h.form->Session().COMPortConnector().SetWriteTimeout(10);
    h.form->Session().COMPortConnector().SetReadTimeout(10);
    h.form->ConnectionPanel()->AutoConnectSwitch()->click();
    // Attempt after attempt reaches the supply; none of them shows a box or ends autoconnect.
    ASSERT_TRUE(h.WaitPolls(3));
    EXPECT_TRUE(h.presenter.errors.isEmpty()) << h.presenter.errors.join("|").toStdString();
    EXPECT_TRUE(h.form->ConnectionPanel()->AutoConnectSwitch()->isChecked());
    // The supply answers again: the session starts by itself.
    h.supply->SetFaults({});
    ASSERT_TRUE(h.WaitFor([&] { return h.form->Session().Connected(); }, 3000));
}

TEST(WindowSession, AutoconnectBringsTheBenchBackWhenTheSupplyAnswersAgain) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    const uint16_t port = h.supply->TcpPort();
    ASSERT_TRUE(h.Connect());
    h.form->ConnectionPanel()->AutoConnectSwitch()->click();
    h.form->OutputPanel()->OnOffBtn()->click();
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::ONOFF) == 1; }));
    const auto restart = [&] {
        VirtualSupplyOptions same;
        same.tcpPort = port;
        return h.StartSupply(same);
    };
    const auto connected = [&] { return h.form->Session().Connected(); };
    // Readings of the session are in its history before the supply goes away.
    const auto readings = [&] {
        const uint64_t next = h.form->Session().LastReading().Number + 3;
        return h.WaitFor([&] { return h.form->Session().LastReading().Number >= next; });
    };
    ASSERT_TRUE(readings());
    TOutputPanel* out = h.form->OutputPanel();
    // First the supply comes back while "Connection lost !!!" is still open.
    bool staleBehindBox = true, backInsideBox = false;
    h.presenter.onError = [&](const QString&) {
        staleBehindBox = out->OnOffBtn()->isEnabled() || out->OnOffBtn()->property("on").toBool() ||
                         h.form->ConnectionPanel()->OnlineLed()->LedOn() ||
                         DigitsOf(out->UoutReadout()).trimmed().toInt() != 0;
        if (!restart()) return;
        backInsideBox = h.WaitFor(connected, 3000);
    };
    h.supply.reset();
    ASSERT_TRUE(h.WaitFor([&] { return !h.presenter.errors.isEmpty(); }));
    EXPECT_FALSE(staleBehindBox);
    EXPECT_TRUE(backInsideBox);
    ASSERT_EQ(h.presenter.retexts.size(), 1);
    EXPECT_TRUE(
        h.presenter.retexts[0].startsWith("Connection lost !!!\rReconnected automatically at "));
    // Then with the box closed at once, and the supply away for many retry intervals.
    h.presenter.onError = nullptr;
    ASSERT_TRUE(readings());
    h.supply.reset();
    ASSERT_TRUE(h.WaitFor([&] { return h.presenter.errors.size() == 2; }));
    testsupport::ProcessFor(300);
    EXPECT_FALSE(connected());
    ASSERT_TRUE(restart());
    EXPECT_TRUE(h.WaitFor(connected, 3000));
    EXPECT_EQ(h.presenter.errors, QStringList({"Connection lost !!!", "Connection lost !!!"}));
    int gaps = 0;
    for (const THistoryMark& mark : h.form->Session().History().Marks())
        gaps += mark.Kind == hmGap;
    EXPECT_EQ(gaps, 2);
    EXPECT_TRUE(h.form->ConnectionPanel()->AutoConnectSwitch()->isChecked());
    h.form->close();
    EXPECT_EQ(h.settings.ReadInteger("Autoconnect"), 1);
}
