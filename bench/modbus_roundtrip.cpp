// Round trip of ReadHoldingRegisters (10 registers) over loopback TCP: the full stack (master,
// request helper, TCP connector and its worker) against a plain blocking socket client doing the
// same exchange with the same minimal slave, in the same run.
//
//   bench_modbus_roundtrip [requests]     (default 20000)
//
// A third client does the plain exchange with the waits of the TCP worker added (peek for
// stale input, poll for writability, poll for the reply), which separates the cost of those
// system calls from the cost of handing each packet between threads.
//
// Columns: "rtt" is the median from the call to the reply in hand (with the queue kept full
// this is mostly the wait behind 254 other requests); "cycle" is the median interval between
// consecutive requests arriving at the slave, i.e. the time each client spends per request as
// seen on the wire, which is what the ratios compare; "req/s" is the whole run's rate and
// suffers from any other load on the machine.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
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

// Minimal Modbus TCP slave: a thread per connection, function 3 only, register r holds r.
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
        FThread.join();
        close(FListen);
        for (auto& t : FClients)
            t.join();
    }
    uint16_t Port() const { return FPort; }

    // Arrival times of the requests since the last call (only one client is busy at a time).
    std::vector<Clock::time_point> TakeArrivals() {
        std::lock_guard lock(FArrivalsLock);
        return std::exchange(FArrivals, {});
    }

