#pragma once
// TCP client socket: non-blocking connect with a time-out to a dotted IPv4 address.

#include <atomic>
#include <cstdint>
#include <string>

#include "link/sockets.h"

class TKRTCPSocketClient : public TKRSocketClient {
public:
    TKRTCPSocketClient();

    // Creates the socket when there is none, then connects within ConnectTimeout. An attempt
    // that timed out keeps the socket and its pending connection for the next Open; an attempt
    // the peer refused closes it, so the next Open starts on a fresh socket.
    void Open() override;
    void Activate() { Open(); }
    // Fills LocalAddr and LocalPort from the connected socket ("0.0.0.0" and 0 otherwise).
    void GetLocalData();

    int32_t ConnectTimeout() const { return FConnectTimeout; }
    void SetConnectTimeout(int32_t Value) { FConnectTimeout = Value; }
    const std::string& Addr() const { return FAddr; }
    void SetAddr(const std::string& Value) { FAddr = Value; }
    uint16_t Port() const { return FPort; }
    void SetPort(uint16_t Value) { FPort = Value; }
    const std::string& LocalAddr() const { return FLocalAddr; }
    uint16_t LocalPort() const { return FLocalPort; }
    // errno of the last connect attempt: 0 when it succeeded, ETIMEDOUT when no answer came
    // within ConnectTimeout, else the reason the system gave (ECONNREFUSED, EHOSTUNREACH ...).
    int ConnectErrno() const { return FConnectErrno.load(); }

private:
    uint16_t FPort = 0;
    std::string FAddr = "0.0.0.0";
    uint16_t FLocalPort = 0;
    std::string FLocalAddr = "0.0.0.0";
    int32_t FConnectTimeout = 1000;
    std::atomic<int> FConnectErrno{0};
};
