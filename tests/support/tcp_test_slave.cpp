#include "tests/support/tcp_test_slave.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

uint16_t Crc16(const uint8_t* AData, size_t ALen) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < ALen; ++i) {
        crc ^= AData[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

bool LooksLikeMbap(const std::vector<uint8_t>& AIn) {
    return AIn.size() >= 6 && AIn[2] == 0 && AIn[3] == 0 && AIn[4] == 0 && AIn[5] >= 2;
}

// Length of the first complete frame in AIn, 0 when more bytes are needed.
size_t FrameLength(const std::vector<uint8_t>& AIn) {
    if (LooksLikeMbap(AIn)) {
        size_t len = 6u + AIn[5];
        return AIn.size() >= len ? len : 0;
    }
    if (AIn.size() < 2) return 0;
    size_t len;
    switch (AIn[1]) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
            len = 8;
            break;
        case 7:
            len = 4;
            break;
        case 15:
        case 16:
            len = AIn.size() >= 7 ? 9u + AIn[6] : 0;
            break;
        default:
            len = AIn.size();
    }
    return len != 0 && AIn.size() >= len ? len : 0;
}

sockaddr_in Loopback(uint16_t APort) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(APort);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

TTcpTestSlave::TTcpTestSlave() : FRegisters(65536) {
    for (size_t i = 0; i < FRegisters.size(); ++i)
        FRegisters[i] = static_cast<uint16_t>(i);
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Loopback(0);
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(FListen, 4) != 0)
        throw std::runtime_error("test slave: cannot listen on 127.0.0.1");
    socklen_t len = sizeof a;
    ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
    FPort = ntohs(a.sin_port);
    FWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FThread = std::thread([this] { Run(); });
}

TTcpTestSlave::~TTcpTestSlave() {
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    Wake();
    FThread.join();
    if (FClient >= 0) ::close(FClient);
    ::close(FListen);
    ::close(FWake);
}

uint16_t TTcpTestSlave::UnusedPort() {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);  // bound but never listening: connections are refused
    return ntohs(a.sin_port);
}

void TTcpTestSlave::Wake() {
    uint64_t one = 1;
    (void)!::write(FWake, &one, sizeof one);
}

void TTcpTestSlave::SetDefaultAction(TSlaveAction AAction) {
    std::lock_guard lock(FLock);
    FDefault = AAction;
}

void TTcpTestSlave::QueueActions(std::initializer_list<TSlaveAction> AActions) {
    std::lock_guard lock(FLock);
    FQueued.insert(FQueued.end(), AActions.begin(), AActions.end());
}

void TTcpTestSlave::SetExceptionCode(uint8_t ACode) {
    std::lock_guard lock(FLock);
    FExceptionCode = ACode;
}

void TTcpTestSlave::SetStaleBytes(std::vector<uint8_t> ABytes) {
    std::lock_guard lock(FLock);
    FStale = std::move(ABytes);
}

void TTcpTestSlave::SetSplitAt(size_t ABytes) {
    std::lock_guard lock(FLock);
    FSplitAt = ABytes;
}

void TTcpTestSlave::ReleaseSplit() {
    {
        std::lock_guard lock(FLock);
        FReleaseSplit = true;
    }
    Wake();
}

void TTcpTestSlave::SetReading(bool AReading) {
    {
        std::lock_guard lock(FLock);
        FReading = AReading;
    }
    Wake();
}

void TTcpTestSlave::SetReceiveBufferSize(int ABytes) {
    std::lock_guard lock(FLock);
    FRcvBuf = ABytes;
    // Accepted sockets inherit the listening socket's buffer size.
    if (ABytes > 0) ::setsockopt(FListen, SOL_SOCKET, SO_RCVBUF, &ABytes, sizeof ABytes);
}

void TTcpTestSlave::DropClient() {
    {
        std::lock_guard lock(FLock);
        FDropRequested = true;
    }
    Wake();
}

void TTcpTestSlave::SetRegister(uint16_t AReg, uint16_t AValue) {
    std::lock_guard lock(FLock);
    FRegisters[AReg] = AValue;
}

