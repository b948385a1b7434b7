#include "app/benchlord_application.h"

#include <QIcon>
#include <exception>

#include "app/message_presenter.h"

TBenchlordApplication::TBenchlordApplication(int& argc, char** argv) : QApplication(argc, argv) {
    ApplyAppIdentity();
}

void ApplyAppIdentity() {
    // The settings' and data files' folders are named in full where they are opened
    // (tarnwell/DPS), so the application name is free to be the window class.
    QCoreApplication::setOrganizationName(QStringLiteral("tarnwell"));
    QCoreApplication::setApplicationName(QStringLiteral("benchlord"));
    // No application display name: the platform would append it to every window title, and the
    // title must read exactly as identified ("DPS5015 ver. 4.5T", or "Benchlord" when idle).
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopEntryName));
    QIcon builtIn;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/%1/%2.png").arg(size).arg(kDesktopEntryName));
    QGuiApplication::setWindowIcon(
        QIcon::fromTheme(QString::fromLatin1(kDesktopEntryName), builtIn));
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
