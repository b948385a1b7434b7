#include "sim/virtual_supply.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "sim/sim_device.h"
#include "sim/sim_endpoints.h"

using SteadyClock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

namespace {
constexpr size_t kMaxTcpClients = 8;
constexpr uint32_t kBootBaud = 38400;
constexpr size_t kMaxPendingBytes = 1 << 20;

// One byte stream: a TCP client, the pseudo-terminal or a tty. Owned by the supply's thread.
struct Stream {
    int fd = -1;
    bool tcp = false;
    SimRtuFramer rtu;
    SimTcpFramer mbap;
    SteadyClock::time_point lastRx{};
    // Bytes waiting to go out, each with the time it may leave (wire-time pacing).
    std::deque<std::pair<uint8_t, SteadyClock::time_point>> out;
    SteadyClock::time_point lineFree{};
    SteadyClock::time_point rxFree{};  // the last received byte has fully arrived (boot loader)
    bool dead = false;
};

std::string Hex(const uint8_t* data, size_t len) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < len; ++i) {
        std::snprintf(b, sizeof b, i ? " %02x" : "%02x", data[i]);
        s += b;
    }
    return s;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& data) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    data.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(f);
}

double DefaultInputVolts(const SimIdentity& id) {
    const auto limits = SimLookupModel(id.model).value_or(SimModelLimits{});
    return limits.maxUset / 100.0 + 6.0;
}
}  // namespace

// What the server does with one request, decided under the lock.
struct Decision {
    std::vector<uint8_t> pdu;
    bool send = false;
    bool corrupt = false;
    bool close = false;
    bool badTid = false;
    bool boot = false;  // the line runs the boot loader's settings
    uint32_t delayMs = 0;
};

struct VirtualSupply::Impl {
    explicit Impl(const VirtualSupplyOptions& o)
        : opt(o),
          clock(o.clock ? *o.clock : SystemTickClock()),
          dev(o.identity, o.loadOhms,
              o.inputVolts > 0 ? o.inputVolts : DefaultInputVolts(o.identity), clock.TickCount()),
          rom(o.boot),
          faults(o.faults) {
        dev.SetTemperature(o.temperature, clock.TickCount());
        if (o.diode)
            dev.SetLoad(SimLoad::Diode(*o.diode), clock.TickCount());
        else if (o.battery)
            dev.SetLoad(SimLoad::Battery(*o.battery), clock.TickCount());
    }

    ~Impl() {
        Close();
        if (wakeFd >= 0) close(wakeFd);
    }

    bool Open(std::string& error);
    void Close();
    void Run();
    void Wake() {
        const uint64_t one = 1;
        if (wakeFd >= 0) (void)!write(wakeFd, &one, sizeof one);
    }
    uint32_t Now() const { return clock.TickCount(); }

    Decision Execute(const uint8_t* pdu, size_t len, bool tcp, std::string& trace);
    void OnTcpData(Stream& s, const uint8_t* data, size_t len);
    void OnSerialData(Stream& s, const uint8_t* data, size_t len);
    void OnRtuFrame(Stream& s, const std::vector<uint8_t>& frame);
    void Schedule(Stream& s, const std::vector<uint8_t>& bytes, size_t requestBytes,
                  uint32_t delayMs, bool boot);
    void ScheduleBoot(Stream& s, const std::vector<uint8_t>& bytes, SteadyClock::time_point ready);
    void Flush(Stream& s);
    void ModeChanged(bool boot);
    void Trace(const std::string& line) {
        if (opt.trace && !line.empty()) opt.trace(line);
    }
    nanoseconds ByteTime(bool boot) const {
        if (!opt.wireTime) return nanoseconds(0);
        const uint32_t baud = boot ? kBootBaud : opt.baud;
        const uint64_t bits = boot || opt.parity != 'N' ? 11u : 10u;  // start, 8 data, parity, stop
        return nanoseconds(bits * 1000000000u / baud);
    }
    nanoseconds SilenceGap() const {
        // 3.5 characters of 11 bits, at least 2 ms so that a pty burst is never split.
        return std::max(nanoseconds(uint64_t{385} * 100000000u / opt.baud), nanoseconds(2000000));
    }

    const VirtualSupplyOptions opt;
    const TTickClock& clock;

