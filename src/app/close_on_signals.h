#pragma once
// SIGINT, SIGTERM and SIGHUP (Ctrl-C in the launching terminal, a kill, the terminal closed, a
// logout) close the window as if the user had closed it: keys released, settings written, the
// autotest and logs handled by the normal close path. The handler only writes to a pipe; the close
// runs on the event loop.

#include <memory>

#include "link/signal_pipe.h"

class QWidget;

// Installs the handlers for as long as the returned object lives.
std::unique_ptr<TSignalPipe> CloseOnSignals(QWidget& AWindow);
