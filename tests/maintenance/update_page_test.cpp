// The update page from a connected session to the restarted supply: jump, disconnect, the
// transfer on its worker with the window's event loop running, Go, the port restored.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>

#include "link/com_port.h"
#include "link/com_port_connector.h"
#include "maintenance/firmware_update_page.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "sim/sim_device.h"
#include "sim/virtual_supply.h"
#include "tests/support/event_loop.h"
#include "tests/support/fast_timings.h"
#include "tests/support/recording_view.h"

namespace {

using testsupport::ProcessUntil;

// A session on the virtual supply's pty and the page on that session.
class UpdatePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualSupplyOptions o;
        o.tcp = false;
        o.pty = true;
        o.wireTime = true;  // the transfer takes long enough to watch the window meanwhile
        sup = VirtualSupply::Start(o);
        ASSERT_TRUE(sup);
        pty = QString::fromStdString(sup->PtyPath());
        AddExtraPort(pty);
        core = std::make_unique<TSessionCore>(view, settings, SystemTickClock(),
                                              testsupport::FastTimings());
        core->LoadSettings();
        TUpdateFlowTimings t;
        t.TickMs = 10;
        t.RestartMs = 10;
        t.Flasher.ReadPause = 0;
        t.Flasher.Activation = 150;  // silence to the activation byte costs this
        t.Flasher.ResyncGap = 20;
        page = std::make_unique<TFirmwareUpdatePage>(*core, nullptr, t);
        page->fChooseFile = [this] { return chosen; };
        page->fConfirm = [this](const QString& AText) {
            asked << AText;
            return true;
        };
        page->fShowError = [this](const QString& AText) { errors << AText; };
    }
    void TearDown() override {
        page.reset();
        core.reset();
        RemoveExtraPort(pty);
    }
    void SelectPty() {
        const auto& list = core->SerialPortList();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].ShortName == pty) core->ComPortComboBoxSelect(int(i));
    }
    QString WriteFile(size_t ASize) {
        image.resize(ASize);
        for (size_t i = 0; i < ASize; ++i)
            image[i] = uint8_t(i * 13 + 5);
        const QString path = dir.filePath("fw.bin");
        std::ofstream(path.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        return path;
    }
    QStringList Log() const { return page->Memo1->toPlainText().split('\n'); }

    QTemporaryDir dir;
    TSettingsStore settings{TSettingsStore::PathUnder(dir.path())};
    testsupport::TRecordingView view;
    std::unique_ptr<VirtualSupply> sup;
    QString pty;
    std::unique_ptr<TSessionCore> core;
    std::unique_ptr<TFirmwareUpdatePage> page;
    QString chosen;
    QStringList asked, errors;
    std::vector<uint8_t> image;
};