uint16_t TTcpTestSlave::Register(uint16_t AReg) const {
    std::lock_guard lock(FLock);
    return FRegisters[AReg];
}

std::vector<std::vector<uint8_t>> TTcpTestSlave::Requests() const {
    std::lock_guard lock(FLock);
    return FRequests;
}

size_t TTcpTestSlave::RequestCount() const {
    std::lock_guard lock(FLock);
    return FRequests.size();
}

size_t TTcpTestSlave::Connections() const {
    std::lock_guard lock(FLock);
    return FConnections;
}

bool TTcpTestSlave::WaitForRequests(size_t ACount, int ATimeoutMs) const {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return FRequests.size() >= ACount; });
}

bool TTcpTestSlave::WaitForConnections(size_t ACount, int ATimeoutMs) const {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return FConnections >= ACount; });
}

bool TTcpTestSlave::WaitForSplitSent(int ATimeoutMs) const {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return FSplitSent; });
}

bool TTcpTestSlave::WaitForSplitHeld(int ATimeoutMs) const {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return FSplitHeld; });
}

void TTcpTestSlave::Run() {
    for (;;) {
        bool reading;
        {
            std::lock_guard lock(FLock);
            if (FStop) return;
            reading = FReading;
        }
        pollfd fds[3] = {{FWake, POLLIN, 0}, {FListen, POLLIN, 0}, {FClient, POLLIN, 0}};
        const nfds_t n = (FClient >= 0 && reading) ? 3 : 2;
        if (::poll(fds, n, -1) < 0 && errno != EINTR) return;
        if (fds[0].revents & POLLIN) {
            uint64_t v;
            (void)!::read(FWake, &v, sizeof v);
            bool drop, release;
            {
                std::lock_guard lock(FLock);
                drop = FDropRequested;
                release = FReleaseSplit;
                FDropRequested = FReleaseSplit = false;
            }
            if (release && !FHeldSegment.empty()) {
                SendAll(FHeldSegment);
                FHeldSegment.clear();
                std::lock_guard lock(FLock);
                FSplitSent = true;
                FSplitHeld = false;
                FChanged.notify_all();
            }
            if (drop) CloseClient();
        }
        if (fds[1].revents & POLLIN) Accept();
        if (n == 3 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) ReadClient();
    }
}

void TTcpTestSlave::Accept() {
    int c = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) return;
    CloseClient();  // one client at a time: a reconnecting master replaces the old link
    FClient = c;
    FInput.clear();
    std::lock_guard lock(FLock);
    ++FConnections;
    FChanged.notify_all();
}

void TTcpTestSlave::CloseClient() {
    if (FClient < 0) return;
    ::close(FClient);
    FClient = -1;
    FInput.clear();
}

void TTcpTestSlave::ReadClient() {
    uint8_t buf[2048];
    ssize_t n = ::recv(FClient, buf, sizeof buf, 0);
    if (n <= 0) {
        CloseClient();
        return;
    }
    FInput.insert(FInput.end(), buf, buf + n);
    while (size_t len = FrameLength(FInput)) {
        std::vector<uint8_t> frame(FInput.begin(), FInput.begin() + len);
        FInput.erase(FInput.begin(), FInput.begin() + len);
        HandleFrame(frame);
        if (FClient < 0) return;
    }
}

