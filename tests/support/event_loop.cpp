#include "tests/support/event_loop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace testsupport {

void EnsureCoreApp() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "benchlord-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

bool ProcessUntil(const std::function<bool()>& APredicate, int ATimeoutMs) {
    EnsureCoreApp();
    QDeadlineTimer deadline(ATimeoutMs, Qt::PreciseTimer);
    while (!APredicate()) {
        if (deadline.hasExpired()) return APredicate();
        // Wait for the next event (bounded) rather than spinning.
        QEventLoop loop;
        QTimer wake;
        wake.setSingleShot(true);
        QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
        wake.start(1);
        loop.exec();
    }
    return true;
}

void ProcessFor(int AMs) {
    ProcessUntil([] { return false; }, AMs);
}

}  // namespace testsupport