TEST_F(UpdatePageTest, UpdatesTheConnectedSupplyWhileTheWindowKeepsRunning) {
    SelectPty();
    core->BaudComboBoxSelect(2);
    core->ConnectBtnClick();
    ASSERT_TRUE(ProcessUntil([&] { return core->Connected(); }, 3000));

    page->WindowShown();
    EXPECT_TRUE(page->Memo1->toPlainText().startsWith("The update is avialable"));
    EXPECT_TRUE(page->OpenFileBtn->isEnabled());
    EXPECT_FALSE(page->StartUpdateBtn->isEnabled());
    chosen = WriteFile(700);
    page->OpenFileBtn->click();
    ASSERT_TRUE(page->StartUpdateBtn->isEnabled());

    int started = 0, finished = 0;
    bool ok = false;
    QObject::connect(page.get(), &TFirmwareUpdatePage::UpdateStarted, [&] { ++started; });
    QObject::connect(page.get(), &TFirmwareUpdatePage::UpdateFinished, [&](bool AOk) {
        ++finished;
        ok = AOk;
    });
    // Progress bar values while the client works, and timer ticks served meanwhile: the
    // window's event loop never stops.
    std::vector<int> bar;
    QObject::connect(page->ProgressBar2, &QProgressBar::valueChanged,
                     [&](int v) { bar.push_back(v); });
    int ticksDuringTransfer = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (page->Busy() && sup->InBootloader()) ++ticksDuringTransfer;
    });
    ticker.start(2);
    // The line settings the boot loader needs, as the port applied them (a pty drops parity).
    TKRCOMLineSettings bootLine;
    QObject::connect(&page->Flow(), &TFirmwareUpdateFlow::LogLine, [&](const QString& AText) {
        if (AText == "Activating device: OK")
            bootLine = core->COMPortConnector().ComPort().Applied();
    });

    page->StartUpdateBtn->click();
    EXPECT_EQ(asked, QStringList{"The next step will change firmware on your DPS device"});
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(page->Busy());
    EXPECT_FALSE(page->OpenFileBtn->isEnabled());
    EXPECT_FALSE(page->StartUpdateBtn->isEnabled());

    ASSERT_TRUE(ProcessUntil([&] { return finished == 1; }, 10000));
    EXPECT_TRUE(ok);
    EXPECT_EQ(Log(), (QStringList{"Please wait ...", "Activating device: OK", "File fw.bin",
                                  "File size is 700", "Bootloader version : 2.2",
                                  "Device : STM32F10x ", "Erase complete OK", "Writting ...",
                                  "File is written OK", "Verification ...", "Verify OK",
                                  "Started OK", "Connecting to the supply again ...",
                                  "Connected: the supply runs its firmware."}));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_GT(ticksDuringTransfer, 20);
    EXPECT_EQ(bootLine.BaudRate, 38400);
    EXPECT_EQ(bootLine.Parity, 2);
    // Countdown 10 .. 50, the client's blocks, the read-back, and the end of both.
    ASSERT_GE(bar.size(), 8u);
    EXPECT_EQ(std::vector<int>(bar.begin(), bar.begin() + 6),
              (std::vector<int>{5, 10, 20, 30, 40, 50}));
    EXPECT_EQ(page->ProgressBar2->value(), page->ProgressBar2->maximum());

    // The jump went out over Modbus, the new image runs, and the session is back on the
    // session's line settings.
    const auto writes = sup->Writes();
    const auto jump = std::find_if(writes.begin(), writes.end(),
                                   [](const SimWrite& w) { return w.start == simreg::CMD; });
    ASSERT_NE(jump, writes.end());
    EXPECT_EQ(jump->values, std::vector<uint16_t>{1234});
    EXPECT_TRUE(core->Connected());
    EXPECT_TRUE(view.panel.DisconnectEnabled);
    EXPECT_FALSE(sup->InBootloader());
    const auto flash = sup->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(core->COMPortConnector().ComPort().BaudRate(), 9600);
    EXPECT_EQ(core->COMPortConnector().ComPort().Parity(), 0);
    EXPECT_FALSE(page->StartUpdateBtn->isEnabled()) << "a new update needs a file chosen again";
}

TEST_F(UpdatePageTest, ChecksTheFileBeforeTheJumpAndFinishesAFailedUpdateWhileDisconnected) {
    SelectPty();
    core->BaudComboBoxSelect(2);
    core->ConnectBtnClick();
    ASSERT_TRUE(ProcessUntil([&] { return core->Connected(); }, 3000));
    page->WindowShown();
    bool finished = false, ok = false;
    QObject::connect(page.get(), &TFirmwareUpdatePage::UpdateFinished, [&](bool AOk) {
        finished = true;
        ok = AOk;
    });

    // An empty file is refused before the supply is sent into its boot loader.
    chosen = WriteFile(0);
    page->OpenFileBtn->click();
    EXPECT_EQ(page->FileLabel->text(), "File: fw.bin (0 bytes)");
    page->StartUpdateBtn->click();
    EXPECT_TRUE(asked.isEmpty()) << "refused before the confirmation";
    EXPECT_FALSE(page->Busy());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].endsWith("is empty")) << errors[0].toStdString();
    EXPECT_TRUE(core->Connected());
    EXPECT_FALSE(sup->InBootloader());

    // Go refused: the log tells what the chip holds and how to finish.
    sup->SetBootFaults({{0x21, 1, 0, false}});
    chosen = WriteFile(700);
    page->OpenFileBtn->click();
    page->StartUpdateBtn->click();
    ASSERT_TRUE(ProcessUntil([&] { return finished; }, 10000));
    EXPECT_FALSE(ok);
    const QStringList failed = Log();
    ASSERT_GE(failed.size(), 4);
    EXPECT_EQ(failed.mid(failed.size() - 4),
              (QStringList{"NACK in Go command",
                           "The whole file (700 bytes) was written but not started: the supply "
                           "waits in its boot loader.",
                           TFirmwareUpdateFlow::kFinishHint, "The supply stays disconnected."}));
    EXPECT_TRUE(sup->InBootloader());
    // Plainly disconnected: Connect offered, Disconnect not, the port free.
    EXPECT_FALSE(core->Connected());
    EXPECT_TRUE(view.panel.ConnectEnabled);
    EXPECT_FALSE(view.panel.DisconnectEnabled);
    EXPECT_FALSE(core->COMPortConnector().ComPort().Connected());

    // Disconnected, the same page finishes the update on the selected port.
    finished = false;
    page->WindowShown();
    ASSERT_TRUE(page->OpenFileBtn->isEnabled());
    page->OpenFileBtn->click();
    page->StartUpdateBtn->click();
    ASSERT_TRUE(ProcessUntil([&] { return finished; }, 10000));
    EXPECT_TRUE(ok) << Log().join('|').toStdString();
    EXPECT_TRUE(Log().contains("The boot loader was already active: going on"));
    EXPECT_FALSE(sup->InBootloader());
    EXPECT_TRUE(core->Connected()) << "connected to the supply that runs the new firmware";
    const auto flash = sup->FlashImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(page->ProgressBar2->alignment() & Qt::AlignHCenter, Qt::AlignHCenter)
        << "the percentage in the middle of the bar";
}