    // Device state, shared with the API; guarded by mu.
    std::mutex mu;
    std::condition_variable cv;
    SimDevice dev;
    SimBootRom rom;
    SimFaults faults;
    bool boot = false;
    std::vector<SimWrite> writes;
    uint64_t requests = 0;
    uint64_t framesDropped = 0;  // RTU frames that ended in silence unreadable
    uint64_t replies = 0;
    uint64_t rtuReplies = 0;
    uint64_t shortReplies = 0;
    uint64_t tcpReplies = 0;
    uint32_t accepted = 0;

    // Descriptors, owned by the supply's thread once it runs.
    int listenFd = -1;
    int wakeFd = -1;
    int ptySlave = -1;
    uint16_t port = 0;
    std::string ptyPath;
    std::string linkPath;
    std::vector<std::unique_ptr<Stream>> lines;    // pty master and tty
    std::vector<std::unique_ptr<Stream>> clients;  // TCP connections
    int ttyFd = -1;
    bool loopBoot = false;

    std::mutex stopMu;  // one Stop at a time
    std::atomic<bool> stop{false};
    std::atomic<bool> closeTcp{false};
    std::thread thread;
};

bool VirtualSupply::Impl::Open(std::string& error) {
    if (opt.parity != 'N' && opt.parity != 'E' && opt.parity != 'O') {
        error = "parity must be N, E or O";
        return false;
    }
    if (!SimKnownBaud(opt.baud)) {
        error = "unsupported baud rate " + std::to_string(opt.baud);
        return false;
    }
    if (!opt.flashIn.empty()) {
        std::vector<uint8_t> image;
        if (!ReadFile(opt.flashIn, image)) {
            error = "cannot read " + opt.flashIn;
            return false;
        }
        rom.LoadImage(image);
    }
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        error = "eventfd failed";
        return false;
    }
    if (opt.tcp) {
        listenFd = SimOpenListener(opt.tcpHost, opt.tcpPort, port, error);
        if (listenFd < 0) return false;
    }
    if (opt.pty) {
        int master = -1;
        if (!SimOpenPty(opt.baud, master, ptySlave, ptyPath, error)) return false;
        auto s = std::make_unique<Stream>();
        s->fd = master;
        lines.push_back(std::move(s));
        if (!opt.ptyLink.empty()) {
            if (!SimMakeLink(opt.ptyLink, ptyPath, error)) return false;
            linkPath = opt.ptyLink;
        }
    }
    if (!opt.serialDevice.empty()) {
        ttyFd = SimOpenTty(opt.serialDevice, opt.baud, opt.parity, error);
        if (ttyFd < 0) return false;
        auto s = std::make_unique<Stream>();
        s->fd = ttyFd;
        lines.push_back(std::move(s));
    }
    return true;
}

void VirtualSupply::Impl::Close() {
    for (auto& s : clients)
        close(s->fd);
    clients.clear();
    for (auto& s : lines)
        close(s->fd);
    lines.clear();
    // The wake descriptor stays until the end: API calls may still poke it after a stop.
    for (int* fd : {&listenFd, &ptySlave})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    if (!linkPath.empty()) {
        unlink(linkPath.c_str());
        linkPath.clear();
    }
}

Decision VirtualSupply::Impl::Execute(const uint8_t* pdu, size_t len, bool tcp,
                                      std::string& trace) {
    Decision d;
    std::lock_guard<std::mutex> lock(mu);
    ++requests;
    d.boot = boot;
    if (!boot) {  // in the boot loader the application does not answer Modbus
        if (faults.exceptionCode) {
            d.pdu = SimExceptionPdu(pdu[0], faults.exceptionCode);
        } else {
            SimPduOutcome o = SimExecutePdu(dev, pdu, len, Now());
            if (o.write) writes.push_back(std::move(*o.write));
            if (o.bootJump) {
                boot = true;
                rom.Reset();
            }
            d.pdu = std::move(o.reply);
        }
    }
    cv.notify_all();
    if (opt.trace) trace = std::string(tcp ? "tcp" : "rtu") + " < " + Hex(pdu, len);
    if (d.pdu.empty()) return d;
    ++replies;
    if (faults.dropEvery && replies % faults.dropEvery == 0) {
        if (opt.trace) trace += " (reply dropped)";
        return d;
    }
    d.send = true;
    if (faults.shortEvery && ++shortReplies % faults.shortEvery == 0 && d.pdu.size() > 2)
        d.pdu.pop_back();
    if (!tcp && faults.corruptCrcEvery && ++rtuReplies % faults.corruptCrcEvery == 0)
        d.corrupt = true;
    if (tcp && faults.closeAfter && ++tcpReplies % faults.closeAfter == 0) d.close = true;
    d.badTid = tcp && faults.badTransaction;
    d.delayMs = faults.replyDelayMs;
    if (opt.trace) trace += " | > " + Hex(d.pdu.data(), d.pdu.size());
    return d;
}

