// flash: the firmware update. Connects and identifies the supply (unless --no-jump), asks the
// firmware to jump into the STM32 boot loader, hands the serial line over, and runs the boot
// loader client on its own worker, printing its lines on standard output and a progress bar on
// standard error when that is a terminal.

#include <unistd.h>

#include <QFileInfo>
#include <QObject>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "cli/cli_commands.h"
#include "cli/cli_link.h"
#include "cli/cli_runner.h"
#include "link/com_port.h"
#include "link/com_port_connector.h"
#include "maintenance/core/flasher_job.h"
#include "session/session_core.h"
#include "session/task_mgr.h"

namespace {

constexpr int32_t kBootBaud = 38400;
constexpr int32_t kEvenParity = 2;
// Pause between closing the Modbus link and opening the boot loader's line, so the jump frame
// has left the adapter at the old speed and the chip sits in its boot loader.
constexpr int kSettleMs = 100;
constexpr int kBarWidth = 40;

class TFlashCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    ~TFlashCommand() override { Stopping(); }

    QString Prepare() override {
        const TCliRequest& r = fCtx.Request();
        if (r.Link.Tcp())
            return "flash: the boot loader is reached over a serial port only (--port), not over "
                   "TCP";
        if (IsBluetoothPort(r.Link.Port))
            return "flash: " + r.Link.Port +
                   " is a Bluetooth serial port; the boot loader is reached over a wired USB/UART "
                   "line only";
        try {
            TSTM32_Flasher::ReadImage(r.Of<TFlashOptions>().File.toStdString());
        } catch (const EFlasherFileError& e) {
            return QString::fromStdString(e.what());
        }
        return {};
    }

    bool NeedsSession() const override { return !fCtx.Request().Of<TFlashOptions>().NoJump; }

    void SessionCreated() override {
        TLN_TaskMgr& t = fCtx.Core().TaskMgr();
        TTaskNotifyEvent earlier = t.fOnWriteJumpBoot;
        t.fOnWriteJumpBoot = [this, earlier](TLN_TaskMgr* ASender) {
            if (earlier) earlier(ASender);
            QTimer::singleShot(0, &fContext, [this] { JumpSent(); });
        };
    }

    void Started() override {
        if (fCtx.Request().Of<TFlashOptions>().NoJump) return OpenBootLoader();
        fAwaitingReads = true;  // the brand is known once the start-up reads are done
    }

    void LiveReading() override {
        if (!fAwaitingReads) return;
        fAwaitingReads = false;
        // KORAD units run their maker's firmware: there is no boot loader update for them.
        if (fCtx.Core().Model().Korad)
            return fCtx.Fail(ceUsage,
                             "flash: this is a KORAD unit; its firmware cannot be updated this way "
                             "(no jump was sent)");
        fCtx.Core().DoJumpBoot();
    }

    void Stopping() override {
        if (fStopped) return;
        fStopped = true;
        // Cut short (a signal, a closed output) after the jump: the supply waits in its boot
        // loader, perhaps erased. Say so, and how to finish.
        const bool transferCut = fJob && fJob->Running();
        const bool cutShort = fJob ? transferCut : fJumpSent;
        QString state;
        if (fJob) {
            fJob->Stop();  // a transfer still running is cancelled and waited for
            state = fJob->StateText();
            fJob.reset();  // its lines still posted would only say "Cancelled"
        }
        fPort.Close();
        ClearBar();
        if (cutShort) TellHowToFinish(transferCut ? "interrupted. " : "", state);
    }

private:
    void TellHowToFinish(const QString& APrefix, QString AState) {
        if (AState.isEmpty() && !fJumpSent) return;  // the boot loader was never reached
        // The firmware answered this run's session, and nothing reached the boot loader since.
        if (AState.isEmpty())
            AState =
                "The supply should wait in its boot loader; its firmware ran before the jump and "
                "nothing was erased or written since.";
        fCtx.Warn(APrefix + AState);
        fCtx.Warn("to finish the update, run: " + FinishCommand());
    }

    // The command that finishes the update on a supply waiting in its boot loader.
    QString FinishCommand() const {
        const TCliRequest& r = fCtx.Request();
        QStringList words{"benchlordctl",
                          "--port",
                          r.Link.Port,
                          "flash",
                          QFileInfo(r.Of<TFlashOptions>().File).absoluteFilePath(),
                          "--no-jump"};
        if (r.Of<TFlashOptions>().NoVerify) words << "--no-verify";
        for (QString& w : words)
            if (w.contains(QRegularExpression("[^A-Za-z0-9_./:=+@%-]")))
                w = "'" + w.replace("'", "'\\''") + "'";
        return words.join(' ');
    }

