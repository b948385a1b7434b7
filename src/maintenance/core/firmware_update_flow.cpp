#include "maintenance/core/firmware_update_flow.h"

#include <QPointer>
#include <QTimer>

#include "device/firmware_version.h"
#include "link/com_port.h"
#include "link/com_port_connector.h"
#include "session/session_core.h"

namespace {
constexpr int32_t kBootBaud = 38400;
constexpr int32_t kBootParity = 2;  // even
constexpr int32_t kSessionBaud = 9600;
constexpr int32_t kSessionParity = 0;
constexpr int kCountdownTicks = 5;
constexpr int kDisconnectTick = 2;
}  // namespace

const QString TFirmwareUpdateFlow::kNotice = QStringLiteral(
    "The update is avialable for alternative firmware starting from version 4.0\r\n\r\n"
    "To update the firmware via USB/UART select the file and click \"Start Update\"\r\n\r\n"
    "WARNING: You can't update the firmware via Bluetooth or Wi-Fi !!!");
const QString TFirmwareUpdateFlow::kFinishHint = QStringLiteral(
    "To finish the update, choose the file again and click \"Start Update\" (also possible "
    "while disconnected, from \"Firmware update\" in the connection panel).");
const QString TFirmwareUpdateFlow::kRunningHint = QStringLiteral(
    "No boot loader answered. Without a session the update is for a supply that waits in its "
    "boot loader; a supply that runs its firmware is updated through a session: \"Connect\" "
    "first, then start the update.");
const QString TFirmwareUpdateFlow::kConfirmText =
    QStringLiteral("The next step will change firmware on your DPS device");

TFirmwareUpdateFlow::TFirmwareUpdateFlow(TSessionCore& ACore, TUpdateFlowTimings ATimings,
                                         QObject* AParent)
    : QObject(AParent), fCore(ACore), fTimings(ATimings) {
    fTimer.setInterval(fTimings.TickMs);
    connect(&fTimer, &QTimer::timeout, this, [this] { Tick(); });
}

TFirmwareUpdateFlow::~TFirmwareUpdateFlow() {
    if (fJob && fJob->Running()) {
        fJob.reset();  // cancels and waits for the worker
        RestorePort();
    }
}

bool TFirmwareUpdateFlow::UpdateOffered(TSessionCore& ACore) {
    const TSerialPortList& list = ACore.SerialPortList();
    const int index = ACore.PortIndex();
    if (ACore.Model().Korad || index <= 0 || index >= static_cast<int>(list.size())) return false;
    return !list[static_cast<size_t>(index)].FriendlyName.contains("Bluetooth");
}

QString TFirmwareUpdateFlow::RefusalBeforeJump(TSessionCore& ACore, const QString& AFileName) {
    try {
        TSTM32_Flasher::ReadImage(AFileName.toStdString());
    } catch (const EFlasherFileError& e) {
        return QString::fromStdString(e.what());
    }
    if (ACore.Model().Korad) return "This is a KORAD unit: its firmware cannot be updated here.";
    if (!UpdateOffered(ACore))
        return "The firmware is updated over a wired serial port only (not over TCP or "
               "Bluetooth): choose that port in the connection panel.";
    if (ACore.Connected() && VersionValue(ACore.Data().VERSION) < 40)
        return "This supply runs firmware " +
               QString::fromStdString(VersionText(ACore.Data().VERSION)) +
               ", which cannot jump into its boot loader: the update is for the alternative "
               "firmware from version 4.0 on.";
    return {};
}

void TFirmwareUpdateFlow::Start(const QString& AFileName) {
    if (fRunning) return;
    fRunning = true;
    fFileName = AFileName;
    fJumped = fCore.Connected();
    if (!fCore.Connected()) {
        // Without a session the supply may already sit in its boot loader: use the port the
        // port list offers.
        const TSerialPortList& list = fCore.SerialPortList();
        const int index = fCore.PortIndex();
        if (index > 0 && index < static_cast<int>(list.size()))
            fCore.COMPortConnector().SetPort(
                list[static_cast<size_t>(index)].ShortName.toStdString());
    }
    fCore.DoJumpBoot();
    emit Progress(5, 100);
    fUpdateTimerCount = 0;
    fTimer.start();
    emit LogCleared();
    emit LogLine("Please wait ...");
}