void VirtualSupply::Impl::Schedule(Stream& s, const std::vector<uint8_t>& bytes,
                                   size_t requestBytes, uint32_t delayMs, bool bootLine) {
    if (s.out.size() > kMaxPendingBytes) {
        // A client that never reads: a bridge would give up on it, a wire would lose the bytes.
        if (s.tcp) s.dead = true;
        s.out.clear();
        return;
    }
    const nanoseconds bt = ByteTime(bootLine);
    auto start = SteadyClock::now() + std::chrono::milliseconds(delayMs);
    // The request itself still travels the wire, then the slave waits 3.5 characters.
    if (requestBytes) start += bt * requestBytes + bt * 7 / 2;
    start = std::max(start, s.lineFree);
    for (size_t i = 0; i < bytes.size(); ++i)
        s.out.emplace_back(bytes[i], start + bt * i);
    s.lineFree = start + bt * bytes.size();
}

void VirtualSupply::Impl::Flush(Stream& s) {
    const auto now = SteadyClock::now();
    std::vector<uint8_t> due;
    for (const auto& [b, t] : s.out) {
        if (t > now) break;
        due.push_back(b);
    }
    if (due.empty()) return;
    const ssize_t n = s.tcp ? send(s.fd, due.data(), due.size(), MSG_NOSIGNAL)
                            : write(s.fd, due.data(), due.size());
    if (n > 0) {
        s.out.erase(s.out.begin(), s.out.begin() + n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        if (s.tcp)
            s.dead = true;
        else
            s.out.clear();  // nobody on the line; the bytes are lost as on a real wire
    }
}

void VirtualSupply::Impl::OnTcpData(Stream& s, const uint8_t* data, size_t len) {
    s.mbap.Push(data, len);
    SimTcpRequest req;
    for (;;) {
        const auto r = s.mbap.Next(req);
        if (r == SimTcpFramer::needMore) return;
        if (r == SimTcpFramer::broken) {
            s.dead = true;
            return;
        }
        if (req.protocol != 0 || req.pdu.empty()) continue;  // not Modbus: ignored
        if (req.unit != opt.address && req.unit != 0 && req.unit != 0xFF) continue;
        std::string trace;
        const Decision d = Execute(req.pdu.data(), req.pdu.size(), true, trace);
        Trace(trace);
        if (d.close) {
            s.dead = true;
            return;
        }
        if (!d.send) continue;
        const uint16_t tid =
            d.badTid ? static_cast<uint16_t>(req.transaction ^ 0x5A5A) : req.transaction;
        Schedule(s, SimTcpFrame(tid, req.unit, d.pdu), req.pdu.size() + 3, d.delayMs, d.boot);
    }
}

void VirtualSupply::Impl::OnRtuFrame(Stream& s, const std::vector<uint8_t>& frame) {
    if (frame.size() < 2) return;
    const uint8_t addr = frame[0];
    if (addr != opt.address && addr != 0) return;  // another slave on the bus
    std::string trace;
    const Decision d = Execute(frame.data() + 1, frame.size() - 1, false, trace);
    Trace(trace);
    if (addr == 0 || !d.send) return;  // broadcasts are never answered
    Schedule(s, SimRtuFrame(opt.address, d.pdu, d.corrupt), frame.size() + 2, d.delayMs, d.boot);
}

void VirtualSupply::Impl::ScheduleBoot(Stream& s, const std::vector<uint8_t>& bytes,
                                       SteadyClock::time_point ready) {
    // Each byte leaves once its last bit is on the wire, after the line is free again.
    const nanoseconds bt = ByteTime(true);
    const auto start = std::max(ready, s.lineFree);
    for (size_t i = 0; i < bytes.size(); ++i)
        s.out.emplace_back(bytes[i], start + bt * (i + 1));
    s.lineFree = start + bt * bytes.size();
}

void VirtualSupply::Impl::OnSerialData(Stream& s, const uint8_t* data, size_t len) {
    s.lastRx = SteadyClock::now();
    size_t i = 0;
    while (i < len) {
        // Boot loader replies, each with the time it may start: the byte that caused it has
        // arrived at the line's speed and the flash has done its work.
        std::vector<std::pair<std::vector<uint8_t>, SteadyClock::time_point>> replies;
        bool wasBoot = false, started = false;
        std::vector<uint8_t> image;
        {
            std::lock_guard<std::mutex> lock(mu);
            wasBoot = boot;
            if (boot) {
                const nanoseconds bt = ByteTime(true);
                const nanoseconds delay = std::chrono::milliseconds(faults.replyDelayMs);
                s.rxFree = std::max(s.rxFree, s.lastRx);
                // Byte by byte, so that bytes after a Go reach the restarted firmware.
                for (; i < len && boot; ++i) {
                    std::vector<uint8_t> out;
                    rom.Feed(data + i, 1, out);
                    s.rxFree += bt;
                    const uint64_t busy = rom.TakeBusyNs();
                    if (!out.empty())
                        replies.emplace_back(
                            std::move(out),
                            s.rxFree + delay + (opt.wireTime ? nanoseconds(busy) : nanoseconds(0)));
                    uint32_t address = 0;
                    if (rom.TakeGo(address)) {
                        boot = false;
                        started = true;
                        dev.Restart(Now());
                        if (!opt.flashOut.empty()) image = rom.Flash();
                    }
                }
            }
        }
        if (wasBoot) {
            for (const auto& [bytes, ready] : replies) {
                if (opt.trace) Trace("boot > " + Hex(bytes.data(), bytes.size()));
                ScheduleBoot(s, bytes, ready);
            }
            if (started) {
                loopBoot = false;
                ModeChanged(false);
                if (!image.empty() && !WriteFile(opt.flashOut, image))
                    Trace("cannot write " + opt.flashOut);
            }
            continue;
        }
        // Byte by byte: the bytes after a jump command in the same read belong to the boot
        // loader (a slow reader gets the jump and the activation byte together).
        bool jumped = false;
        while (i < len && !jumped) {
            s.rtu.Push(data + i++, 1);
            while (auto frame = s.rtu.Next()) {
                OnRtuFrame(s, *frame);
                std::lock_guard<std::mutex> lock(mu);
                if ((jumped = boot)) break;
            }
        }
    }
}

void VirtualSupply::Impl::ModeChanged(bool bootMode) {
    for (auto& s : lines)
        s->rtu.Clear();
    // A real tty follows the boot loader's line settings; a pty cannot carry parity anyway.
    if (ttyFd >= 0) SimSetLine(ttyFd, bootMode ? kBootBaud : opt.baud, bootMode ? 'E' : opt.parity);
}

void VirtualSupply::Impl::Run() {
    std::vector<pollfd> fds;
    std::vector<Stream*> owners;
    std::vector<uint8_t> buf(4096);
    while (!stop.load()) {
        {
            bool nowBoot;
            {
                std::lock_guard<std::mutex> lock(mu);
                nowBoot = boot;
            }
            if (nowBoot != loopBoot) {
                loopBoot = nowBoot;
                ModeChanged(nowBoot);
            }
        }
        if (closeTcp.exchange(false))
            for (auto& c : clients)
                c->dead = true;
        clients.erase(std::remove_if(clients.begin(), clients.end(),
                                     [](const auto& c) {
                                         if (c->dead) close(c->fd);
                                         return c->dead;
                                     }),
                      clients.end());

        const auto now = SteadyClock::now();
        auto deadline = SteadyClock::time_point::max();
        fds.clear();
        owners.clear();
        fds.push_back({wakeFd, POLLIN, 0});
        owners.push_back(nullptr);
        if (listenFd >= 0 && clients.size() < kMaxTcpClients) {
            fds.push_back({listenFd, POLLIN, 0});
            owners.push_back(nullptr);
        }
        for (auto* group : {&lines, &clients})
            for (auto& s : *group) {
                short events = POLLIN;
                if (!s->out.empty()) {
                    if (s->out.front().second <= now)
                        events |= POLLOUT;
                    else
                        deadline = std::min(deadline, s->out.front().second);
                }
                if (!s->tcp && s->rtu.HasPending())
                    deadline = std::min(deadline, s->lastRx + SilenceGap());
                fds.push_back({s->fd, events, 0});
                owners.push_back(s.get());
            }
        timespec ts{};
        timespec* timeout = nullptr;
        if (deadline != SteadyClock::time_point::max()) {
            const auto wait = std::max(nanoseconds(0), deadline - now);
            ts.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
            ts.tv_nsec = static_cast<long>(wait.count() % 1000000000);
            timeout = &ts;
        }
        if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR) break;
        if (stop.load()) break;

        for (size_t k = 0; k < fds.size(); ++k) {
            const pollfd& p = fds[k];
            Stream* s = owners[k];
            if (!s) {
                if (p.fd == wakeFd && (p.revents & POLLIN)) {
                    uint64_t v;
                    (void)!read(wakeFd, &v, sizeof v);
                } else if (p.fd == listenFd && (p.revents & POLLIN)) {
                    const int fd =
                        accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (fd >= 0) {
                        const int one = 1;
                        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                        auto c = std::make_unique<Stream>();
                        c->fd = fd;
                        c->tcp = true;
                        clients.push_back(std::move(c));
                        std::lock_guard<std::mutex> lock(mu);
                        ++accepted;
                        cv.notify_all();
                    }
                }
                continue;
            }
            if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = s->tcp ? recv(s->fd, buf.data(), buf.size(), 0)
                                         : read(s->fd, buf.data(), buf.size());
                if (n > 0) {
                    const auto len = static_cast<size_t>(n);
                    if (s->tcp)
                        OnTcpData(*s, buf.data(), len);
                    else
                        OnSerialData(*s, buf.data(), len);
                } else if (s->tcp && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
                    s->dead = true;
                }
            }
            if (!s->dead) Flush(*s);
        }
        // Frames of unknown length end when the line falls silent.
        const auto later = SteadyClock::now();
        for (auto& s : lines)
            if (s->rtu.HasPending() && later - s->lastRx >= SilenceGap()) {
                if (auto frame = s->rtu.Silence()) {
                    OnRtuFrame(*s, *frame);
                } else {
                    std::lock_guard<std::mutex> lock(mu);
                    ++framesDropped;
                    cv.notify_all();
                }
            }
        for (auto* group : {&lines, &clients})
            for (auto& s : *group)
                if (!s->dead && !s->out.empty()) Flush(*s);
    }
}

