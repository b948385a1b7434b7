#pragma once
// The application object. Its notify() is the general error report: an exception that escapes an
// event handler is caught at the event-loop boundary, its message is shown in an error box and
// the loop goes on.

#include <QApplication>

class TBenchlordApplication : public QApplication {
public:
    TBenchlordApplication(int& argc, char** argv);
    bool notify(QObject* AReceiver, QEvent* AEvent) override;

    // Shows the message of the error being handled (called from a catch block).
    static void ReportCurrentException();
};

// The names and the icon a desktop knows the program by: the X11 window class is the
// application name, matching the desktop entry's StartupWMClass; Wayland's app id is the desktop
// entry's name. The icon is the installed theme's, or the one built into the program.
void ApplyAppIdentity();

// The desktop entry's name (without .desktop), also the icon's name.
inline constexpr const char* kDesktopEntryName = "org.tarnwell.Benchlord";
