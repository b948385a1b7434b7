#include "app/benchlord_application.h"

#include <exception>

#include "app/message_presenter.h"

TBenchlordApplication::TBenchlordApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("tarnwell"));
    setApplicationName(QStringLiteral("DPS"));
    // No application display name: the platform would append it to every window title, and the
    // title must read exactly as identified ("DPS5015 ver. 4.5T", or "Benchlord" when idle).
}

bool TBenchlordApplication::notify(QObject* AReceiver, QEvent* AEvent) {
    try {
        return QApplication::notify(AReceiver, AEvent);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

void TBenchlordApplication::ReportCurrentException() {
    QString text = QStringLiteral("Unknown error");
    try {
        throw;
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    AppMessagePresenter().Error(QApplication::activeWindow(), text);
}
