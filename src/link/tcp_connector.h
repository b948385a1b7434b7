#pragma once
// Connector for Modbus TCP: a TKRTCPSocketClient served by a TKRTCPThread.
//
// Use: create, set IP (dotted IPv4) and Port, optionally the time-outs, then SetActive(true)
// (connects on the calling thread within ConnectTimeout; check Connected()). Then Send frames.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "link/connector.h"
#include "link/tcp_socket_client.h"

class TKRTCPConnector : public TKRConnector {
public:
    explicit TKRTCPConnector(QObject* AOwner = nullptr);
    ~TKRTCPConnector() override;

    bool Connected() const override;
    void SetActive(bool Value) override;

    std::string IP() const;
    void SetIP(const std::string& Value);
    uint16_t Port() const { return FPort.load(); }
    void SetPort(uint16_t Value) { FPort.store(Value); }

    // Plain fields without range checks; these are the time-outs the TCP exchange uses.
    uint32_t ReadTimeout() const override { return FReadTimeout.load(); }
    void SetReadTimeout(uint32_t Value) override { FReadTimeout.store(Value); }
    uint32_t WriteTimeout() const override { return FWriteTimeout.load(); }
    void SetWriteTimeout(uint32_t Value) override { FWriteTimeout.store(Value); }
    uint32_t ConnectTimeout() const override { return FConnectTimeout.load(); }
    void SetConnectTimeout(uint32_t Value) override { FConnectTimeout.store(Value); }

    // The socket client. Use it only while the connector is inactive or its worker is idle.
    TKRTCPSocketClient& TCPClient() { return *FTCPClient; }

protected:
    std::unique_ptr<TKRConnectorThread> CreateThread() override;

private:
    std::unique_ptr<TKRTCPSocketClient> FTCPClient;
    std::atomic<uint16_t> FPort{502};
    mutable std::mutex FIPLock;
    std::string FIP = "192.168.0.1";
    std::atomic<uint32_t> FReadTimeout{500};
    std::atomic<uint32_t> FWriteTimeout{500};
    std::atomic<uint32_t> FConnectTimeout{3000};
};

// Worker of the TCP connector: one send, then reads until the reply is whole or the read
// time-out ends.
class TKRTCPThread : public TKRConnectorThread {
public:
    TKRTCPThread(TKRTCPConnector* AConnector, TKRTCPSocketClient* AClient);

protected:
    void Exchange() override;
    bool TransportConnected() override;
    void TransportOpen() override;
    void TransportClose() override;

private:
    void DiscardStaleInput();
    // Reads the reply into FPK; returns 0 or the receive failure code.
    int32_t CollectReply();
    TKRTCPConnector* const FTCPConnector;
    TKRTCPSocketClient* const FTCPClient;  // the connector's, not owned
    int64_t FRoundTripUs = 0;              // of the last reply, from its arrival stamp; 0: unknown
};
