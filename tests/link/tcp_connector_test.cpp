// TCP connector against the loopback test slave: the exchange rules of the transport (reading
// until the reply is whole, stale input, time-outs, failure count, reconnect pause) and the socket
// layer.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>

#include "link/tcp_connector.h"
#include "tests/link/connector_fake_transport.h"
#include "tests/support/case_name.h"
#include "tests/support/event_loop.h"
#include "tests/support/tcp_test_slave.h"

namespace {

using connfake::TFakeClock;

using testsupport::ProcessUntil;
using testsupport::TSlaveAction;
using testsupport::TTcpTestSlave;
using TBytes = std::vector<uint8_t>;

struct TReply {
    int32_t Error;
    TBytes Bytes;
};

// Modbus TCP "read holding registers" with transaction byte ATid.
PKRBuffer ReadFrame(uint8_t ATid, uint16_t AStart, uint16_t ACount) {
    auto* b = new TKRBuffer{};
    const uint8_t f[12] = {ATid,
                           0,
                           0,
                           0,
                           0,
                           6,
                           1,
                           3,
                           uint8_t(AStart >> 8),
                           uint8_t(AStart),
                           uint8_t(ACount >> 8),
                           uint8_t(ACount)};
    std::copy(std::begin(f), std::end(f), b->begin());
    return b;
}

TBytes ExpectedReply(uint8_t ATid, uint16_t AStart, uint16_t ACount) {
    TBytes r = {ATid, 0, 0, 0, 0, uint8_t(3 + 2 * ACount), 1, 3, uint8_t(2 * ACount)};
    for (uint16_t i = 0; i < ACount; ++i) {
        r.push_back(uint8_t((AStart + i) >> 8));
        r.push_back(uint8_t(AStart + i));
    }
    return r;
}

class TcpConnector : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureCoreApp();
        Conn = std::make_unique<TKRTCPConnector>();
        Conn->SetName("TCPConnector");
        Conn->SetTickClock(&Clock);
        Conn->SetIP("127.0.0.1");
        Conn->SetPort(Slave.Port());
        Conn->SetReadTimeout(300);
        Conn->SetWriteTimeout(300);
        Conn->SetConnectTimeout(1000);
        Conn->SetOnConnectionStatus(
            [this](TKRConnector*, TKRConnectorStat S, uint32_t) { States.push_back(S); });
    }
    void SendRead(uint8_t ATid, uint16_t AStart, uint16_t ACount, int32_t ARecvLen = -1) {
        Conn->Send(
            ReadFrame(ATid, AStart, ACount), 12,
            [this](int32_t AError, PKRBuffer APack, int32_t ALength, void*) {
                Replies.push_back({AError, TBytes(APack->begin(), APack->begin() + ALength)});
                delete APack;
            },
            nullptr, true, ARecvLen < 0 ? 9 + 2 * ACount : ARecvLen);
    }
    bool WaitReplies(size_t ACount, int ATimeoutMs = 3000) {
        return ProcessUntil([&] { return Replies.size() >= ACount; }, ATimeoutMs);
    }
    std::vector<int32_t> Errors() const {
        std::vector<int32_t> e;
        for (const TReply& r : Replies)
            e.push_back(r.Error);
        return e;
    }

    TTcpTestSlave Slave;
    TFakeClock Clock;
    std::unique_ptr<TKRTCPConnector> Conn;
    std::vector<TReply> Replies;
    std::vector<TKRConnectorStat> States;
};

TEST_F(TcpConnector, PropertiesArePlainFieldsWithTheirDefaults) {
    TKRTCPConnector fresh;
    EXPECT_EQ(fresh.IP(), "192.168.0.1");
    EXPECT_EQ(fresh.Port(), 502);
    EXPECT_EQ(fresh.ReadTimeout(), 500u);
    EXPECT_EQ(fresh.WriteTimeout(), 500u);
    EXPECT_EQ(fresh.ConnectTimeout(), 3000u);
    EXPECT_EQ(fresh.ConnectorType(), ctTCPClient);
    TKRConnector& base = fresh;
    base.SetReadTimeout(5);  // no range check on the TCP connector
    EXPECT_EQ(fresh.ReadTimeout(), 5u);
    base.SetConnectTimeout(20000);
    EXPECT_EQ(fresh.ConnectTimeout(), 20000u);
}

TEST_F(TcpConnector, ActivationConnectsAtOnceAndReportsOnlyDisconnected) {
    Conn->SetActive(true);
    EXPECT_TRUE(Conn->Connected());
    EXPECT_TRUE(Conn->Active());
    EXPECT_EQ(States, (std::vector<TKRConnectorStat>{cstDisconnected}));
    EXPECT_TRUE(Slave.WaitForConnections(1, 1000));
    Conn->TCPClient().GetLocalData();
    EXPECT_EQ(Conn->TCPClient().LocalAddr(), "127.0.0.1");
    EXPECT_NE(Conn->TCPClient().LocalPort(), 0);
}

