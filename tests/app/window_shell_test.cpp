// Start-up and shut-down of the window, the side bar, message boxes, the general error report and
// the command line.

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <stdexcept>
#include <string>

#include "app/app_options.h"
#include "app/benchlord_application.h"
#include "app/busy_indicator.h"
#include "app/close_on_signals.h"
#include "app/connection_panel.h"
#include "app/demo_supply.h"
#include "app/edit_box.h"
#include "app/output_panel.h"
#include "app/param_panel.h"
#include "app/preset_panel.h"
#include "app/segment_readout.h"
#include "app/set_panel.h"
#include "app/side_bar.h"
#include "controls/enter_form.h"
#include "controls/indicator.h"
#include "controls/knob.h"
#include "controls/seven_segment_display.h"
#include "controls/up_down_buttons.h"
#include "link/modbus_master.h"
#include "link/tcp_connector.h"
#include "sim/sim_device.h"
#include "tests/app/window_harness.h"

using apptest::TRecordingPresenter;
using apptest::TWindowHarness;

namespace {

// Points XDG_CONFIG_HOME at a temporary folder for the life of the object.
class TConfigHome {
public:
    TConfigHome() : fOld(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", fDir.path().toLocal8Bit());
    }
    ~TConfigHome() {
        if (fOld.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", fOld);
    }
    QString Path() const { return fDir.path(); }

private:
    QTemporaryDir fDir;
    QByteArray fOld;
};

// An object whose every event handler fails.
class TThrowingObject : public QObject {
public:
    bool event(QEvent*) override { throw std::runtime_error("Cannot open file \"log.txt\""); }
};

}  // namespace

TEST(WindowShell, CloseReleasesTheKeysAndWritesTheSettings) {
    TConfigHome home;
    TWindowHarness h(apptest::WithOwnSettings());
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.Connect());
    h.form->ConnectionPanel()->AutoConnectSwitch()->click();
    h.supply->ClearWrites();
    h.form->close();
    EXPECT_FALSE(h.form->Session().Connected());
    ASSERT_TRUE(h.supply->WaitForWrite(simreg::LOCK, std::chrono::milliseconds(1000)));
    EXPECT_EQ(h.supply->Register(simreg::LOCK), 0);

    const TSettingsStore store;
    ASSERT_TRUE(store.FilePath().startsWith(home.Path()));
    ASSERT_TRUE(QFile::exists(store.FilePath()));
    EXPECT_EQ(store.ReadString("PORT"), "TCP");
    EXPECT_EQ(store.ReadInteger("TCP"), 0x0100007F);  // 127.0.0.1, first octet lowest
    EXPECT_EQ(store.ReadInteger("Autoconnect"), 1);
    EXPECT_EQ(store.ReadInteger("BAUDRATE"), 2);
    EXPECT_EQ(store.ReadInteger("MBADDR"), 0);
    EXPECT_TRUE(store.ValueExists("UnDown"));
    EXPECT_TRUE(store.ValueExists("RCNT"));
    EXPECT_TRUE(store.ValueExists("CLR1"));
}

TEST(WindowShell, TerminationSignalsCloseTheWindowAsTheUserWould) {
    // Ctrl-C in the terminal, a kill, the terminal closed: keys released, settings written.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        TConfigHome home;
        TWindowHarness h(apptest::WithOwnSettings());
        ASSERT_TRUE(h.StartSupply());
        ASSERT_TRUE(h.Connect());
        h.form->ConnectionPanel()->AutoConnectSwitch()->click();
        const auto closeOnSignals = CloseOnSignals(*h.form);
        h.supply->ClearWrites();
        ASSERT_EQ(raise(signal), 0);
        ASSERT_TRUE(h.WaitFor([&] { return !h.form->isVisible(); }));
        EXPECT_FALSE(h.form->Session().Connected());
        ASSERT_TRUE(h.supply->WaitForWrite(simreg::LOCK, std::chrono::milliseconds(1000)));
        EXPECT_EQ(h.supply->Register(simreg::LOCK), 0);
        EXPECT_EQ(TSettingsStore().ReadInteger("Autoconnect"), 1);
    }
}

