// flash: the firmware update. Connects and identifies the supply (unless --no-jump), asks the
// firmware to jump into the STM32 boot loader, hands the serial line over, and runs the boot
// loader client on its own worker, printing its lines on standard output and a progress bar on
// standard error when that is a terminal.

#include <unistd.h>

#include <QObject>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "cli/cli_commands.h"
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
        try {
            TSTM32_Flasher::ReadImage(r.FlashFile.toStdString());
        } catch (const EFlasherFileError& e) {
            return QString::fromStdString(e.what());
        }
        return {};
    }

    bool NeedsSession() const override { return !fCtx.Request().NoJump; }

    void SessionCreated() override {
        TLN_TaskMgr& t = fCtx.Core().TaskMgr();
        TTaskNotifyEvent earlier = t.fOnWriteJumpBoot;
        t.fOnWriteJumpBoot = [this, earlier](TLN_TaskMgr* ASender) {
            if (earlier) earlier(ASender);
            QTimer::singleShot(0, &fContext, [this] { JumpSent(); });
        };
    }

    void Started() override {
        if (fCtx.Request().NoJump) return OpenBootLoader();
        fCtx.Core().DoJumpBoot();
    }

    void Stopping() override {
        fJob.reset();  // a transfer still running is cancelled and waited for
        fPort.Close();
        ClearBar();
    }

private:
    void JumpSent() {
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
        fJob = std::make_unique<TFlasherJob>(fPort);
        QObject::connect(fJob.get(), &TFlasherJob::LogLine, &fContext,
                         [this](const QString& AText) { Line(AText); });
        QObject::connect(fJob.get(), &TFlasherJob::Progress, &fContext,
                         [this](int ACurrent, int AMax) { Bar(ACurrent, AMax); });
        QObject::connect(
            fJob.get(), &TFlasherJob::Done, &fContext,
            [this](bool AOk, int AFailure, const QString& AStep, const QString& AFileError) {
                Finished(AOk, AFailure, AStep, AFileError);
            });
        fJob->Start(fCtx.Request().FlashFile, !fCtx.Request().NoVerify);
    }

    void Finished(bool AOk, int AFailure, const QString& AStep, const QString& AFileError) {
        ClearBar();
        fPort.Close();
        if (AOk) return fCtx.Done();
        if (!AFileError.isEmpty()) return fCtx.Fail(ceUsage, AFileError);
        if (AFailure == ffFileTooLarge)
            return fCtx.Fail(ceUsage,
                             "The file is larger than the device's flash; the device "
                             "was not erased and waits in its boot loader.");
        if (AFailure == ffCancelled) return;  // an interrupt ends the command
        fCtx.Fail(ceBootloader, "Firmware update failed at the boot loader step: " + AStep);
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
    bool fBarShown = false;
    int fBarCurrent = 0;
    int fBarMax = 0;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeFlashCommand(TCliContext& AContext) {
    return std::make_unique<TFlashCommand>(AContext);
}
