#pragma once
// Arrival and removal notices for serial ports, delivered on the thread that owns the notifier
// (the user-interface thread) from a udev monitor watched by a QSocketNotifier.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

enum TPortChange { pcArrival = 0, pcRemoval = 1 };

struct TPortEvent {
    TPortChange Change = pcArrival;
    QString Name;  // kernel name, "ttyUSB0"
};

// Source of port events: a descriptor that becomes readable when events wait, and the call that
// takes them. The production source is a udev monitor; tests use a pipe.
class TPortEventSource {
public:
    virtual ~TPortEventSource() = default;
    virtual int Fd() const = 0;
    virtual std::vector<TPortEvent> Receive() = 0;
};

// A udev monitor on the tty subsystem that reports only ports with hardware behind them (and
// rfcomm ports). Null when udev is not available.
std::unique_ptr<TPortEventSource> MakeUdevPortEventSource();

// True for events about ttys that can be serial ports; consoles and ptys are ignored.
bool IsPortEvent(const QString& kernelName, const QString& devPath);

class TPortNotifier : public QObject {
    Q_OBJECT
public:
    using TPortChangeEv =
        std::function<void(TPortNotifier* Sender, TPortChange Change, const QString& Name)>;

    TPortNotifier(std::unique_ptr<TPortEventSource> source, TPortChangeEv handler,
                  QObject* parent = nullptr);
    ~TPortNotifier() override;

private:
    void OnReadable();

    std::unique_ptr<TPortEventSource> fSource;
    TPortChangeEv fHandler;
    QSocketNotifier* fNotifier = nullptr;
};

// Starts arrival/removal notices for `owner` (normally the main window): `handler` is called on
// the owner's thread with the port name. The notifier is a child of `owner` and lives as long as
// it. Answers null when udev cannot be monitored; the port list then changes only when refilled.
TPortNotifier* RegisterPortNotifications(QObject* owner, TPortNotifier::TPortChangeEv handler);