TEST_F(TcpConnector, FramesAreWrittenInTheOrderSentAndRepliesComeBackInOrder) {
    Conn->SetActive(true);
    SendRead(1, 10, 2);
    SendRead(2, 20, 3);
    SendRead(3, 30, 1);
    ASSERT_TRUE(WaitReplies(3));
    EXPECT_EQ(Replies[0].Bytes, ExpectedReply(1, 10, 2));
    EXPECT_EQ(Replies[1].Bytes, ExpectedReply(2, 20, 3));
    EXPECT_EQ(Replies[2].Bytes, ExpectedReply(3, 30, 1));
    auto requests = Slave.Requests();
    ASSERT_EQ(requests.size(), 3u);
    for (uint8_t i = 0; i < 3; ++i)
        EXPECT_EQ(requests[i][0], i + 1);
    EXPECT_EQ(Conn->GetCounter(), 3u);
    // The link stays up and quiet: no state message for the connection made at activation.
    EXPECT_EQ(States, (std::vector<TKRConnectorStat>{cstDisconnected}));
}

TEST_F(TcpConnector, ExceptionRepliesArriveAsPlainBytes) {
    Slave.SetExceptionCode(2);
    Slave.QueueActions({TSlaveAction::Exception});
    Conn->SetActive(true);
    SendRead(4, 0, 10);
    ASSERT_TRUE(WaitReplies(1));
    EXPECT_EQ(Replies[0].Error, 0);
    EXPECT_EQ(Replies[0].Bytes, (TBytes{4, 0, 0, 0, 0, 3, 1, 0x83, 2}));
}

TEST_F(TcpConnector, BytesLeftFromAnEarlierReplyAreDiscardedBeforeTheNextFrame) {
    Slave.SetStaleBytes({0xDE, 0xAD, 0xBE, 0xEF});
    Slave.QueueActions({TSlaveAction::Stale});
    Conn->SetActive(true);
    SendRead(1, 5, 2);  // receives exactly the expected length; the stale bytes stay behind
    SendRead(2, 7, 2);
    ASSERT_TRUE(WaitReplies(2));
    EXPECT_EQ(Replies[0].Bytes, ExpectedReply(1, 5, 2));
    EXPECT_EQ(Replies[1].Bytes, ExpectedReply(2, 7, 2));
}

TEST_F(TcpConnector, ASplitReplyIsReadUntilTheExpectedLength) {
    Conn->SetReadTimeout(3000);
    Slave.SetSplitAt(5);
    Slave.QueueActions({TSlaveAction::Split});
    Conn->SetActive(true);
    SendRead(1, 100, 4);
    ASSERT_TRUE(Slave.WaitForSplitHeld(3000));
    // Released once the first segment has been read (or, wrongly, delivered as the reply).
    int inbound = -1;
    ASSERT_TRUE(ProcessUntil(
        [&] {
            return !Replies.empty() ||
                   (::ioctl(Conn->TCPClient().Handle(), FIONREAD, &inbound) == 0 && inbound == 0);
        },
        3000));
    Slave.ReleaseSplit();
    ASSERT_TRUE(WaitReplies(1));
    EXPECT_EQ(Replies[0].Error, 0);
    EXPECT_EQ(Replies[0].Bytes, ExpectedReply(1, 100, 4));
}

