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
        // A message box waiting for the user would hold the close back: it is closed first, and
        // the window closes once the box's own event loop has ended.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != window) {
            modal->close();
            QTimer::singleShot(0, window, [window] {
                if (window) window->close();
            });
            return;
        }
        window->close();
    };
    return pipe;
}
