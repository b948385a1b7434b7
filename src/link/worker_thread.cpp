#include "link/worker_thread.h"

#include <poll.h>
#include <pthread.h>

#include <cerrno>
#include <ctime>

TKRThread2::TKRThread2(const TKREvent* AWaitEvent) : FWorkEvent(AWaitEvent) {}

TKRThread2::~TKRThread2() {
    Terminate();
    WaitFor();
}

void TKRThread2::Start() {
    if (!FThread.joinable()) FThread = std::thread([this] { Execute(); });
}

void TKRThread2::Terminate() {
    FTerminated.store(true);
    FStopEvent.Set();
}

void TKRThread2::WaitFor() {
    if (FThread.joinable()) FThread.join();
}

void TKRThread2::SleepUnlessStopped(uint64_t AMicros) const {
    timespec t{static_cast<time_t>(AMicros / 1000000u),
               static_cast<long>(AMicros % 1000000u) * 1000};
    pollfd p{FStopEvent.Fd(), POLLIN, 0};
    while (ppoll(&p, 1, &t, nullptr) < 0 && errno == EINTR) {
    }
}

void TKRThread2::SetActive(bool Value) {
    FActive.store(Value);
    FWakeEvent.Set();
}

void TKRThread2::Execute() {
    // A name for top, perf and the benchmarks that count this thread's wake-ups.
    pthread_setname_np(pthread_self(), kThreadName);
    while (!FTerminated.load()) {
        // While inactive the work event is not watched, so a set event cannot make us spin.
        bool active = FActive.load();
        int r = KRWaitForAny({&FStopEvent, active ? FWorkEvent : &FWakeEvent}, -1);
        if (r != 1) break;  // stop event or a failed wait
        if (!active) {
            FWakeEvent.Reset();
            Deactivated();
            continue;
        }
        while (FActive.load() && !FTerminated.load()) {
            WorkStep();
            if (!WorkPending()) break;
        }
    }
}
