#include "tests/support/virtual_supply_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace testsupport {

namespace {
int ElapsedMs(std::chrono::steady_clock::time_point since) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - since)
                                .count());
}
}  // namespace

TVirtualSupplyFixture::TVirtualSupplyFixture(const TSupplyConfig& AConfig) {
    VirtualSupplyOptions opt;
    opt.tcp = AConfig.tcp;
    opt.tcpPort = 0;
    opt.pty = AConfig.pty;
    opt.identity.model = AConfig.model;
    if (!SimApplyClassName(AConfig.fwClass, opt.identity)) {
        fError = "unknown firmware class " + AConfig.fwClass;
        return;
    }
    opt.loadOhms = AConfig.loadOhms;
    opt.inputVolts = AConfig.inputVolts;
    if (AConfig.manualClock) opt.clock = &fClock;
    if (AConfig.tweak) AConfig.tweak(opt);
    fSupply = VirtualSupply::Start(opt, &fError);
}

TVirtualSupplyFixture::~TVirtualSupplyFixture() {
    Stop();
}

void TVirtualSupplyFixture::Stop() {
    if (fSupply) fSupply->Stop();
}

uint16_t TVirtualSupplyFixture::TcpPort() const {
    return fSupply ? fSupply->TcpPort() : 0;
}

std::string TVirtualSupplyFixture::PtyPath() const {
    return fSupply ? fSupply->PtyPath() : std::string();
}

int TVirtualSupplyFixture::ConnectTcp() const {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(TcpPort());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int TVirtualSupplyFixture::OpenPty() const {
    const int fd = open(PtyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

bool SendAll(int AFd, const std::vector<uint8_t>& ABytes) {
    size_t done = 0;
    while (done < ABytes.size()) {
        const ssize_t n = write(AFd, ABytes.data() + done, ABytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{AFd, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> ReadBytes(int AFd, size_t ACount, int ATimeoutMs) {
    std::vector<uint8_t> out;
    const auto start = std::chrono::steady_clock::now();
    while (out.size() < ACount) {
        const int left = ATimeoutMs - ElapsedMs(start);
        if (left <= 0) break;
        pollfd p{AFd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) continue;
        uint8_t buf[1024];
        const ssize_t n = read(AFd, buf, std::min(sizeof buf, ACount - out.size()));
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

std::vector<uint8_t> ReadUntilQuiet(int AFd, int AQuietMs, int ATimeoutMs) {
    std::vector<uint8_t> out;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const int left = ATimeoutMs - ElapsedMs(start);
        if (left <= 0) break;
        pollfd p{AFd, POLLIN, 0};
        if (poll(&p, 1, std::min(left, AQuietMs)) <= 0) break;
        uint8_t buf[1024];
        const ssize_t n = read(AFd, buf, sizeof buf);
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

}  // namespace testsupport