TEST(WindowShell, ASignalClosesTheWindowThroughTheBoxesShownAtItsStart) {
    TConfigHome home;
    TWindowHarness h(apptest::WithOwnSettings());
    h.form->show();
    const auto closeOnSignals = CloseOnSignals(*h.form);
    int shown = 0;
    int leftOpen = 0;
    // Two notices in a row, as the start may queue them; the signal comes during the first.
    QTimer::singleShot(0, h.form.get(), [&] {
        for (int i = 0; i < 2; ++i) {
            QMessageBox box(QMessageBox::Critical, "Benchlord", "notice", QMessageBox::Ok,
                            h.form.get());
            if (i == 0) QTimer::singleShot(0, [] { raise(SIGTERM); });
            // A box nobody closes is closed here after a while, so a failure cannot hang.
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, &box, [&] {
                ++leftOpen;
                box.close();
            });
            guard.start(3000);
            ++shown;
            box.exec();
        }
    });
    ASSERT_TRUE(h.WaitFor(
        [&] { return shown == 2 && !QApplication::activeModalWidget() && !h.form->isVisible(); }));
    EXPECT_EQ(leftOpen, 0);
}

TEST(WindowShell, FirstRunStartsWithDefaultsAndRestoresThemNextTime) {
    TConfigHome home;
    {
        TWindowHarness h(apptest::WithOwnSettings());
        h.form->show();
        TConnectionPanel* c = h.form->ConnectionPanel();
        EXPECT_EQ(c->BaudComboBox()->currentText(), "9600");
        EXPECT_EQ(c->SlaveAddrComboBox()->currentText(), "1");
        EXPECT_EQ(c->IpMaskEdit()->text(), "192.168.001.001");
        EXPECT_FALSE(c->AutoConnectSwitch()->isChecked());
        EXPECT_FALSE(h.form->CursorButtonsShown());
        // The user picks 57600 baud, address 5 and shows the cursor buttons.
        c->BaudComboBox()->setCurrentIndex(5);
        emit c->BaudComboBox()->activated(5);
        c->SlaveAddrComboBox()->setCurrentIndex(4);
        emit c->SlaveAddrComboBox()->activated(4);
        h.form->UpDownCheckBoxClick(true);
        h.form->close();
    }
    TWindowHarness h(apptest::WithOwnSettings());
    h.form->show();
    EXPECT_EQ(h.form->ConnectionPanel()->BaudComboBox()->currentText(), "57600");
    EXPECT_EQ(h.form->ConnectionPanel()->SlaveAddrComboBox()->currentText(), "5");
    EXPECT_TRUE(h.form->CursorButtonsShown());
    EXPECT_TRUE(h.form->ParamPanel()->ShowCursorButtons()->isChecked());
    EXPECT_TRUE(h.form->SetPanel()->UpDown2()->isVisibleTo(h.form.get()));
}

TEST(WindowShell, AtMostOneSidePanelIsOpenAndOpeningOneHidesThePopup) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.Connect());
    TSideBar* bar = h.form->SideBar();
    EXPECT_TRUE(h.form->ConnectionCategory()->Expanded());
    h.form->PresetCategory()->Header()->click();
    EXPECT_TRUE(h.form->PresetCategory()->Expanded());
    EXPECT_FALSE(h.form->ConnectionCategory()->Expanded());
    // Open the entry pop-up over the OPP field, then open another panel: the pop-up goes.
    h.form->EditClick(h.form->PresetPanel()->Edit(TPresetPanel::etOpp));
    ASSERT_TRUE(h.popup->isVisible());
    EXPECT_EQ(h.popup->Indicator(), h.form->EditIndicator(TPresetPanel::etOpp));
    h.form->ParamCategory()->Header()->click();
    EXPECT_FALSE(h.popup->isVisible());
    int open = 0;
    for (TCategoryPanel* panel : bar->Panels())
        open += panel->Expanded() ? 1 : 0;
    EXPECT_EQ(open, 1);
    // A click on the open header closes it; with all closed the session soon opens "Connection".
    h.form->ParamCategory()->Header()->click();
    EXPECT_TRUE(bar->AllCollapsed());
    EXPECT_TRUE(h.WaitFor([&] { return h.form->ConnectionCategory()->Expanded(); }));
}