void TTcpTestSlave::SendAll(const std::vector<uint8_t>& ABytes) {
    size_t off = 0;
    while (FClient >= 0 && off < ABytes.size()) {
        ssize_t n = ::send(FClient, ABytes.data() + off, ABytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return;
        off += static_cast<size_t>(n);
    }
}

void TTcpTestSlave::HandleFrame(const std::vector<uint8_t>& AFrame) {
    TSlaveAction action;
    {
        std::lock_guard lock(FLock);
        FRequests.push_back(AFrame);
        if (!FQueued.empty()) {
            action = FQueued.front();
            FQueued.pop_front();
        } else {
            action = FDefault;
        }
        FChanged.notify_all();
    }
    if (action == TSlaveAction::Silent) return;
    if (action == TSlaveAction::Close) {
        CloseClient();
        return;
    }
    bool tcp = false;
    std::vector<uint8_t> reply = BuildReply(AFrame, tcp);
    if (reply.empty()) return;
    const size_t pdu = tcp ? 7 : 1;  // index of the function code
    std::lock_guard lock(FLock);
    switch (action) {
        case TSlaveAction::Exception: {
            reply.resize(pdu + 2);
            reply[pdu] |= 0x80;
            reply[pdu + 1] = FExceptionCode;
            if (tcp) {
                reply[5] = 3;
            } else {
                uint16_t crc = Crc16(reply.data(), reply.size());
                reply.push_back(static_cast<uint8_t>(crc));
                reply.push_back(static_cast<uint8_t>(crc >> 8));
            }
            break;
        }
        case TSlaveAction::WrongId:
        case TSlaveAction::BadCrc:
            if (tcp)
                reply[0] = static_cast<uint8_t>(~reply[0]);
            else
                std::swap(reply[reply.size() - 1], reply[reply.size() - 2]);
            break;
        case TSlaveAction::Stale:
            reply.insert(reply.end(), FStale.begin(), FStale.end());
            break;
        case TSlaveAction::Split:
            if (FSplitAt < reply.size()) {
                FHeldSegment.assign(reply.begin() + FSplitAt, reply.end());
                reply.resize(FSplitAt);
                FSplitSent = false;
                FSplitHeld = true;
            }
            break;
        default:
            break;
    }
    SendAll(reply);
    if (FSplitHeld) FChanged.notify_all();
}

std::vector<uint8_t> TTcpTestSlave::BuildReply(const std::vector<uint8_t>& AFrame, bool& ATcp) {
    ATcp = LooksLikeMbap(AFrame) && AFrame.size() == 6u + AFrame[5];
    const size_t base = ATcp ? 6 : 0;  // index of the unit address
    if (!ATcp && (AFrame.size() < 4 || Crc16(AFrame.data(), AFrame.size()) != 0)) return {};
    if (AFrame.size() < base + 2) return {};
    const uint8_t func = AFrame[base + 1];
    auto word = [&](size_t i) {
        return static_cast<uint16_t>(AFrame.size() > i + 1 ? AFrame[i] << 8 | AFrame[i + 1] : 0);
    };
    std::vector<uint8_t> pdu = {AFrame[base], func};
    {
        std::lock_guard lock(FLock);
        const uint16_t start = word(base + 2);
        switch (func) {
            case 3:
            case 4: {
                const uint16_t count = word(base + 4);
                pdu.push_back(static_cast<uint8_t>(count * 2));
                for (uint16_t i = 0; i < count; ++i) {
                    uint16_t v = FRegisters[static_cast<uint16_t>(start + i)];
                    pdu.push_back(static_cast<uint8_t>(v >> 8));
                    pdu.push_back(static_cast<uint8_t>(v));
                }
                break;
            }
            case 6:
                FRegisters[start] = word(base + 4);
                pdu.insert(pdu.end(), AFrame.begin() + base + 2, AFrame.begin() + base + 6);
                break;
            case 16: {
                const uint16_t count = word(base + 4);
                for (uint16_t i = 0; i < count && base + 7 + 2 * i + 1 < AFrame.size(); ++i)
                    FRegisters[static_cast<uint16_t>(start + i)] = word(base + 7 + 2 * i);
                pdu.insert(pdu.end(), AFrame.begin() + base + 2, AFrame.begin() + base + 6);
                break;
            }
            case 7:
                pdu.push_back(0);
                break;
            default:
                pdu[1] |= 0x80;
                pdu.push_back(1);
        }
    }
    std::vector<uint8_t> reply;
    if (ATcp) {
        reply = {AFrame[0], AFrame[1], 0, 0, 0, static_cast<uint8_t>(pdu.size())};
        reply.insert(reply.end(), pdu.begin(), pdu.end());
    } else {
        reply = pdu;
        uint16_t crc = Crc16(reply.data(), reply.size());
        reply.push_back(static_cast<uint8_t>(crc));
        reply.push_back(static_cast<uint8_t>(crc >> 8));
    }
    return reply;
}

}  // namespace testsupport