std::unique_ptr<VirtualSupply> VirtualSupply::Start(const VirtualSupplyOptions& options,
                                                    std::string* error) {
    auto impl = std::make_unique<Impl>(options);
    std::string why;
    if (!impl->Open(why)) {
        if (error) *error = why;
        return nullptr;
    }
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->Run(); });
    return std::unique_ptr<VirtualSupply>(new VirtualSupply(std::move(impl)));
}

VirtualSupply::VirtualSupply(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

VirtualSupply::~VirtualSupply() {
    Stop();
}

void VirtualSupply::Stop() {
    std::lock_guard<std::mutex> lock(impl_->stopMu);
    if (!impl_->thread.joinable()) return;
    impl_->stop.store(true);
    impl_->Wake();
    impl_->thread.join();
    impl_->Close();
}

uint16_t VirtualSupply::TcpPort() const {
    return impl_->port;
}
std::string VirtualSupply::PtyPath() const {
    return impl_->ptyPath;
}

std::vector<std::string> VirtualSupply::EndpointLines() const {
    std::vector<std::string> out;
    if (impl_->opt.tcp)
        out.push_back(
            "tcp " +
            (impl_->opt.tcpHost == "localhost" ? std::string("127.0.0.1") : impl_->opt.tcpHost) +
            ":" + std::to_string(impl_->port));
    if (impl_->opt.pty) out.push_back("pty " + impl_->ptyPath);
    if (!impl_->opt.serialDevice.empty()) out.push_back("serial " + impl_->opt.serialDevice);
    return out;
}

uint16_t VirtualSupply::Register(uint16_t reg) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->dev.Peek(reg, impl_->Now());
}

