#include "link/tcp_socket_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

TKRTCPSocketClient::TKRTCPSocketClient() {
    FAF = AF_INET;
    FPROTO = 0;
    FSType = SOCK_STREAM;
}

void TKRTCPSocketClient::Open() {
    TKRSocket::Open();
    if (!FActive.load()) {
        FConnectErrno.store(errno);
        return;
    }
    if (FConnected.load()) return;
    // Replies carry their arrival time, so the worker's pause counts from the reply itself.
    SetReceiveStamps();
    const int s = FSocket.load();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(FPort);
    uint32_t addr = 0;
    if (!KRParseIPv4(FAddr, addr)) {
        errno = EINVAL;
        FConnectErrno.store(EINVAL);
        CheckError(-1);
        return;
    }
    to.sin_addr.s_addr = addr;
    int r = ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (r == 0 || errno == EISCONN) {
        FConnectErrno.store(0);
        FConnected.store(true);
        return;
    }
    if (errno != EINPROGRESS && errno != EALREADY && errno != EINTR) {
        FConnectErrno.store(errno);
        CheckError(r);
        TKRSocketClient::Close();
        return;
    }
    bool writable = false, except = false;
    Select(s, nullptr, &writable, &except, FConnectTimeout);
    if (!writable || except) {
        FConnectErrno.store(ETIMEDOUT);
        return;  // still pending: the next Open tries again on it
    }
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
    FConnectErrno.store(err);
    if (err == 0) {
        FConnected.store(true);
        return;
    }
    errno = err;
    CheckError(-1);
    TKRSocketClient::Close();
}

void TKRTCPSocketClient::GetLocalData() {
    FLocalAddr = "0.0.0.0";
    FLocalPort = 0;
    if (!FConnected.load()) return;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (CheckError(::getsockname(FSocket.load(), reinterpret_cast<sockaddr*>(&local), &len)) != 0)
        return;
    if (len != sizeof local || local.sin_family != AF_INET) return;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    FLocalAddr = text;
    FLocalPort = ntohs(local.sin_port);
}