private:
    void Run() {
        while (!FStop.load()) {
            const int fd = accept(FListen, nullptr, nullptr);
            if (fd < 0) return;
            // Ends when the client closes its side.
            FClients.emplace_back([this, fd] {
                Serve(fd);
                close(fd);
            });
        }
    }
    void Serve(int AFd) {
        uint8_t req[260];
        uint8_t rep[260];
        while (ReadExactly(AFd, req, 6)) {
            const size_t body = req[5];
            if (body < 2 || !ReadExactly(AFd, req + 6, body)) return;
            {
                std::lock_guard lock(FArrivalsLock);
                FArrivals.push_back(Clock::now());
            }
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
    std::vector<std::thread> FClients;  // accept thread only, joined after it
    std::mutex FArrivalsLock;
    std::vector<Clock::time_point> FArrivals;
};

double MedianUs(std::vector<double> AValues) {
    if (AValues.empty()) return 0;
    std::nth_element(AValues.begin(), AValues.begin() + AValues.size() / 2, AValues.end());
    return AValues[AValues.size() / 2];
}

double UsBetween(Clock::time_point A, Clock::time_point B) {
    return std::chrono::duration<double, std::micro>(B - A).count();
}

// Figures of one run. Rtt: median from the call to the reply in hand. CycleUs: median interval
// between consecutive requests arriving at the slave, the client's whole per-request cycle as
// seen on the wire; unlike means it is not distorted by a preempted request, and unlike the
// intervals between completions not by completions handled in bursts.
struct TFigures {
    double MedianRttUs = 0;
    double CycleUs = 0;
    double PerSecond = 0;
};

TFigures Figures(const std::vector<double>& ARtt, const std::vector<Clock::time_point>& AArrivals,
                 double ATotalUs) {
    std::vector<double> cycles;
    for (size_t k = 1; k < AArrivals.size(); ++k)
        cycles.push_back(UsBetween(AArrivals[k - 1], AArrivals[k]));
    return {MedianUs(ARtt), MedianUs(cycles), ARtt.size() / (ATotalUs / 1e6)};
}

// Waits like the TCP worker: poll for the socket and a second (never set) descriptor.
bool PollFor(int AFd, int AOther, short AEvents) {
    pollfd fds[2] = {{AFd, static_cast<short>(AEvents | POLLPRI), 0}, {AOther, POLLIN, 0}};
    return poll(fds, 2, 500) > 0 && (fds[0].revents & AEvents) != 0;
}

// AWorkerWaits: before each exchange peek for stale input, poll for writability and poll for the
// reply before receiving, the calls the connector's worker makes around the same send/recv.
TFigures PlainClient(TMiniSlave& ASlave, int ARequests, bool AWorkerWaits = false) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(ASlave.Port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
        throw std::runtime_error("plain connect");
    TKRBuffer frame{};
    uint8_t recvLen = 0;
    const uint8_t len = ReadHoldingRegistersPack(mbtTCP, 1, 0, kRegisters, frame, recvLen);
    std::vector<double> rtt;
    rtt.reserve(ARequests);
    int other[2];
    if (pipe(other) != 0) throw std::runtime_error("pipe");
    uint8_t reply[260];
    ASlave.TakeArrivals();
    const auto begin = Clock::now();
    for (int i = 0; i < ARequests; ++i) {
        frame[0] = static_cast<uint8_t>(i);
        const auto t0 = Clock::now();
        if (AWorkerWaits) {
            uint8_t peek;
            if (recv(fd, &peek, 1, MSG_PEEK | MSG_DONTWAIT) == 1 || !PollFor(fd, other[0], POLLOUT))
                throw std::runtime_error("plain waits");
        }
        if (!WriteAll(fd, frame.data(), len)) throw std::runtime_error("plain send");
        if (AWorkerWaits && !PollFor(fd, other[0], POLLIN)) throw std::runtime_error("plain waits");
        if (!ReadExactly(fd, reply, recvLen)) throw std::runtime_error("plain exchange");
        rtt.push_back(UsBetween(t0, Clock::now()));
        if (reply[0] != frame[0] || reply[9] != 0 || reply[10] != 0)
            throw std::runtime_error("plain reply");
    }
    const double total = UsBetween(begin, Clock::now());
    close(fd);
    close(other[0]);
    close(other[1]);
    return Figures(rtt, ASlave.TakeArrivals(), total);
}

// Drives the stack: keeps AInFlight requests accepted at all times until ARequests completed.
TFigures Stack(TMiniSlave& ASlave, TKRModbusMaster& AMaster, int ARequests, int AInFlight) {
    int issued = 0;
    int failures = 0;
    std::vector<Clock::time_point> issuedAt(ARequests);
    std::vector<double> rtt;
    rtt.reserve(ARequests);
    QEventLoop loop;
    std::function<void()> issue;
    auto handler = [&](int index) {
        return [&, index](int32_t err, const void* data) {
            rtt.push_back(UsBetween(issuedAt[index], Clock::now()));
            if (err != 0 || data == nullptr ||
                static_cast<const TKRRegisters*>(data)->size() != kRegisters)
                ++failures;
            if (static_cast<int>(rtt.size()) == ARequests) loop.quit();
            if (issued < ARequests) issue();
        };
    };
    issue = [&] {
        const int index = issued++;
        issuedAt[index] = Clock::now();
        AMaster.ReadHoldingRegisters(mbtTCP, 1, 0, kRegisters, handler(index));
    };
    ASlave.TakeArrivals();
    const auto begin = Clock::now();
    for (int i = 0; i < AInFlight && issued < ARequests; ++i)
        issue();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double total = UsBetween(begin, Clock::now());
    if (static_cast<int>(rtt.size()) != ARequests || failures != 0)
        throw std::runtime_error("stack: " + std::to_string(rtt.size()) + " completed, " +
                                 std::to_string(failures) + " failed");
    return Figures(rtt, ASlave.TakeArrivals(), total);
}

void Print(const char* AName, const TFigures& AF) {
    std::printf("%-24s %9.1f %9.1f %10.0f\n", AName, AF.MedianRttUs, AF.CycleUs, AF.PerSecond);
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
    master.SetActive(true);
    if (!tcp.Connected()) {
        std::fprintf(stderr, "connector did not connect\n");
        return 1;
    }

    // Warm up both paths, then alternate so that load changes hit every variant alike.
    PlainClient(slave, 1000);
    Stack(slave, master, 1000, 1);
    const TFigures plain = PlainClient(slave, requests);
    const TFigures full = Stack(slave, master, requests, TKRModbusMaster::kMaxQueued);
    const TFigures waits = PlainClient(slave, requests, true);
    const TFigures single = Stack(slave, master, requests, 1);
    master.SetActive(false);

    std::printf("%d x ReadHoldingRegisters(%u registers), loopback TCP\n", requests, kRegisters);
    std::printf("%-24s %9s %9s %10s\n", "", "rtt us", "cycle us", "req/s");
    Print("plain blocking client", plain);
    Print("plain + worker's waits", waits);
    Print("stack, queue kept full", full);
    Print("stack, one at a time", single);
    std::printf("stack/plain per-request cycle: queue full %.2fx, one at a time %.2fx\n",
                full.CycleUs / plain.CycleUs, single.CycleUs / plain.CycleUs);
    std::printf("stack/plain median round trip, one at a time: %.2fx\n",
                single.MedianRttUs / plain.MedianRttUs);
    std::printf("plain/stack requests per second, queue full: %.2fx\n",
                plain.PerSecond / full.PerSecond);
    return 0;
}