    static bool IsBluetoothPort(const QString& AName) {
        TSerialPortList list;
        SetupEnumAvailableComPorts(list);
        const int index = FindPortIndex(list, AName);
        if (index >= 0 && list[size_t(index)].FriendlyName.contains("Bluetooth")) return true;
        // Bluetooth serial ports are the kernel's rfcomm devices, also behind a link.
        const QString path = AName.contains('/') ? AName : PortDevicePath(AName);
        const QString real = QFileInfo(path).canonicalFilePath();
        return QFileInfo(path).fileName().startsWith("rfcomm") ||
               QFileInfo(real).fileName().startsWith("rfcomm");
    }

    void JumpSent() {
        fJumpSent = true;
        // Once the worker has taken the frame it is written; then the line is handed over.
        fCtx.Core().COMPortConnector().QueueWaitForEmpty(1000);
        fCtx.ReleaseLink();
        QTimer::singleShot(kSettleMs, &fContext, [this] { OpenBootLoader(); });
    }

    void OpenBootLoader() {
        const QString& name = fCtx.Request().Link.Port;
        fPort.SetPort(name.toStdString());
        fPort.SetBaudRate(kBootBaud);
        fPort.SetParity(kEvenParity);
        if (!fPort.Open()) {
            fCtx.Fail(ceLink, "The port " + name + " could not be opened for the boot loader.");
            return;
        }
        fJob = std::make_unique<TFlasherJob>(fPort, fCtx.Config().Flasher);
        fJob->SetStartAgainWhenRefused(fJumpSent);
        QObject::connect(fJob.get(), &TFlasherJob::LogLine, &fContext,
                         [this](const QString& AText) { Line(AText); });
        QObject::connect(fJob.get(), &TFlasherJob::Progress, &fContext,
                         [this](int ACurrent, int AMax) { Bar(ACurrent, AMax); });
        QObject::connect(
            fJob.get(), &TFlasherJob::Done, &fContext,
            [this](bool AOk, int AFailure, const QString& AStep, const QString& AFileError) {
                Finished(AOk, AFailure, AStep, AFileError);
            });
        const TFlashOptions& flash = fCtx.Request().Of<TFlashOptions>();
        fJob->Start(flash.File, !flash.NoVerify);
    }

    void Finished(bool AOk, int AFailure, const QString& AStep, const QString& AFileError) {
        ClearBar();
        fPort.Close();
        if (AOk) return fCtx.Done();
        if (!AFileError.isEmpty()) return fCtx.Fail(ceUsage, AFileError);
        if (AFailure == ffFileTooLarge) {
            fCtx.Fail(ceUsage,
                      "The file is larger than the device's flash; this update did not "
                      "erase it.");
            return fCtx.Warn(fJob->StateText());
        }
        if (AFailure == ffCancelled) return;  // an interrupt ends the command
        fCtx.Fail(ceBootloader, "Firmware update failed at the boot loader step: " + AStep);
        TellHowToFinish(QString(), fJob->StateText());
    }

    void Line(const QString& AText) {
        const bool shown = fBarShown;
        ClearBar();
        fCtx.Print(AText + "\n");
        if (shown) Bar(fBarCurrent, fBarMax);
    }

    // "[#########...............]  37 %" on a terminal's standard error, redrawn in place.
    void Bar(int ACurrent, int AMax) {
        if (!isatty(STDERR_FILENO) || AMax <= 0) return;
        fBarCurrent = ACurrent;
        fBarMax = AMax;
        const int filled = static_cast<int>(int64_t{ACurrent} * kBarWidth / AMax);
        const int percent = static_cast<int>(int64_t{ACurrent} * 100 / AMax);
        std::fprintf(stderr, "\r[%s%s] %3d %%", std::string(filled, '#').c_str(),
                     std::string(kBarWidth - filled, '.').c_str(), percent);
        std::fflush(stderr);
        fBarShown = true;
    }

    void ClearBar() {
        if (!fBarShown) return;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        fBarShown = false;
    }

    QObject fContext;  // receiver of the queued calls; dies with the command
    TKRCOMPort fPort;
    std::unique_ptr<TFlasherJob> fJob;
    bool fAwaitingReads = false;
    bool fJumpSent = false;
    bool fStopped = false;
    bool fBarShown = false;
    int fBarCurrent = 0;
    int fBarMax = 0;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeFlashCommand(TCliContext& AContext) {
    return std::make_unique<TFlashCommand>(AContext);
}