TEST_F(UpdatePageTest, AFileTooLargeLeavesTheSupplyRunningAndConnected) {
    SelectPty();
    core->BaudComboBoxSelect(2);
    core->ConnectBtnClick();
    ASSERT_TRUE(ProcessUntil([&] { return core->Connected(); }, 3000));
    page->WindowShown();
    const std::vector<uint8_t> before = sup->FlashImage();
    bool finished = false, ok = true;
    QObject::connect(page.get(), &TFirmwareUpdatePage::UpdateFinished, [&](bool AOk) {
        finished = true;
        ok = AOk;
    });

    // Larger than any chip the client knows: refused before the jump and the confirmation.
    chosen = WriteFile(size_t(TSTM32_Flasher::LargestKnownFlash()) + 1);
    page->OpenFileBtn->click();
    page->StartUpdateBtn->click();
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_FALSE(page->Busy());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "File " + chosen +
                             " is too large: 262145 bytes, and no supported chip "
                             "has more than 262144 bytes of flash");
    for (const SimWrite& w : sup->Writes())
        EXPECT_NE(w.start, simreg::CMD) << "no jump";
    EXPECT_TRUE(core->Connected());

    // Larger than this chip's 64 KiB, which only the boot loader tells: nothing is erased, the
    // old firmware is started again and the window connects to it.
    chosen = WriteFile(65537);
    page->OpenFileBtn->click();
    page->StartUpdateBtn->click();
    ASSERT_TRUE(ProcessUntil([&] { return finished; }, 10000));
    EXPECT_FALSE(ok);
    const QStringList log = Log();
    ASSERT_GE(log.size(), 6);
    EXPECT_EQ(log.mid(log.size() - 6),
              (QStringList{"File is too large for the device: 65537 bytes, 65536 bytes of flash",
                           "Nothing was erased: starting the firmware again", "Started OK",
                           "This update changed nothing: the supply runs its firmware again.",
                           "Connecting to the supply again ...",
                           "Connected: the supply runs its firmware."}));
    EXPECT_FALSE(sup->InBootloader());
    EXPECT_TRUE(core->Connected());
    EXPECT_EQ(sup->FlashImage(), before);
    EXPECT_TRUE(page->OpenFileBtn->isEnabled());
}

TEST_F(UpdatePageTest, OffersTheUpdateOnlyOnASerialPortAndTellsWhenThePortIsTaken) {
    core->ComPortComboBoxSelect(0);  // TCP
    page->WindowShown();
    EXPECT_FALSE(page->OpenFileBtn->isEnabled());
    SelectPty();
    page->WindowShown();
    EXPECT_TRUE(page->OpenFileBtn->isEnabled());
    core->Model().Korad = true;
    page->WindowShown();
    EXPECT_FALSE(page->OpenFileBtn->isEnabled());
    core->Model().Korad = false;
    page->WindowShown();

    // Not connected: no jump, the countdown, then the port; another program holds it.
    TKRCOMPort holder;
    holder.SetPort(pty.toStdString());
    ASSERT_TRUE(holder.Open());
    chosen = WriteFile(10);
    page->OpenFileBtn->click();
    page->fConfirm = [](const QString&) { return false; };
    page->StartUpdateBtn->click();
    EXPECT_FALSE(page->Busy()) << "a cancelled confirmation changes nothing";
    page->fConfirm = [](const QString&) { return true; };
    bool finished = false, ok = true;
    QObject::connect(page.get(), &TFirmwareUpdatePage::UpdateFinished, [&](bool AOk) {
        finished = true;
        ok = AOk;
    });
    page->StartUpdateBtn->click();
    ASSERT_TRUE(ProcessUntil([&] { return finished; }, 3000)) << Log().join('|').toStdString();
    EXPECT_FALSE(ok);
    EXPECT_EQ(Log(),
              (QStringList{"Please wait ...",
                           "The port " + pty + " could not be opened for the boot loader."}));
    EXPECT_TRUE(sup->Writes().empty());
    EXPECT_FALSE(sup->InBootloader());
    EXPECT_EQ(core->COMPortConnector().ComPort().BaudRate(), 9600);
}

}  // namespace