TEST_F(TcpConnector, ASilentServerGivesError6AfterTheReadTimeout) {
    Conn->SetReadTimeout(60);
    Slave.QueueActions({TSlaveAction::Silent});
    Conn->SetActive(true);
    const auto start = std::chrono::steady_clock::now();
    SendRead(1, 0, 1);
    ASSERT_TRUE(WaitReplies(1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(Replies[0].Error, cerReceiveTimeout);
    EXPECT_TRUE(Replies[0].Bytes.empty());
}

TEST_F(TcpConnector, APeerThatClosesGivesError4) {
    Slave.QueueActions({TSlaveAction::Close});
    Conn->SetActive(true);
    SendRead(1, 0, 1);
    ASSERT_TRUE(WaitReplies(1));
    EXPECT_EQ(Replies[0].Error, cerNoAnswer);
}

TEST_F(TcpConnector, ThreeFailuresCloseTheLinkUntilTheReconnectPauseHasPassed) {
    Conn->SetReadTimeout(20);
    Conn->SetReconnectTime(1000);
    Slave.SetDefaultAction(TSlaveAction::Silent);
    Conn->SetActive(true);
    for (uint8_t i = 1; i <= 3; ++i)
        SendRead(i, 0, 1);
    ASSERT_TRUE(WaitReplies(3));
    EXPECT_EQ(Errors(), (std::vector<int32_t>{6, 6, 6}));
    EXPECT_FALSE(Conn->Connected());
    EXPECT_EQ(States, (std::vector<TKRConnectorStat>{cstDisconnected, cstDisconnected}));

    Slave.SetDefaultAction(TSlaveAction::Answer);
    Clock.Advance(1000);
    SendRead(4, 0, 1);
    ASSERT_TRUE(WaitReplies(4));
    EXPECT_EQ(Replies[3].Error, cerNotConnected);
    EXPECT_EQ(States.back(), cstWaitReconnecting);
    EXPECT_EQ(Slave.Connections(), 1u);

    Clock.Advance(1);
    SendRead(5, 9, 1);
    ASSERT_TRUE(WaitReplies(5));
    EXPECT_EQ(Replies[4].Error, 0);
    EXPECT_EQ(Replies[4].Bytes, ExpectedReply(5, 9, 1));
    EXPECT_TRUE(Slave.WaitForConnections(2, 1000));
    ASSERT_GE(States.size(), 2u);
    EXPECT_EQ(States[States.size() - 2], cstConnecting);
    EXPECT_EQ(States.back(), cstConnected);
}

TEST_F(TcpConnector, AnUnreachableServerFailsEachPacketWithError2) {
    Conn->SetPort(TTcpTestSlave::UnusedPort());
    Conn->SetActive(true);
    EXPECT_TRUE(Conn->Active());
    EXPECT_FALSE(Conn->Connected());
    SendRead(1, 0, 1);  // the first packet tries to connect at once
    ASSERT_TRUE(WaitReplies(1));
    EXPECT_EQ(Replies[0].Error, cerNotConnected);
    EXPECT_EQ(States,
              (std::vector<TKRConnectorStat>{cstDisconnected, cstConnecting, cstWaitReconnecting}));
}

TEST_F(TcpConnector, DeactivationClosesTheSocketAndReactivationConnectsAgain) {
    Conn->SetActive(true);
    SendRead(1, 1, 1);
    ASSERT_TRUE(WaitReplies(1));
    Conn->SetActive(false);
    EXPECT_FALSE(Conn->Connected());
    EXPECT_EQ(Conn->TCPClient().Handle(), -1);
    EXPECT_EQ(States.back(), cstNotActive);
    Conn->SetActive(true);
    EXPECT_TRUE(Conn->Connected());
    EXPECT_TRUE(Slave.WaitForConnections(2, 1000));
    SendRead(2, 2, 1);
    ASSERT_TRUE(WaitReplies(2));
    EXPECT_EQ(Replies[1].Bytes, ExpectedReply(2, 2, 1));
}

TEST_F(TcpConnector, DestroyingDuringALongReadReturnsPromptlyAndCompletesThePacket) {
    Conn->SetReadTimeout(5000);
    Slave.SetDefaultAction(TSlaveAction::Silent);
    Conn->SetActive(true);
    SendRead(1, 0, 1);
    ASSERT_TRUE(Slave.WaitForRequests(1, 1000));
    const auto start = std::chrono::steady_clock::now();
    Conn.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    ASSERT_EQ(Replies.size(), 1u);
    EXPECT_EQ(Replies[0].Error, cerNotActive);
}

TEST_F(TcpConnector, AWriteThatCannotStartGivesError5AndCountsTowardTheLimit) {
    Conn->SetWriteTimeout(20);
    Slave.SetReceiveBufferSize(2048);
    Slave.SetReading(false);
    Conn->SetActive(true);
    const int small = 2048;
    ASSERT_EQ(::setsockopt(Conn->TCPClient().Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small),
              0);
    // Fill the link with frames nobody reads until writes time out and the failure count
    // closes the link.
    size_t sent = 0;
    while (Conn->Connected() && sent < 4000) {
        Conn->Send(
            new TKRBuffer{}, 1000,
            [this](int32_t AError, PKRBuffer APack, int32_t, void*) {
                Replies.push_back({AError, {}});
                delete APack;
            },
            nullptr, false);
        ++sent;
        ASSERT_TRUE(WaitReplies(sent));
    }
    const std::vector<int32_t> errors = Errors();
    ASSERT_FALSE(Conn->Connected()) << "the link never filled up";
    ASSERT_GE(errors.size(), 3u);
    EXPECT_NE(std::find(errors.begin(), errors.end(), cerSendTimeout), errors.end());
    for (int32_t e : errors)
        EXPECT_TRUE(e == 0 || e == cerSendTimeout || e == cerSendFailed);
    // Frames sent without waiting for a reply never reset the count; the third failure closes.
    EXPECT_EQ(errors.size() - std::count(errors.begin(), errors.end(), 0), 3u);
    EXPECT_EQ(States, (std::vector<TKRConnectorStat>{cstDisconnected, cstDisconnected}));
}

struct TEventFault {
    bool OnSendThrows;
    const char* Description;
    int32_t Error;
};

class TcpConnectorEventFaults : public TcpConnector,
                                public ::testing::WithParamInterface<TEventFault> {};

TEST_P(TcpConnectorEventFaults, AreReportedWithTheRoutineAndFailThePacket) {
    std::vector<std::string> reports;
    Conn->SetOnRuntimeError([&](QObject* Sender, const std::string& D, const std::exception&) {
        EXPECT_EQ(Sender, Conn.get());
        reports.push_back(D);
    });
    auto thrower = [](TKRConnector*, PKRBuffer, int32_t) { throw std::runtime_error("event"); };
    if (GetParam().OnSendThrows)
        Conn->SetOnSend(thrower);
    else
        Conn->SetOnRecv(thrower);
    Conn->SetActive(true);
    SendRead(1, 0, 1);
    ASSERT_TRUE(WaitReplies(1));
    EXPECT_EQ(Replies[0].Error, GetParam().Error);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], GetParam().Description);
}