TEST(WindowShell, EntryPopupOpensOnlyWhileConnectedWithTheOutputOff) {
    TWindowHarness h;
    h.form->show();
    TEditBox* ovp = h.form->PresetPanel()->Edit(TPresetPanel::etOvp);
    h.form->EditClick(ovp);
    EXPECT_FALSE(h.popup->isVisible());  // not connected
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetOutput(true);
    ASSERT_TRUE(h.Connect());
    h.form->EditClick(ovp);
    EXPECT_FALSE(h.popup->isVisible());  // output on
}

TEST(WindowShell, WheelOverASetDigitStepsIt) {
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.supply->SetRegister(simreg::USET, 500);
    ASSERT_TRUE(h.Connect());
    // The wheel reaches the window, which finds the digit under the pointer.
    TdsSevenSegmentDisplay* hundreds = h.form->SetPanel()->UsetReadout()->Seg(3);
    const QPoint at = hundreds->mapTo(h.form.get(), hundreds->rect().center());
    QWheelEvent wheel(QPointF(at), QPointF(h.form->mapToGlobal(at)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(h.form.get(), &wheel);
    EXPECT_EQ(h.form->SetPanel()->UsetInd().CursorPos(), 3);
    ASSERT_TRUE(h.WaitFor([&] { return h.supply->Register(simreg::USET) == 600; }));
}

TEST(WindowShell, MessageBoxesAreCentredOnTheWindow) {
    // Window left + width / 2 - 200, top + height / 2 - 50.
    EXPECT_EQ(MessageBoxPosition(QPoint(100, 50), 880, 512), QPoint(340, 256));
    EXPECT_EQ(MessageBoxText("Connection lost !!!"), "Connection lost !!!");
    EXPECT_EQ(MessageBoxText("Wrong address 000.000.000.000\rPlease check  the TCP IP address."),
              "Wrong address 000.000.000.000\nPlease check  the TCP IP address.");
}

TEST(WindowShell, AnErrorNoHandlerCatchesIsReportedAndTheLoopGoesOn) {
    TRecordingPresenter presenter;
    SetAppMessagePresenter(&presenter);
    TThrowingObject target;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QApplication::sendEvent(&target, &event));
    SetAppMessagePresenter(nullptr);
    ASSERT_EQ(presenter.errors.size(), 1);
    EXPECT_EQ(presenter.errors.front(), "Cannot open file \"log.txt\"");
    // The loop still delivers events.
    bool ran = false;
    QMetaObject::invokeMethod(
        qApp, [&] { ran = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(apptest::TWindowHarness().WaitFor([&] { return ran; }, 1000));
}

struct TOptionCase {
    QStringList args;
    bool demo;
    bool help;
    bool error;
};

class AppOptionsTest : public ::testing::TestWithParam<TOptionCase> {};

TEST_P(AppOptionsTest, Parses) {
    const TOptionCase& c = GetParam();
    const TAppOptions options = ParseAppOptions(c.args);
    EXPECT_EQ(options.Demo, c.demo);
    EXPECT_EQ(options.Help, c.help);
    EXPECT_EQ(!options.Error.isEmpty(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, AppOptionsTest,
    ::testing::Values(
        TOptionCase{{}, false, false, false}, TOptionCase{{"--demo"}, true, false, false},
        TOptionCase{{"--help"}, false, true, false}, TOptionCase{{"-h"}, false, true, false},
        TOptionCase{{"--demo", "--bogus"}, true, false, true},
        // The toolkit's options and their values pass.
        TOptionCase{
            {"-platform", "offscreen", "--demo", "--style=fusion", "-reverse"}, true, false, false},
        TOptionCase{{"--platform"}, false, false, true},
        // A bench: --demo with a count of supplies, or a bench file.
        TOptionCase{{"--demo", "2"}, true, false, false},
        TOptionCase{{"--demo", "9"}, true, false, true},
        TOptionCase{{"--bench", "rails.bench"}, false, false, false},
        TOptionCase{{"--bench"}, false, false, true},
        TOptionCase{{"--demo", "--bench", "rails.bench"}, true, false, true}),
    [](const auto& AInfo) {
        // "demo_bogus": the options without their dashes.
        std::string name;
        for (QString arg : AInfo.param.args) {
            arg.remove(QRegularExpression("^-+"));
            arg.replace(QRegularExpression("[^A-Za-z0-9]"), "_");
            name += (name.empty() ? "" : "_") + arg.toStdString();
        }
        return name.empty() ? std::string("NoArguments") : name;
    });

// A desktop groups the window under its launcher by the window class (X11) or the app id
// (Wayland), and shows the icon the program sets: both must agree with the desktop entry.
TEST(WindowShell, WindowClassAndIconMatchTheDesktopEntry) {
    QFile entry(QStringLiteral(BENCHLORD_PACKAGING_DIR "/%1.desktop").arg(kDesktopEntryName));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly)) << entry.fileName().toStdString();
    QMap<QString, QString> fields;
    for (const QByteArray& line : entry.readAll().split('\n'))
        if (line.contains('='))
            fields[line.left(line.indexOf('='))] = line.mid(line.indexOf('=') + 1);
    const QString testName = QCoreApplication::applicationName();
    ApplyAppIdentity();
    EXPECT_EQ(QCoreApplication::applicationName(), fields["StartupWMClass"]);
    EXPECT_EQ(QGuiApplication::desktopFileName(), kDesktopEntryName);
    EXPECT_EQ(fields["Icon"], kDesktopEntryName);
    // No icon theme has it in the test: the icon built into the program, at every size.
    EXPECT_TRUE(QGuiApplication::windowIcon().availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(QGuiApplication::windowIcon().availableSizes().contains(QSize(256, 256)));
    QCoreApplication::setApplicationName(testName);
}

TEST(WindowShell, UsageNamesTheDemo) {
    EXPECT_TRUE(AppUsage().contains("--demo"));
    EXPECT_TRUE(AppUsage().contains("--help"));
}

TEST(WindowShell, DemoKeepsItsSettingsApartAndConnectsToALiveSupply) {
    EXPECT_EQ(DemoSettingsPath("/home/u/.config/tarnwell/DPS.ini"),
              "/home/u/.config/tarnwell/DPS-demo.ini");
    TDemoSupply demo;
    ASSERT_TRUE(demo.Start()) << demo.Error().toStdString();
    ASSERT_NE(demo.Port(), 0);
    TWindowHarness h(apptest::WithVirtualSupply());
    h.form->show();
    h.form->ConnectLoopback(demo.Port());
    ASSERT_TRUE(h.WaitFor([&] { return h.form->Session().Connected(); }, 3000));
    EXPECT_TRUE(h.form->windowTitle().startsWith("DPS5015"));
    EXPECT_TRUE(h.form->windowTitle().endsWith(" - virtual supply"));
    // The output starts off and the set values are free: the knobs turn at once.
    TSetPanel* set = h.form->SetPanel();
    ASSERT_TRUE(h.WaitFor([&] { return h.form->Session().Data().USET == 1200; }));
    EXPECT_EQ(demo.Supply()->Register(simreg::ONOFF), 0);
    EXPECT_TRUE(set->UKnob()->isEnabled());
    EXPECT_FALSE(set->UKnob()->Locked());
    const QImage free = set->UKnob()->grab().toImage();
    // Switched on, the readings follow and the knobs look locked: darker, with a padlock.
    h.form->OutputPanel()->OnOffBtn()->click();
    EXPECT_TRUE(h.WaitFor([&] { return h.form->Session().Data().UOUT == 1200; }));
    EXPECT_FALSE(set->UKnob()->isEnabled());
    EXPECT_TRUE(set->UKnob()->Locked());
    const QImage locked = set->UKnob()->grab().toImage();
    const auto brightness = [](const QImage& AImage) {
        double sum = 0;
        for (int y = 0; y < AImage.height(); ++y)
            for (int x = 0; x < AImage.width(); ++x)
                sum += qGray(AImage.pixel(x, y));
        return sum;
    };
    EXPECT_LT(brightness(locked), 0.85 * brightness(free));
    set->SetLockBtn()->click();
    EXPECT_FALSE(set->UKnob()->Locked());
}

TEST(WindowShell, RemovalNoticeOfTheSessionPortEndsTheSession) {
    apptest::TPipePortEvents* events = nullptr;
    apptest::THarnessConfig config;
    config.portEvents = [&events] {
        auto source = std::make_unique<apptest::TPipePortEvents>();
        events = source.get();
        return source;
    };
    TWindowHarness h(config);
    VirtualSupplyOptions opt;
    opt.pty = true;
    ASSERT_TRUE(h.StartSupply(opt));
    ASSERT_TRUE(h.ConnectSerial()) << h.presenter.errors.join("|").toStdString();
    ASSERT_NE(events, nullptr);  // registered when the window was first shown
    // Another adapter going away changes nothing; the session's own port ends it.
    events->Announce(pcRemoval, "ttyUSB7");
    h.WaitPolls(3);
    EXPECT_TRUE(h.form->Session().Connected());
    events->Announce(pcRemoval, QString::fromStdString(h.supply->PtyPath()));
    ASSERT_TRUE(h.WaitFor([&] { return !h.form->Session().Connected(); }));
    EXPECT_EQ(h.form->windowTitle(), "Benchlord");
    EXPECT_TRUE(h.presenter.errors.isEmpty());
}

TEST(WindowShell, AddressFieldIsCheckedWhenLeft) {
    TWindowHarness h;
    h.form->show();
    QLineEdit* ip = h.form->ConnectionPanel()->IpMaskEdit();
    h.form->Session().ComPortComboBoxSelect(0);
    ip->setText("300.168.001.001");
    emit ip->textEdited(ip->text());
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(ip, &out);
    ASSERT_EQ(h.presenter.errors.size(), 1);
    EXPECT_EQ(h.presenter.errors.front(), "Not a valid IP address.");
}

TEST(WindowShell, InvalidAddressIsRefusedAndNeverDialled) {
    // 383 taken modulo 256 would be 127.0.0.1, where the supply listens.
    TWindowHarness h;
    ASSERT_TRUE(h.StartSupply());
    h.form->show();
    h.form->Session().TCPConnector().SetPort(h.supply->TcpPort());
    h.form->Session().ComPortComboBoxSelect(0);
    QLineEdit* ip = h.form->ConnectionPanel()->IpMaskEdit();
    ip->setText("383.000.000.001");
    emit ip->textEdited(ip->text());
    h.form->ConnectionPanel()->ConnectBtn()->click();
    ASSERT_EQ(h.presenter.errors.size(), 1);
    EXPECT_EQ(h.presenter.errors.front(), "Not a valid IP address.");
    EXPECT_FALSE(h.form->Session().ModbusMaster().Active());
    EXPECT_TRUE(h.form->ConnectionPanel()->ConnectBtn()->isEnabled());
    EXPECT_FALSE(h.form->Session().Connected());
    EXPECT_EQ(h.supply->Requests(), 0u);
    // Typed as written, a "." going on to the next octet, the address reads as always and
    // connects.
    ip->setFocus();
    ip->selectAll();
    QTest::keyClicks(ip, QStringLiteral("127.0.0.1"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(ip, &out);
    EXPECT_EQ(ip->text(), "127.000.000.001");
    h.form->ConnectionPanel()->ConnectBtn()->click();
    EXPECT_TRUE(h.WaitFor([&] { return h.form->Session().Connected(); }));
    EXPECT_EQ(h.presenter.errors.size(), 1);
}

TEST(WindowShell, AutoconnectSwitchRunsTheBusyIndicator) {
    TWindowHarness h;
    h.form->show();
    TConnectionPanel* c = h.form->ConnectionPanel();
    c->AutoConnectSwitch()->click();
    EXPECT_TRUE(c->ConnectingIndicator()->Running());
    EXPECT_FALSE(c->ConnectBtn()->isEnabled());
    c->AutoConnectSwitch()->click();
    EXPECT_FALSE(c->ConnectingIndicator()->Running());
    EXPECT_TRUE(c->ConnectBtn()->isEnabled());
}

TEST(WindowShell, OutdatedFirmwareNoticeIsShownOnce) {
    TWindowHarness h;
    VirtualSupplyOptions opt;
    ASSERT_TRUE(SimApplyClassName("ver_40", opt.identity));
    ASSERT_TRUE(h.StartSupply(opt));
    ASSERT_TRUE(h.Connect());
    ASSERT_TRUE(h.WaitFor([&] { return !h.presenter.infos.isEmpty(); }));
    EXPECT_EQ(h.presenter.infos.front(),
              "The power supply firmware is outdated. To take advantage of all the features\r"
              "of the program, update the firmware of the power supply.");
    // Before ver_43 the preset panel reads "Settings".
    EXPECT_TRUE(h.WaitFor([&] { return h.form->PresetCategory()->Caption() == "M0 Settings"; }));
    EXPECT_EQ(h.presenter.infos.size(), 1);
}
