// benchlord-sim: runs the virtual supply until SIGINT, SIGTERM, "quit" or (with --exit-on-eof)
// the end of standard input. Prints one line per endpoint so that scripts can find it.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include "benchlord_version.h"
#include "sim/sim_console.h"

int main(int argc, char* argv[]) {
    SimCommandLine cl;
    std::string error;
    if (!SimParseArgs(std::vector<std::string>(argv + 1, argv + argc), cl, error)) {
        std::istringstream lines(error);
        for (std::string line; std::getline(lines, line);)
            std::fprintf(stderr, "benchlord-sim: %s\n", line.c_str());
        std::fputs("Try 'benchlord-sim --help'.\n", stderr);
        return 2;
    }
    if (cl.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (cl.version) {
        std::fputs("benchlord-sim " BENCHLORD_VERSION "\n" BENCHLORD_VERSION_NOTICE, stdout);
        return 0;
    }
    // Signals are taken through a descriptor, blocked before the supply's thread exists so
    // that no other thread receives them.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    const int sigFd = signalfd(-1, &mask, SFD_CLOEXEC);

    static std::mutex errLock;
    if (cl.verbose)
        cl.options.trace = [](const std::string& line) {
            std::lock_guard<std::mutex> lock(errLock);
            std::fprintf(stderr, "%s\n", line.c_str());
        };
    auto sup = VirtualSupply::Start(cl.options, &error);
    if (!sup) {
        std::fprintf(stderr, "benchlord-sim: %s\n", error.c_str());
        return 1;
    }
    for (const auto& line : sup->EndpointLines())
        std::printf("%s\n", line.c_str());
    if (!cl.options.ptyLink.empty()) std::printf("link %s\n", cl.options.ptyLink.c_str());
    std::fflush(stdout);

    bool stdinOpen = true;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{sigFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (poll(fds, stdinOpen ? 2 : 1, -1) < 0) continue;
        if (fds[0].revents & POLLIN) break;
        if (!stdinOpen || !(fds[1].revents & (POLLIN | POLLHUP))) continue;
        char buf[512];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            if (cl.exitOnEof) break;
            stdinOpen = false;  // keep serving until a signal
            continue;
        }
        pending.append(buf, static_cast<size_t>(n));
        bool quit = false;
        for (size_t nl; !quit && (nl = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            const SimCommandResult r = SimRunCommand(*sup, line);
            std::fputs(r.text.c_str(), stdout);
            std::fflush(stdout);
            quit = r.quit;
        }
        if (quit) break;
    }
    sup->Stop();
    return 0;
}
