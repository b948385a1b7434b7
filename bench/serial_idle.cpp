// Serial connector costs over a pseudo-terminal:
//  1. CPU used by a connected serial connector with an empty queue, against the same process
//     with no connector (both measured with getrusage over the same wall time).
//  2. CPU used while the worker waits for a reply that never comes, against a loop that polls
//     the input count without pausing for the same time.
//  3. Time from the last reply byte leaving the device to the completion handler running on the
//     user-interface thread, against the bare pty hand-over (device write to poll wake-up).
//
// Usage: bench_serial_idle [seconds-per-idle-phase]   (default 3)

#include <poll.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/com_port_connector.h"
#include "tests/link/pty_device.h"

namespace {
using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void RunLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU share of one core used while the event loop idles for `ms`.
double IdleShare(int ms) {
    const double c0 = CpuSeconds();
    const auto t0 = Clock::now();
    RunLoopFor(ms);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    return (CpuSeconds() - c0) / wall;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

double UsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t).count();
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int idleMs = (argc > 1 ? std::max(1, std::atoi(argv[1])) : 3) * 1000;

    PtyDevice device;
    if (!device.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }

    // 1. Idle CPU.
    const double baseline = IdleShare(idleMs);
    TKRCOMPortConnector con;
    con.SetPort(device.SlavePath());
    con.SetBaudRate(9600);
    con.SetReadTimeout(500);
    con.SetWriteTimeout(500);
    con.SetWaitRespTime(1000);
    con.SetActive(true);
    if (!con.Connected()) {
        std::fprintf(stderr, "port did not open\n");
        return 1;
    }
    const double idle = IdleShare(idleMs);
    std::printf("idle CPU, no connector:               %8.4f %% of a core\n", baseline * 100);
    std::printf("idle CPU, connected serial connector: %8.4f %% of a core (%.2fx baseline)\n",
                idle * 100, baseline > 0 ? idle / baseline : 0.0);

    // 2. CPU while waiting for a reply that never comes (the device stays silent): each exchange
    // waits the full 1000 ms window.
    const std::vector<uint8_t> request{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
    con.SetCountErrorsForReconnect(0);
    {
        int done = 0;
        QEventLoop loop;
        const double c0 = CpuSeconds();
        const auto t0 = Clock::now();
        const int exchanges = std::max(1, idleMs / 1000);
        for (int i = 0; i < exchanges; ++i) {
            auto* buf = new TKRBuffer{};
            std::copy(request.begin(), request.end(), buf->begin());
            con.Send(
                buf, 8,
                [&](int32_t, PKRBuffer p, int32_t, void*) {
                    delete p;
                    if (++done == exchanges) loop.quit();
                },
                nullptr, true, 25);
        }
        loop.exec();
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double waiting = (CpuSeconds() - c0) / wall;
        device.Receive(8 * exchanges, 0);

        // The same wait as a loop that polls the input count without pausing.
        TKRCOMPort& port = con.ComPort();
        con.SetActive(false);
        port.Open();
        const double s0 = CpuSeconds();
        const auto w0 = Clock::now();
        uint64_t polls = 0;
        while (Clock::now() - w0 < std::chrono::milliseconds(1000))
            polls += port.InputCount() > 0;
        const double spin =
            (CpuSeconds() - s0) / std::chrono::duration<double>(Clock::now() - w0).count();
        port.Close();
        std::printf("CPU while waiting for a silent device: %8.4f %% of a core\n", waiting * 100);
        std::printf(
            "  input-count loop without pause:      %8.2f %% of a core (poll-based wait uses "
            "%.4fx)\n",
            spin * 100, spin > 0 ? waiting / spin : 0.0);
        con.SetActive(true);
    }

    // 3. Latency from the last reply byte to the completion on the UI thread.
    constexpr int kRounds = 300;
    const std::vector<uint8_t> reply{0x01, 0x03, 0x14, 0, 1, 0, 2, 0, 3, 0,  4,    0,   5,
                                     0,    6,    0,    7, 0, 8, 0, 9, 0, 10, 0x12, 0x34};
    std::vector<double> lat;
    std::atomic<int64_t> sentNs{0};
    std::atomic<bool> stop{false};
    std::thread dev([&] {
        while (!stop.load()) {
            pollfd p{device.MasterFd(), POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            if (device.Receive(8, 200).size() != 8) continue;
            sentNs.store(Clock::now().time_since_epoch().count());
            device.Send(reply);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        QEventLoop loop;
        double us = 0;
        auto* buf = new TKRBuffer{};
        std::copy(request.begin(), request.end(), buf->begin());
        con.Send(
            buf, 8,
            [&](int32_t err, PKRBuffer p, int32_t, void*) {
                const Clock::time_point sent{Clock::duration(sentNs.load())};
                us = err == 0 ? UsSince(sent) : -1;
                delete p;
                loop.quit();
            },
            nullptr, true, static_cast<int32_t>(reply.size()));
        loop.exec();
        if (us >= 0) lat.push_back(us);
    }
    stop.store(true);
    dev.join();
    con.SetActive(false);

    // Bare pty hand-over: device writes, a poll on the slave wakes, FIONREAD sees the bytes.
    std::vector<double> raw;
    {
        TKRCOMPort port;
        port.SetPort(device.SlavePath());
        port.SetBaudRate(9600);
        port.Open();
        uint8_t buf[64];
        for (int i = 0; i < kRounds; ++i) {
            const auto t0 = Clock::now();
            device.Send(reply);
            while (port.InputCount() < static_cast<int32_t>(reply.size()))
                port.WaitForInput(100);
            raw.push_back(UsSince(t0));
            port.Read(buf, sizeof buf);
        }
    }
    std::printf(
        "last reply byte -> UI completion (%zu rounds): median %.0f us, p95 %.0f us, "
        "max %.0f us\n",
        lat.size(), Percentile(lat, 0.5), Percentile(lat, 0.95), Percentile(lat, 1.0));
    std::printf(
        "  bare pty hand-over:                  median %.0f us, p95 %.0f us "
        "(connector median is %.2fx)\n",
        Percentile(raw, 0.5), Percentile(raw, 0.95), Percentile(lat, 0.5) / Percentile(raw, 0.5));
    return 0;
}
