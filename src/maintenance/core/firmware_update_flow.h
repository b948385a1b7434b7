#pragma once
// The firmware update flow, without widgets: asks the running firmware to jump into the STM32
// boot loader, counts five ticks (disconnecting at the second), reopens the session's serial
// port with the boot loader's line settings (38400 baud, even parity) and runs TSTM32_Flasher on
// a worker thread. The client's lines and progress are posted to the user-interface thread and
// come out as signals, so the window keeps painting during the transfer. At the end the port is
// closed and set back to 9600 baud, no parity, always; when the supply runs its firmware again
// (the new one, or the old one after a refusal before the erase) the session connects again,
// and otherwise it stays plainly disconnected.
//
//     TFirmwareUpdateFlow flow(core);
//     connect(&flow, &TFirmwareUpdateFlow::LogLine, log, &QPlainTextEdit::appendPlainText);
//     if (user confirmed) flow.Start("/path/fw.bin");

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "maintenance/core/flasher_job.h"

class TSessionCore;

struct TUpdateFlowTimings {
    int TickMs = 1000;     // countdown tick
    int RestartMs = 1000;  // from Go until the firmware answers Modbus
    TFlasherTimeouts Flasher;
};

class TFirmwareUpdateFlow : public QObject {
    Q_OBJECT
public:
    // Text of the log whenever the advanced window is shown, and the confirmation question.
    static const QString kNotice;
    static const QString kConfirmText;
    // Added to the log after a transfer that did not end well.
    static const QString kFinishHint;

    explicit TFirmwareUpdateFlow(TSessionCore& ACore, TUpdateFlowTimings ATimings = {},
                                 QObject* AParent = nullptr);
    // A transfer still running is cancelled and waited for (the port is restored).
    ~TFirmwareUpdateFlow() override;

    // Added when no boot loader answered without a session: how a running supply is updated.
    static const QString kRunningHint;

    // "Open FW File" is offered: not a KORAD model, a serial port selected (not the TCP entry),
    // and not a Bluetooth one.
    static bool UpdateOffered(TSessionCore& ACore);
    // Why AFileName cannot be used for an update now, found without the chip: the file (missing,
    // unreadable, empty, larger than any known chip's flash), the link, the connected model and
    // its firmware. Empty when the update may start.
    static QString RefusalBeforeJump(TSessionCore& ACore, const QString& AFileName);

    // Starts the update with AFileName (the confirmation has been given): the jump request, the
    // countdown, then the transfer. Ignored while an update runs.
    void Start(const QString& AFileName);
    // From Start until Finished.
    bool Running() const { return fRunning; }
    // Ends a running update early (the countdown, or the transfer at its next wait).
    void Cancel();
    int TimerCount() const { return fUpdateTimerCount; }

signals:
    void LogCleared();
    void LogLine(const QString& AText);
    // Progress bar: position out of maximum.
    void Progress(int ACurrent, int AMax);
    // A failure the client could not report in its log (a file that cannot be used): shown by
    // the program's general error report.
    void ErrorReport(const QString& AText);
    // The port is closed and restored; AOk tells whether the new firmware was started.
    void Finished(bool AOk);

private:
    void Tick();
    void StartTransfer();
    void TransferDone(bool AOk, int AFailure, const QString& AFileError);
    // The supply runs its firmware: a session again, then Finish(AOk).
    void ConnectAgain(bool AOk);
    void Finish(bool AOk);
    void RestorePort();

    TSessionCore& fCore;
    const TUpdateFlowTimings fTimings;
    QTimer fTimer;
    int fUpdateTimerCount = 0;
    bool fRunning = false;
    bool fJumped = false;  // the running firmware was asked to jump (a session was connected)
    QString fFileName;
    std::unique_ptr<TFlasherJob> fJob;
};
