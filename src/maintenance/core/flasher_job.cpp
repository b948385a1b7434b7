#include "maintenance/core/flasher_job.h"

TFlasherJob::TFlasherJob(TKRCOMPort& APort, TFlasherTimeouts ATimeouts, QObject* AParent)
    : QObject(AParent), fFlasher(APort, ATimeouts) {
    fFlasher.SetOnWriteln([this](TSTM32_Flasher*, const std::string& AText) {
        QMetaObject::invokeMethod(this, "PostedLine", Qt::QueuedConnection,
                                  Q_ARG(QString, QString::fromStdString(AText)));
    });
    fFlasher.SetOnProgress([this](TSTM32_Flasher*, int32_t ACurrent, int32_t AMax) {
        QMetaObject::invokeMethod(this, "PostedProgress", Qt::QueuedConnection,
                                  Q_ARG(int, ACurrent), Q_ARG(int, AMax));
    });
}

TFlasherJob::~TFlasherJob() {
    // The worker posts into this object: it must be gone before the object is.
    Stop();
}

void TFlasherJob::Stop() {
    if (!fWorker.joinable()) return;
    fFlasher.Cancel();
    fWorker.join();
}

void TFlasherJob::Start(const QString& AFileName, bool AVerify) {
    if (fWorker.joinable()) return;
    fWorker = std::thread([this, file = AFileName.toStdString(), AVerify] {
        bool ok = false;
        QString fileError;
        try {
            ok = fFlasher.FlashFile(file, AVerify);
        } catch (const std::exception& e) {
            fileError = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(this, "WorkerDone", Qt::QueuedConnection, Q_ARG(bool, ok),
                                  Q_ARG(int, fFlasher.Failure()),
                                  Q_ARG(QString, QString::fromStdString(fFlasher.FailedStep())),
                                  Q_ARG(QString, fileError));
    });
}

void TFlasherJob::Cancel() {
    fFlasher.Cancel();
}

void TFlasherJob::PostedLine(const QString& AText) {
    emit LogLine(AText);
}

void TFlasherJob::PostedProgress(int ACurrent, int AMax) {
    emit Progress(ACurrent, AMax);
}

void TFlasherJob::WorkerDone(bool AOk, int AFailure, const QString& AFailedStep,
                             const QString& AFileError) {
    if (fWorker.joinable()) fWorker.join();
    emit Done(AOk, AFailure, AFailedStep, AFileError);
}