INSTANTIATE_TEST_SUITE_P(
    Events, TcpConnectorEventFaults,
    ::testing::Values(TEventFault{true,
                                  "TKRTCPThread[FConnector.Name=\"TCPConnector\"; procedure _exec; "
                                  "n:=FTCPClient.SendBuf(FPack.Pack^,FPack.Length);",
                                  cerSendFailed},
                      TEventFault{false,
                                  "TKRTCPThread[FConnector.Name=\"TCPConnector\"; procedure _exec; "
                                  "n:=FTCPClient.ReceiveBuf(FPack.Pack^,255);",
                                  cerNoAnswer}),
    [](const auto& AInfo) { return std::string(AInfo.param.OnSendThrows ? "OnSend" : "OnRecv"); });

struct TAddrCase {
    const char* Text;
    bool Valid;
    uint32_t Host;
};

class DottedAddresses : public ::testing::TestWithParam<TAddrCase> {};

TEST_P(DottedAddresses, ParseAsDecimalOctets) {
    uint32_t net = 0;
    EXPECT_EQ(KRParseIPv4(GetParam().Text, net), GetParam().Valid);
    if (GetParam().Valid) {
        EXPECT_EQ(ntohl(net), GetParam().Host);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ipv4, DottedAddresses,
    ::testing::Values(TAddrCase{"127.0.0.1", true, 0x7F000001},
                      // Zero-padded octets are decimal, not octal.
                      TAddrCase{"192.168.001.010", true, 0xC0A8010A},
                      TAddrCase{"192.168.  1. 20", true, 0xC0A80114},
                      TAddrCase{"256.0.0.1", false, 0}, TAddrCase{"1.2.3", false, 0},
                      TAddrCase{"1.2.3.4.5", false, 0}, TAddrCase{"a.b.c.d", false, 0},
                      TAddrCase{"", false, 0}, TAddrCase{"1..2.3", false, 0},
                      TAddrCase{"0001.2.3.4", false, 0}),
    [](const auto& AInfo) { return testsupport::CaseName(AInfo.index, AInfo.param.Text, 1000); });

TEST(TcpSocketClient, SocketsAreNumberedAndClosedSocketsHaveNoHandle) {
    TKRTCPSocketClient a, b;
    EXPECT_EQ(b.ID(), a.ID() + 1);
    EXPECT_EQ(a.Handle(), -1);
    EXPECT_EQ(a.Addr(), "0.0.0.0");
    EXPECT_EQ(a.ConnectTimeout(), 1000);
    a.GetLocalData();
    EXPECT_EQ(a.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(a.LocalPort(), 0);
}

TEST(TcpSocketClient, ARefusedConnectReportsTheErrorAndStartsFreshNextTime) {
    TKRTCPSocketClient c;
    std::vector<int32_t> errors;
    c.SetOnError([&](TKRSocket*, int32_t E) { errors.push_back(E); });
    c.SetAddr("127.0.0.1");
    c.SetPort(TTcpTestSlave::UnusedPort());
    c.Open();
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(errors, (std::vector<int32_t>{ECONNREFUSED}));
    TTcpTestSlave slave;
    c.SetPort(slave.Port());
    c.Open();
    EXPECT_TRUE(c.Connected());
    EXPECT_TRUE(c.IsReadBufferEmpty());
    EXPECT_FALSE(c.WaitForData(10));
    c.Close();
    EXPECT_FALSE(c.Connected());
    EXPECT_FALSE(c.Active());
}

}  // namespace
