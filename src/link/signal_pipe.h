#pragma once
// Brings SIGINT, SIGTERM and SIGHUP onto the event loop: the handler only writes the signal
// number into a pipe (async-signal-safe); a socket notifier on the pipe's read end calls
// fOnSignal on the user-interface thread. One instance per process.

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

class TSignalPipe : public QObject {
public:
    explicit TSignalPipe(QObject* AParent = nullptr);
    ~TSignalPipe() override;  // restores the previous handlers

    bool Installed() const { return fNotifier != nullptr; }
    std::function<void(int ASignal)> fOnSignal;

private:
    void Drain();
    int fFds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> fNotifier;
};
