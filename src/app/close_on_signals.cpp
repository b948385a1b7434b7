#include "app/close_on_signals.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "link/signal_pipe.h"

std::unique_ptr<TSignalPipe> CloseOnSignals(QWidget& AWindow) {
    auto pipe = std::make_unique<TSignalPipe>();
    pipe->fOnSignal = [window = QPointer<QWidget>(&AWindow)](int) {
        if (!window) return;
        // A message box waiting for the user would hold the close back: the one open now, and
        // any that opens before the window is closed (a notice queued at start, an error while
        // closing), is closed, then the window. A sweep gives up after a few seconds.
        auto* sweep = new QTimer(window);
        sweep->setInterval(10);
        auto step = [window, sweep, left = 500]() mutable {
            if (!window) return;
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != window) {
                modal->close();
                return;
            }
            if (window->isVisible() && --left > 0) {
                window->close();  // a box it opens is closed by the next step
                return;
            }
            sweep->stop();
            sweep->deleteLater();
        };
        QObject::connect(sweep, &QTimer::timeout, window, step);
        sweep->start();
        // The usual case at once: no box, the window closes now.
        if (!QApplication::activeModalWidget()) window->close();
    };
    return pipe;
}
