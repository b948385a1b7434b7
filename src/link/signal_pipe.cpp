#include "link/signal_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> gWriteFd{-1};
struct sigaction gPrevious[3];

void OnSignal(int ASignal) {
    const int saved = errno;
    const int fd = gWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(ASignal);
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

TSignalPipe::TSignalPipe(QObject* AParent) : QObject(AParent) {
    if (::pipe2(fFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWriteFd.store(fFds[1]);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(kSignals[i], &sa, &gPrevious[i]);
    }
    fNotifier = std::make_unique<QSocketNotifier>(fFds[0], QSocketNotifier::Read);
    connect(fNotifier.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
}

TSignalPipe::~TSignalPipe() {
    if (fFds[1] >= 0) {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &gPrevious[i], nullptr);
        gWriteFd.store(-1);
    }
    fNotifier.reset();
    for (int fd : fFds)
        if (fd >= 0) ::close(fd);
}

void TSignalPipe::Drain() {
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(fFds[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            if (fOnSignal) fOnSignal(bytes[i]);
    }
}
