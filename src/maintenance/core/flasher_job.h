#pragma once
// One run of TSTM32_Flasher::FlashFile on a worker thread of its own, for callers on the
// user-interface thread (the update page, benchlordctl): the client's lines and progress are
// posted back and come out as signals, so the caller's event loop keeps running.
//
//     TFlasherJob job(port);                   // port open with the boot loader's settings
//     connect(&job, &TFlasherJob::LogLine, ...);
//     connect(&job, &TFlasherJob::Done, ...);  // the worker has ended when this is emitted
//     job.Start("/path/fw.bin", true);

#include <QObject>
#include <QString>
#include <memory>
#include <thread>

#include "maintenance/core/stm32_flasher.h"

class TKRCOMPort;

class TFlasherJob : public QObject {
    Q_OBJECT
public:
    explicit TFlasherJob(TKRCOMPort& APort, TFlasherTimeouts ATimeouts = {},
                         QObject* AParent = nullptr);
    // A run still going is cancelled and waited for.
    ~TFlasherJob() override;

    void Start(const QString& AFileName, bool AVerify);
    // Before Start: see TSTM32_Flasher::SetStartAgainWhenRefused.
    void SetStartAgainWhenRefused(bool AOn) { fFlasher.SetStartAgainWhenRefused(AOn); }
    // Only while it does not run.
    bool StartedAgain() const { return fFlasher.StartedAgain(); }
    // The boot loader answered the activation (only while it does not run).
    bool Activated() const { return fFlasher.Activated(); }
    // Ends the run at its next wait; Done follows.
    void Cancel();
    bool Running() const { return fWorker.joinable(); }
    // How far the run came (TSTM32_Flasher::StateText); only while it does not run.
    QString StateText() const { return QString::fromStdString(fFlasher.StateText()); }
    // Ends a run still going and waits for its worker (its posted lines are dropped).
    void Stop();

signals:
    void LogLine(const QString& AText);
    void Progress(int ACurrent, int AMax);
    // AFailure is a TFlasherFailure; AFileError the reason a file could not be used (nothing
    // was sent then).
    void Done(bool AOk, int AFailure, const QString& AFailedStep, const QString& AFileError);

private:
    // Posted by the worker (invoked by name so the hand-over stays visible to ThreadSanitizer).
    Q_INVOKABLE void PostedLine(const QString& AText);
    Q_INVOKABLE void PostedProgress(int ACurrent, int AMax);
    Q_INVOKABLE void WorkerDone(bool AOk, int AFailure, const QString& AFailedStep,
                                const QString& AFileError);

    TSTM32_Flasher fFlasher;
    std::thread fWorker;
};
