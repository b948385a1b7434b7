#include "app/demo_console.h"

#include <unistd.h>
#include <QSocketNotifier>
#include <cstdio>

#include "sim/sim_console.h"

TDemoConsole::TDemoConsole(VirtualSupply& ASupply, QObject* AParent)
    : QObject(AParent), fSupply(ASupply) {
    if (!isatty(STDIN_FILENO)) return;
    fNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(fNotifier, &QSocketNotifier::activated, this, [this] { ReadInput(); });
    std::fputs(
        "Virtual supply console: type \"help\" for its commands (\"load 4.7\", \"trip ovp\", "
        "...)\n",
        stdout);
    std::fflush(stdout);
}

void TDemoConsole::ReadInput() {
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        // End of input (or the terminal went away): stop listening, the window goes on.
        fNotifier->setEnabled(false);
        return;
    }
    fPending.append(buffer, static_cast<int>(n));
    for (qsizetype end; (end = fPending.indexOf('\n')) >= 0;) {
        const std::string line = fPending.left(end).toStdString();
        fPending.remove(0, end + 1);
        const SimCommandResult result = SimRunCommand(fSupply, line);
        if (result.quit) {
            std::fputs("close the window to quit\n", stdout);
        } else {
            std::fputs(result.text.c_str(), stdout);
        }
        std::fflush(stdout);
    }
}
