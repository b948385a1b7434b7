#include "link/port_notifier.h"

#include <QSocketNotifier>

bool IsPortEvent(const QString& kernelName, const QString& devPath) {
    if (kernelName.startsWith(QStringLiteral("rfcomm"))) return true;
    // Consoles, ptys and other virtual ttys live under /devices/virtual.
    return !kernelName.isEmpty() && !devPath.startsWith(QStringLiteral("/devices/virtual/"));
}

TPortNotifier::TPortNotifier(std::unique_ptr<TPortEventSource> source, TPortChangeEv handler,
                             QObject* parent)
    : QObject(parent), fSource(std::move(source)), fHandler(std::move(handler)) {
    fNotifier = new QSocketNotifier(fSource->Fd(), QSocketNotifier::Read, this);
    connect(fNotifier, &QSocketNotifier::activated, this, &TPortNotifier::OnReadable);
}

TPortNotifier::~TPortNotifier() {
    // The notifier must stop watching before the source closes its descriptor.
    delete fNotifier;
    fNotifier = nullptr;
}

void TPortNotifier::OnReadable() {
    for (const TPortEvent& ev : fSource->Receive())
        if (fHandler) fHandler(this, ev.Change, ev.Name);
}

TPortNotifier* RegisterPortNotifications(QObject* owner, TPortNotifier::TPortChangeEv handler) {
    std::unique_ptr<TPortEventSource> source = MakeUdevPortEventSource();
    if (!source) return nullptr;
    return new TPortNotifier(std::move(source), std::move(handler), owner);
}