std::vector<uint16_t> VirtualSupply::Registers(uint16_t start, uint16_t count) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::vector<uint16_t> out;
    const uint32_t now = impl_->Now();
    for (uint32_t r = start; r < uint32_t{start} + count; ++r)
        out.push_back(impl_->dev.Peek(static_cast<uint16_t>(r), now));
    return out;
}

void VirtualSupply::SetRegister(uint16_t reg, uint16_t value) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.Poke(reg, value, impl_->Now());
}

void VirtualSupply::SetLoad(double ohms) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.SetLoad(ohms, impl_->Now());
}

void VirtualSupply::SetBattery(const SimBattery& battery) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.SetLoad(SimLoad::Battery(battery), impl_->Now());
}

void VirtualSupply::SetDiode(const SimDiode& diode) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.SetLoad(SimLoad::Diode(diode), impl_->Now());
}

std::optional<SimBattery> VirtualSupply::Battery() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.Advance(impl_->Now());
    const SimLoad& load = impl_->dev.LoadModel();
    if (load.Kind() != SimLoadKind::battery) return std::nullopt;
    return load.Battery();
}

std::string VirtualSupply::LoadText() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.Advance(impl_->Now());
    return impl_->dev.LoadModel().Describe();
}

void VirtualSupply::SetInputVoltage(double volts) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.SetInputVoltage(volts, impl_->Now());
}

