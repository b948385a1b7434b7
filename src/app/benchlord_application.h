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
