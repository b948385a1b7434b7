#include "maintenance/core/firmware_update_flow.h"

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
    "while disconnected, from \"Firmware\" in the connection panel).");
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

void TFirmwareUpdateFlow::Start(const QString& AFileName) {
    if (fRunning) return;
    fRunning = true;
    fFileName = AFileName;
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
    if (!state.isEmpty()) {
        emit LogLine(state);
        if (AFailure != ffFileTooLarge) emit LogLine(kFinishHint);
    }
    Finish(AOk);
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