void VirtualSupply::SetTemperature(int celsius) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.SetTemperature(celsius, impl_->Now());
}

void VirtualSupply::ReleaseKeyLock() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.ReleaseKeyLock(impl_->Now());
}

void VirtualSupply::SetOutput(bool on) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.SetOutput(on, impl_->Now());
}

void VirtualSupply::TripProtection(uint16_t code) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->dev.Trip(code, impl_->Now());
}

void VirtualSupply::PowerCycle() {
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->boot = false;
        impl_->dev.Restart(impl_->Now());
    }
    impl_->Wake();
}

double VirtualSupply::Load() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->dev.Load();
}

double VirtualSupply::InputVoltage() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->dev.InputVoltage();
}

uint32_t VirtualSupply::PresetSaves() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->dev.PresetSaves();
}

SimFaults VirtualSupply::Faults() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->faults;
}

void VirtualSupply::SetFaults(const SimFaults& faults) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults = faults;
}

void VirtualSupply::CloseTcpConnections() {
    impl_->closeTcp.store(true);
    impl_->Wake();
}

uint32_t VirtualSupply::TcpConnectionsAccepted() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->accepted;
}

std::vector<SimWrite> VirtualSupply::Writes() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->writes;
}

void VirtualSupply::ClearWrites() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->writes.clear();
}

bool VirtualSupply::WaitForWrite(uint16_t reg, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->cv.wait_for(lock, timeout, [&] {
        return std::any_of(impl_->writes.begin(), impl_->writes.end(), [&](const SimWrite& w) {
            return reg >= w.start && reg < w.start + w.values.size();
        });
    });
}

uint64_t VirtualSupply::Requests() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->requests;
}

bool VirtualSupply::WaitForRequests(uint64_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->cv.wait_for(lock, timeout, [&] { return impl_->requests >= count; });
}

bool VirtualSupply::WaitForDroppedFrames(uint64_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->cv.wait_for(lock, timeout, [&] { return impl_->framesDropped >= count; });
}

bool VirtualSupply::InBootloader() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->boot;
}

void VirtualSupply::EnterBootloader() {
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->boot = true;
        impl_->rom.Reset();
    }
    impl_->Wake();
}

std::vector<uint8_t> VirtualSupply::FlashImage() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rom.Flash();
}

void VirtualSupply::LoadFlashImage(const std::vector<uint8_t>& image) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->rom.LoadImage(image);
}

bool VirtualSupply::SaveFlashImage(const std::string& path) {
    return WriteFile(path, FlashImage());
}

uint16_t VirtualSupply::BootProductId() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rom.ProductId();
}

void VirtualSupply::SetBootFaults(std::vector<SimBootFault> faults) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->rom.SetCommandFaults(std::move(faults));
}

uint32_t VirtualSupply::BootFaultsFired() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->rom.FaultsFired();
}