void TFirmwareUpdateFlow::Cancel() {
    if (!fRunning) return;
    if (fJob && fJob->Running()) {
        fJob->Cancel();  // the worker reports back through TransferDone
        return;
    }
    fTimer.stop();
    emit LogLine("Cancelled");
    Finish(false);
}

void TFirmwareUpdateFlow::Tick() {
    if (fUpdateTimerCount < kCountdownTicks) {
        ++fUpdateTimerCount;
        emit Progress(fUpdateTimerCount * 10, 100);
        if (fUpdateTimerCount == kDisconnectTick && fCore.Connected()) fCore.Disconnect();
        return;
    }
    fTimer.stop();
    emit Progress(0, 100);
    StartTransfer();
}

void TFirmwareUpdateFlow::StartTransfer() {
    TKRCOMPort& port = fCore.COMPortConnector().ComPort();
    port.SetBaudRate(kBootBaud);
    port.SetParity(kBootParity);
    if (!port.Open()) {
        emit LogLine(QString::fromStdString("The port " + port.Port() +
                                            " could not be opened for the boot loader."));
        RestorePort();
        Finish(false);
        return;
    }
    fJob = std::make_unique<TFlasherJob>(port, fTimings.Flasher);
    fJob->SetStartAgainWhenRefused(fJumped);
    connect(fJob.get(), &TFlasherJob::LogLine, this, &TFirmwareUpdateFlow::LogLine);
    connect(fJob.get(), &TFlasherJob::Progress, this, &TFirmwareUpdateFlow::Progress);
    connect(fJob.get(), &TFlasherJob::Done, this,
            [this](bool AOk, int AFailure, const QString&, const QString& AFileError) {
                TransferDone(AOk, AFailure, AFileError);
            });
    fJob->Start(fFileName, true);
}

void TFirmwareUpdateFlow::TransferDone(bool AOk, int AFailure, const QString& AFileError) {
    RestorePort();
    if (!AFileError.isEmpty()) {
        emit LogLine(AFileError);
        emit ErrorReport(AFileError);
    }
    // Cut short or failed once the boot loader answered: what the chip holds now, and how to
    // finish (the supply stays in its boot loader until it is switched off).
    const QString state = AOk || !fJob ? QString() : fJob->StateText();
    const bool startedAgain = fJob && fJob->StartedAgain();
    if (!state.isEmpty()) {
        emit LogLine(state);
        if (AFailure != ffFileTooLarge) emit LogLine(kFinishHint);
    }
    if (!AOk && !fJumped && AFailure == ffStep && fJob && !fJob->Activated())
        emit LogLine(kRunningHint);
    if (AOk || startedAgain) return ConnectAgain(AOk);
    emit LogLine("The supply stays disconnected.");
    Finish(AOk);
}

void TFirmwareUpdateFlow::ConnectAgain(bool AOk) {
    emit LogLine("Connecting to the supply again ...");
    QTimer::singleShot(fTimings.RestartMs, this, [this, AOk] {
        if (!fRunning) return;  // cancelled meanwhile
        fCore.ConnectQuietly([self = QPointer<TFirmwareUpdateFlow>(this), AOk](bool AConnected) {
            if (!self || !self->fRunning) return;
            emit self->LogLine(AConnected
                                   ? QStringLiteral("Connected: the supply runs its firmware.")
                                   : QStringLiteral("The supply does not answer: it stays "
                                                    "disconnected. Connect again once it runs "
                                                    "its firmware."));
            self->Finish(AOk);
        });
    });
}

void TFirmwareUpdateFlow::RestorePort() {
    TKRCOMPort& port = fCore.COMPortConnector().ComPort();
    port.Close();
    port.SetBaudRate(kSessionBaud);
    port.SetParity(kSessionParity);
}

void TFirmwareUpdateFlow::Finish(bool AOk) {
    fRunning = false;
    emit Finished(AOk);
}
