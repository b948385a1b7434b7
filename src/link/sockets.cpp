#include "link/sockets.h"

#include "link/tick_clock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {
std::atomic<uint32_t> gSocketCounter{0};
}  // namespace

TKRSocket::TKRSocket() : FID(++gSocketCounter) {}

TKRSocket::~TKRSocket() {
    TKRSocket::Close();
}

long TKRSocket::CheckError(long AResult) {
    if (AResult == -1) {
        int err = errno;
        if (FOnError) FOnError(this, err);
        errno = err;
    }
    return AResult;
}

void TKRSocket::Open() {
    if (FActive.load()) return;
    int s = static_cast<int>(CheckError(::socket(FAF, FSType | SOCK_CLOEXEC, FPROTO)));
    FSocket.store(s);
    FActive.store(s >= 0);
    if (s >= 0) CheckError(::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK));
}

void TKRSocket::Close() {
    if (!FActive.load()) return;
    ::close(FSocket.load());
    FSocket.store(-1);
    FActive.store(false);
}

bool TKRSocket::Select(int ASocket, bool* ReadReady, bool* WriteReady, bool* ExceptFlag,
                       int32_t TimeOut) {
    pollfd fds[2] = {{ASocket, 0, 0}, {FAbortFd.load(), POLLIN, 0}};
    if (ReadReady) fds[0].events |= POLLIN;
    if (WriteReady) fds[0].events |= POLLOUT;
    if (ExceptFlag) fds[0].events |= POLLPRI;
    const nfds_t n = fds[1].fd >= 0 ? 2 : 1;
    int r;
    do {
        r = ::poll(fds, n, TimeOut < 0 ? -1 : TimeOut);
    } while (r < 0 && errno == EINTR);
    CheckError(r);
    const short got = r > 0 ? fds[0].revents : 0;
    // An error or hang-up makes the socket readable and writable, as select reports it: the
    // next receive or send then tells what happened.
    const bool broken = got & (POLLERR | POLLHUP);
    if (ReadReady) *ReadReady = (got & POLLIN) || broken;
    if (WriteReady) *WriteReady = (got & POLLOUT) || broken;
    if (ExceptFlag) *ExceptFlag = got & POLLPRI;
    return got != 0;
}

void TKRSocketClient::Close() {
    if (FConnected.load()) {
        ::shutdown(FSocket.load(), SHUT_RDWR);
        FConnected.store(false);
    }
    TKRSocket::Close();
}

long TKRSocketClient::SendBuf(const void* Buf, long BufSize, int Flags) {
    // MSG_NOSIGNAL: a peer that went away must give an error, not kill the process.
    return CheckError(::send(FSocket.load(), Buf, BufSize, Flags | MSG_NOSIGNAL));
}

long TKRSocketClient::ReceiveBuf(void* Buf, long BufSize, int Flags) {
    return CheckError(::recv(FSocket.load(), Buf, BufSize, Flags));
}

void TKRSocketClient::SetReceiveStamps() {
    const int on = 1;
    ::setsockopt(FSocket.load(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

long TKRSocketClient::ReceiveBufStamped(void* Buf, long BufSize, int64_t& AArrivalUs) {
    AArrivalUs = 0;
    iovec io{Buf, static_cast<size_t>(BufSize)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const long n = CheckError(::recvmsg(FSocket.load(), &msg, 0));
    if (n <= 0) return n;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec stamp{}, now{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        ::clock_gettime(CLOCK_REALTIME, &now);
        // The stamp is wall-clock time; only its age is taken over onto the steady clock.
        const int64_t ageNs = (int64_t{now.tv_sec} - stamp.tv_sec) * 1000000000 +
                              (int64_t{now.tv_nsec} - stamp.tv_nsec);
        if (ageNs >= 0 && ageNs < int64_t{10} * 1000000000)
            AArrivalUs = KRSteadyMicros() - ageNs / 1000;
    }
    return n;
}

long TKRSocketClient::SendBufTo(const void* Buf, long BufSize, int Flags, const std::string& AAddr,
                                uint16_t APort) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(APort);
    uint32_t addr = 0;
    if (!KRParseIPv4(AAddr, addr)) {
        errno = EINVAL;
        return CheckError(-1);
    }
    to.sin_addr.s_addr = addr;
    return CheckError(::sendto(FSocket.load(), Buf, BufSize, Flags | MSG_NOSIGNAL,
                               reinterpret_cast<sockaddr*>(&to), sizeof to));
}

long TKRSocketClient::ReceiveBufFrom(void* Buf, long BufSize, int Flags) {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    return CheckError(
        ::recvfrom(FSocket.load(), Buf, BufSize, Flags, reinterpret_cast<sockaddr*>(&from), &len));
}

bool TKRSocketClient::WaitForRead(int32_t ATimeOut) {
    bool readable = false, except = false;
    Select(FSocket.load(), &readable, nullptr, &except, ATimeOut);
    return readable && !except;
}

bool TKRSocketClient::WaitForWrite(int32_t ATimeOut) {
    bool writable = false, except = false;
    Select(FSocket.load(), nullptr, &writable, &except, ATimeOut);
    return writable && !except;
}

bool TKRSocketClient::WaitForData(int32_t ATimeOut) {
    char c;
    return WaitForRead(ATimeOut) && ReceiveBuf(&c, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
}

bool TKRSocketClient::WaitForDataFrom(int32_t ATimeOut) {
    char c;
    return WaitForRead(ATimeOut) && ReceiveBufFrom(&c, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
}

bool TKRSocketClient::IsReadBufferEmpty() {
    char c;
    return ReceiveBuf(&c, 1, MSG_PEEK | MSG_DONTWAIT) != 1;
}

bool KRParseIPv4(const std::string& AAddr, uint32_t& ANetAddr) {
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < AAddr.size() && AAddr[i] == ' ')
            ++i;
    };
    uint32_t host = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= AAddr.size() || AAddr[i] != '.') return false;
            ++i;
        }
        skipBlanks();
        uint32_t value = 0;
        size_t digits = 0;
        while (i < AAddr.size() && AAddr[i] >= '0' && AAddr[i] <= '9') {
            value = value * 10 + static_cast<uint32_t>(AAddr[i] - '0');
            if (++digits > 3 || value > 255) return false;
            ++i;
        }
        if (digits == 0) return false;
        skipBlanks();
        host = (host << 8) | value;
    }
    if (i != AAddr.size()) return false;
    ANetAddr = htonl(host);
    return true;
}
