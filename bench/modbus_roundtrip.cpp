// Round trip of ReadHoldingRegisters (10 registers) over loopback TCP: the full stack (master,
// request helper, TCP connector and its worker) against a plain blocking socket client doing the
// same exchange with the same minimal slave, in the same run.
//
//   bench_modbus_roundtrip [requests]     (default 20000)
//
// Figures: the plain client's median round trip and requests per second; the stack with its
// connector queue kept full (median interval between completions, requests per second); the
// stack with one request at a time (median round trip from the call to the completion).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link/modbus_frames.h"
#include "link/modbus_master.h"
#include "link/tcp_connector.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint16_t kRegisters = 10;

bool ReadExactly(int AFd, uint8_t* ABuf, size_t ALen) {
    size_t got = 0;
    while (got < ALen) {
        const ssize_t n = recv(AFd, ABuf + got, ALen - got, 0);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int AFd, const uint8_t* ABuf, size_t ALen) {
    size_t put = 0;
    while (put < ALen) {
        const ssize_t n = send(AFd, ABuf + put, ALen - put, MSG_NOSIGNAL);
        if (n <= 0) return false;
        put += static_cast<size_t>(n);
    }
    return true;
}

// Minimal Modbus TCP slave: one connection at a time, function 3 only, register r holds r.
class TMiniSlave {
public:
    TMiniSlave() {
        FListen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(addr);
        if (bind(FListen, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            listen(FListen, 4) != 0 ||
            getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            throw std::runtime_error("slave socket");
        FPort = ntohs(addr.sin_port);
        FThread = std::thread([this] { Run(); });
    }
    ~TMiniSlave() {
        FStop.store(true);
        shutdown(FListen, SHUT_RDWR);
        close(FListen);
        FThread.join();
    }
    uint16_t Port() const { return FPort; }

private:
    void Run() {
        while (!FStop.load()) {
            const int fd = accept(FListen, nullptr, nullptr);
            if (fd < 0) return;
            Serve(fd);
            close(fd);
        }
    }
    static void Serve(int AFd) {
        uint8_t req[260];
        uint8_t rep[260];
        while (ReadExactly(AFd, req, 6)) {
            const size_t body = req[5];
            if (body < 2 || !ReadExactly(AFd, req + 6, body)) return;
            const uint16_t start = static_cast<uint16_t>(req[8] << 8 | req[9]);
            const uint16_t count = std::min<uint16_t>(req[10] << 8 | req[11], 125);
            std::copy(req, req + 8, rep);  // transaction, protocol, length, unit, function
            rep[5] = static_cast<uint8_t>(3 + 2 * count);
            rep[8] = static_cast<uint8_t>(2 * count);
            for (uint16_t i = 0; i < count; ++i) {
                const uint16_t v = static_cast<uint16_t>(start + i);
                rep[9 + 2 * i] = static_cast<uint8_t>(v >> 8);
                rep[10 + 2 * i] = static_cast<uint8_t>(v);
            }
            if (!WriteAll(AFd, rep, 9 + 2 * count)) return;
        }
    }

    int FListen = -1;
    uint16_t FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

double MedianUs(std::vector<double> AValues) {
    if (AValues.empty()) return 0;
    std::nth_element(AValues.begin(), AValues.begin() + AValues.size() / 2, AValues.end());
    return AValues[AValues.size() / 2];
}

double UsBetween(Clock::time_point A, Clock::time_point B) {
    return std::chrono::duration<double, std::micro>(B - A).count();
}

struct TFigures {
    double MedianUs = 0;
    double PerSecond = 0;
};

TFigures PlainClient(uint16_t APort, int ARequests) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(APort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
        throw std::runtime_error("plain connect");
    TKRBuffer frame{};
    uint8_t recvLen = 0;
    const uint8_t len = ReadHoldingRegistersPack(mbtTCP, 1, 0, kRegisters, frame, recvLen);
    std::vector<double> rtt;
    rtt.reserve(ARequests);
    uint8_t reply[260];
    const auto begin = Clock::now();
    for (int i = 0; i < ARequests; ++i) {
        frame[0] = static_cast<uint8_t>(i);
        const auto t0 = Clock::now();
        if (!WriteAll(fd, frame.data(), len) || !ReadExactly(fd, reply, recvLen))
            throw std::runtime_error("plain exchange");
        rtt.push_back(UsBetween(t0, Clock::now()));
        if (reply[0] != frame[0] || reply[9] != 0 || reply[10] != 0)
            throw std::runtime_error("plain reply");
    }
    const double total = UsBetween(begin, Clock::now());
    close(fd);
    return {MedianUs(rtt), ARequests / (total / 1e6)};
}

// Drives the stack: keeps AInFlight requests accepted at all times until ARequests completed.
TFigures Stack(TKRModbusMaster& AMaster, int ARequests, int AInFlight, bool AFromCall) {
    int issued = 0;
    int completed = 0;
    int failures = 0;
    std::vector<Clock::time_point> issuedAt(ARequests);
    std::vector<double> samples;
    samples.reserve(ARequests);
    Clock::time_point last;
    QEventLoop loop;
    std::function<void()> issue;
    auto handler = [&](int index) {
        return [&, index](int32_t err, const void* data) {
            const auto now = Clock::now();
            if (err != 0 || data == nullptr ||
                static_cast<const TKRRegisters*>(data)->size() != kRegisters)
                ++failures;
            samples.push_back(UsBetween(AFromCall ? issuedAt[index] : last, now));
            last = now;
            if (++completed == ARequests) loop.quit();
            if (issued < ARequests) issue();
        };
    };
    issue = [&] {
        const int index = issued++;
        issuedAt[index] = Clock::now();
        AMaster.ReadHoldingRegisters(mbtTCP, 1, 0, kRegisters, handler(index));
    };
    const auto begin = Clock::now();
    last = begin;
    for (int i = 0; i < AInFlight && issued < ARequests; ++i)
        issue();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double total = UsBetween(begin, Clock::now());
    if (completed != ARequests || failures != 0)
        throw std::runtime_error("stack: " + std::to_string(completed) + " completed, " +
                                 std::to_string(failures) + " failed");
    // The first interval with a full queue includes the connection warm-up.
    if (!AFromCall && !samples.empty()) samples.erase(samples.begin());
    return {MedianUs(samples), ARequests / (total / 1e6)};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int requests = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 20000;
    TMiniSlave slave;

    TKRTCPConnector tcp;
    tcp.SetIP("127.0.0.1");
    tcp.SetPort(slave.Port());
    TKRModbusMaster master;
    master.SetConnector(&tcp);

    // Warm up both paths, then measure plain, stack, plain again and keep the better plain run.
    PlainClient(slave.Port(), 1000);
    TFigures plain = PlainClient(slave.Port(), requests);
    master.SetActive(true);
    if (!tcp.Connected()) {
        std::fprintf(stderr, "connector did not connect\n");
        return 1;
    }
    Stack(master, 1000, 1, true);
    const TFigures full = Stack(master, requests, TKRModbusMaster::kMaxQueued, false);
    const TFigures single = Stack(master, requests, 1, true);
    master.SetActive(false);
    const TFigures plain2 = PlainClient(slave.Port(), requests);
    if (plain2.MedianUs < plain.MedianUs) plain = plain2;

    std::printf("requests per run: %d, ReadHoldingRegisters of %u registers, loopback TCP\n",
                requests, kRegisters);
    std::printf("plain blocking client : median round trip %8.1f us, %9.0f requests/s\n",
                plain.MedianUs, plain.PerSecond);
    std::printf("stack, queue full     : median interval   %8.1f us, %9.0f requests/s\n",
                full.MedianUs, full.PerSecond);
    std::printf("stack, one at a time  : median round trip %8.1f us, %9.0f requests/s\n",
                single.MedianUs, single.PerSecond);
    std::printf("ratio stack/plain round trip: queue full %.2fx, one at a time %.2fx\n",
                full.MedianUs / plain.MedianUs, single.MedianUs / plain.MedianUs);
    std::printf("ratio plain/stack requests per second: queue full %.2fx\n",
                plain.PerSecond / full.PerSecond);
    return 0;
}
