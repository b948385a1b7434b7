#include "link/com_port_connector.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <stdexcept>

#include "link/kr_crc.h"
#include "link/modbus_reply_end.h"
#include "link/worker_thread.h"
#include "sim/virtual_supply.h"
#include "tests/link/pty_device.h"
#include "tests/support/event_loop.h"
#include "tests/support/thread_wakeups.h"

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::ProcessUntil;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

struct Completion {
    int32_t error = -1;
    int32_t length = -1;
    std::vector<uint8_t> bytes;
    long long ms = 0;  // from Send to the completion on this thread
};

const std::vector<uint8_t> kRequest{0x01, 0x03, 0x00, 0x00, 0x00, 0x0F, 0x05, 0xCE};

class ComPortConnectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureCoreApp();
        ASSERT_TRUE(fDevice.Ok());
        fCon.SetName("COMPortConnector");
        fCon.SetPort(fDevice.SlavePath());
        fCon.SetBaudRate(9600);
        fCon.SetOnConnectionStatus(
            [this](TKRConnector*, TKRConnectorStat s, uint32_t) { fStates.push_back(s); });
    }
    void TearDown() override { fCon.SetActive(false); }

    // Sends the request frame; the completion lands in the returned slot.
    std::shared_ptr<std::optional<Completion>> Send(int32_t rlen, uint32_t delimiter = 0,
                                                    int32_t delimiterLen = 0,
                                                    bool waitResult = true) {
        auto slot = std::make_shared<std::optional<Completion>>();
        auto* buf = new TKRBuffer{};
        std::copy(kRequest.begin(), kRequest.end(), buf->begin());
        const auto start = Clock::now();
        fCon.Send(
            buf, static_cast<int32_t>(kRequest.size()),
            [slot, start](int32_t err, PKRBuffer pack, int32_t len, void*) {
                Completion c;
                c.error = err;
                c.length = len;
                c.ms = MsSince(start);
                if (pack && len > 0) c.bytes.assign(pack->begin(), pack->begin() + len);
                delete pack;
                *slot = c;
            },
            nullptr, waitResult, rlen, delimiter, delimiterLen);
        return slot;
    }
    Completion Wait(const std::shared_ptr<std::optional<Completion>>& slot, int ms = 3000) {
        EXPECT_TRUE(ProcessUntil([&] { return slot->has_value(); }, ms));
        return slot->value_or(Completion{});
    }
    // The device reads one request frame.
    void ExpectRequest() { EXPECT_EQ(fDevice.Receive(kRequest.size()), kRequest); }

    PtyDevice fDevice;
    TKRCOMPortConnector fCon;
    std::vector<TKRConnectorStat> fStates;
};

TEST_F(ComPortConnectorTest, DefaultsAndPropertiesReachThePort) {
    TKRCOMPortConnector c;
    EXPECT_EQ(c.ConnectorType(), ctCOMPort);
    EXPECT_EQ(c.BaudRate(), 4800);
    EXPECT_EQ(c.DataBits(), 8);
    EXPECT_EQ(c.Port(), "COM1");
    EXPECT_FALSE(c.Connected());
    c.SetParity(2);
    c.SetStopBits(2);
    c.SetFlowControl(1);
    EXPECT_EQ(c.ComPort().Parity(), 2);
    EXPECT_EQ(c.ComPort().StopBits(), 2);
    EXPECT_EQ(c.ComPort().ControlRTS(), 2u);
    EXPECT_EQ(c.FlowControl(), 1);
}

TEST_F(ComPortConnectorTest, ActivationOpensThePortAndReportsTheStates) {
    fCon.SetActive(true);
    EXPECT_TRUE(fCon.Active());
    EXPECT_TRUE(fCon.Connected());
    ASSERT_TRUE(ProcessUntil([&] { return fStates.size() >= 2; }, 1000));
    EXPECT_EQ(fStates[0], cstDisconnected);  // direct call at activation
    EXPECT_EQ(fStates[1], cstConnected);     // posted by the port's OnConnected

    fCon.SetActive(false);
    EXPECT_FALSE(fCon.Connected());
    EXPECT_EQ(fStates.back(), cstNotActive);
    // A fresh worker: re-activation opens again.
    fCon.SetActive(true);
    EXPECT_TRUE(fCon.Connected());
}

TEST_F(ComPortConnectorTest, MissingPortLeavesTheConnectorActiveAndPacketsFailWithError2) {
    fCon.SetPort("ttyBENCHLORD_MISSING7");
    fCon.SetActive(true);
    EXPECT_TRUE(fCon.Active());
    EXPECT_FALSE(fCon.Connected());
    EXPECT_EQ(fCon.ComPort().LastError(), 1);
    const Completion c = Wait(Send(7));
    EXPECT_EQ(c.error, cerNotConnected);
    EXPECT_EQ(c.length, 0);
    ASSERT_TRUE(ProcessUntil([&] { return fStates.back() == cstWaitReconnecting; }, 1000));
    EXPECT_NE(std::find(fStates.begin(), fStates.end(), cstConnecting), fStates.end());
}

TEST_F(ComPortConnectorTest, ReplyEndsAtTheExpectedLength) {
    fCon.SetWaitRespTime(1000);
    fCon.SetReadTimeout(1000);
    fCon.SetWriteTimeout(1000);
    fCon.SetActive(true);
    auto slot = Send(7);
    ExpectRequest();
    // Dribbled in two parts; the second completes the expected length.
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{0x01, 0x06, 0x00}));
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{0x20, 0x00, 0x64, 0x88}));
    const Completion c = Wait(slot);
    EXPECT_EQ(c.error, 0);
    EXPECT_EQ(c.length, 7);
    EXPECT_EQ(c.bytes, (std::vector<uint8_t>{0x01, 0x06, 0x00, 0x20, 0x00, 0x64, 0x88}));
    EXPECT_LT(c.ms, 500);  // well before the 1000 ms of silence
    EXPECT_EQ(fCon.GetCounter(), 1u);
}

TEST_F(ComPortConnectorTest, ReadsAtMostHalfAgainTheExpectedLength) {
    fCon.SetWaitRespTime(1000);
    fCon.SetActive(true);
    auto slot = Send(35);
    ExpectRequest();
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>(60, 0xA5)));
    const Completion c = Wait(slot);
    EXPECT_EQ(c.error, 0);
    EXPECT_EQ(c.length, 51);  // (35 div 2) * 3
    // The rest stays in the port's input queue.
    EXPECT_EQ(fCon.ComPort().InputCount(), 9);
}

TEST_F(ComPortConnectorTest, UnknownLengthReadsAtMost255Bytes) {
    fCon.SetWaitRespTime(1000);
    fCon.SetActive(true);
    auto slot = Send(0);
    ExpectRequest();
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>(300, 0x3C)));
    const Completion c = Wait(slot);
    EXPECT_EQ(c.error, 0);
    EXPECT_EQ(c.length, 255);
    EXPECT_LT(c.ms, 900);
}

TEST_F(ComPortConnectorTest, AsciiReplyEndsAtCrLf) {
    fCon.SetWaitRespTime(1000);
    fCon.SetReadTimeout(1000);
    fCon.SetWriteTimeout(1000);
    fCon.SetActive(true);
    auto slot = Send(35, 0x0D0A, 2);
    ExpectRequest();
    ASSERT_TRUE(fDevice.Send(":01830279\r\n"));
    const Completion c = Wait(slot);
    EXPECT_EQ(c.error, 0);
    EXPECT_EQ(c.length, 11);
    EXPECT_LT(c.ms, 500);
}

TEST_F(ComPortConnectorTest, ShortExceptionReplyEndsBySilence) {
    fCon.SetWaitRespTime(60);
    fCon.SetReadTimeout(1000);
    fCon.SetWriteTimeout(1000);
    fCon.SetActive(true);
    auto slot = Send(35);
    ExpectRequest();
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{0x01, 0x83, 0x02, 0xC0, 0xF1}));
    const Completion c = Wait(slot);
    EXPECT_EQ(c.error, 0);
    EXPECT_EQ(c.length, 5);
    EXPECT_GE(c.ms, 60);
    EXPECT_LT(c.ms, 1000);
}

TEST_F(ComPortConnectorTest, SilentDeviceGivesError4WhenSilenceEndsTheWait) {
    fCon.SetWaitRespTime(5);  // against a 200 ms window
    fCon.SetActive(true);
    const Completion c = Wait(Send(7));
    EXPECT_EQ(c.error, cerNoAnswer);
    EXPECT_EQ(c.length, 0);
    EXPECT_LT(c.ms, 150);
}

TEST_F(ComPortConnectorTest, SilentDeviceGivesError6WhenTheWindowEndsTheWait) {
    fCon.SetWaitRespTime(1000);
    fCon.SetReadTimeout(40);
    fCon.SetWriteTimeout(40);
    fCon.SetActive(true);
    const Completion c = Wait(Send(7));
    EXPECT_EQ(c.error, cerReceiveTimeout);
    EXPECT_GE(c.ms, 80);
    EXPECT_LT(c.ms, 900);
}

TEST_F(ComPortConnectorTest, ThirdSilentReplyClosesThePortAndReconnectsAfterThePause) {
    fCon.SetWaitRespTime(5);  // the silence ends each read, well inside the window
    fCon.SetReadTimeout(1000);
    fCon.SetWriteTimeout(10);
    fCon.SetReconnectTime(150);
    fCon.SetActive(true);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Wait(Send(7)).error, cerNoAnswer) << i;
    ASSERT_TRUE(ProcessUntil([&] { return fStates.back() == cstDisconnected; }, 1000));
    EXPECT_FALSE(fCon.Connected());

    const auto closedAt = Clock::now();
    EXPECT_EQ(Wait(Send(7)).error, cerNotConnected);  // inside the reconnect pause
    fDevice.Receive(64, 0);                           // drop the requests read so far
    testsupport::ProcessFor(static_cast<int>(160 - MsSince(closedAt)));

    fStates.clear();
    // The answered exchange gets room for a slow test thread on a loaded machine.
    fCon.SetWaitRespTime(2000);
    auto slot = Send(7);
    // The master reports a hang-up until the worker has reopened the line.
    ASSERT_TRUE(ProcessUntil([&] { return fCon.Connected(); }, 1000));
    ExpectRequest();
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{1, 6, 0, 0x20, 0, 0x64, 0x88}));
    const Completion c = Wait(slot);
    EXPECT_EQ(c.error, 0);
    EXPECT_TRUE(fCon.Connected());
    ASSERT_TRUE(ProcessUntil([&] { return fStates.size() >= 2; }, 1000));
    EXPECT_EQ(fStates[0], cstConnecting);
    EXPECT_EQ(fStates[1], cstConnected);
}

TEST_F(ComPortConnectorTest, SevenFailedWritesCloseThePortWithoutAStateMessage) {
    fCon.SetReconnectTime(60000);
    fCon.SetActive(true);
    ASSERT_TRUE(ProcessUntil([&] { return fStates.size() >= 2; }, 1000));
    fDevice.HangUp();  // the adapter is pulled out: every write fails
    for (int i = 1; i <= 7; ++i) {
        EXPECT_TRUE(fCon.Connected()) << i;
        const Completion c = Wait(Send(7));
        EXPECT_EQ(c.error, cerSendFailed) << i;
        EXPECT_EQ(c.length, 0);
    }
    EXPECT_FALSE(fCon.Connected());
    EXPECT_EQ(fStates.back(), cstConnected);
    // The next packet waits for the reconnect pause.
    EXPECT_EQ(Wait(Send(7)).error, cerNotConnected);
}

TEST_F(ComPortConnectorTest, LateBytesOfAnEarlierReplyAreNotTakenForTheNextReply) {
    fCon.SetWaitRespTime(5);
    fCon.SetActive(true);
    EXPECT_EQ(Wait(Send(7)).error, cerNoAnswer);
    ExpectRequest();
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{0xEE, 0xEE, 0xEE}));  // arrives too late
    ASSERT_TRUE(ProcessUntil([&] { return fCon.ComPort().InputCount() == 3; }, 1000));

    fCon.SetWaitRespTime(1000);
    auto slot = Send(7);
    ExpectRequest();
    ASSERT_TRUE(fDevice.Send(std::vector<uint8_t>{1, 6, 0, 0x20, 0, 0x64, 0x88}));
    const Completion c = Wait(slot);
    EXPECT_EQ(c.error, 0);
    EXPECT_EQ(c.bytes, (std::vector<uint8_t>{1, 6, 0, 0x20, 0, 0x64, 0x88}));
}

TEST_F(ComPortConnectorTest, PacketWithoutReplyCompletesAfterTheWrite) {
    fCon.SetWaitRespTime(1000);
    fCon.SetActive(true);
    const Completion c = Wait(Send(7, 0, 0, false));
    EXPECT_EQ(c.error, 0);
    EXPECT_LT(c.ms, 500);
    ExpectRequest();
}

TEST_F(ComPortConnectorTest, ExceptionInASendEventIsASendFailureAndARuntimeError) {
    std::string description;
    fCon.SetOnRuntimeError(
        [&](QObject*, const std::string& d, const std::exception&) { description = d; });
    fCon.SetOnSend([](TKRConnector*, PKRBuffer, int32_t) { throw std::runtime_error("boom"); });
    fCon.SetActive(true);
    const Completion c = Wait(Send(7));
    EXPECT_EQ(c.error, cerSendFailed);
    EXPECT_EQ(description,
              "TKRCOMPortThread[FConnector.Name=\"COMPortConnector\"; procedure _exec; "
              "n:=FComPort.Write(FPk^.Pack^,FPk^.Length);");
}

TEST_F(ComPortConnectorTest, DeactivationDuringAWaitEndsPromptly) {
    fCon.SetWaitRespTime(5000);
    fCon.SetReadTimeout(5000);
    fCon.SetWriteTimeout(5000);
    fCon.SetActive(true);
    auto slot = Send(7);
    ExpectRequest();
    const auto start = Clock::now();
    fCon.SetActive(false);
    EXPECT_LT(MsSince(start), 1000);
    ASSERT_TRUE(ProcessUntil([&] { return slot->has_value(); }, 1000));
    EXPECT_NE(slot->value().error, 0);
}

// A supply on a line paced at 9600 baud sends its replies byte by byte, a millisecond apart. The
// worker sleeps through the bytes it expects instead of waking for each one, and still ends an
// exception reply at its fifth byte instead of after the silence.
TEST(ComPortConnectorOnAPacedLine, RepliesWakeTheWorkerAFewTimesNotOncePerByte) {
    testsupport::EnsureCoreApp();
    VirtualSupplyOptions options;
    options.tcp = false;
    options.pty = true;
    options.wireTime = true;
    auto supply = VirtualSupply::Start(options);
    ASSERT_TRUE(supply);
    TKRCOMPortConnector con;
    con.SetPort(supply->PtyPath());
    con.SetBaudRate(9600);
    // Windows far beyond the 40 ms of an exchange: on a loaded machine (or a sanitizer build)
    // the supply's paced bytes may stall for a while, which is not what this test is about.
    con.SetWaitRespTime(2000);
    con.SetReadTimeout(5000);
    con.SetActive(true);
    ASSERT_TRUE(con.Connected());

    // Reads ACount registers from AStart; the completion's error and length.
    auto exchange = [&](uint16_t AStart, uint16_t ACount) {
        auto* buf = new TKRBuffer{};
        const uint8_t head[6] = {1, 3, uint8_t(AStart >> 8), uint8_t(AStart), 0, uint8_t(ACount)};
        std::copy(head, head + 6, buf->begin());
        const uint16_t crc = ModbusCRC16(buf->data(), 6);
        (*buf)[6] = uint8_t(crc);
        (*buf)[7] = uint8_t(crc >> 8);
        std::optional<Completion> done;
        const auto start = Clock::now();
        con.Send(
            buf, 8,
            [&](int32_t err, PKRBuffer pack, int32_t len, void*) {
                done = Completion{err, len, {}, MsSince(start)};
                delete pack;
            },
            nullptr, true, 5 + 2 * ACount, 0, 0, ModbusReplyComplete(mbtRTU),
            ModbusShortestReply(mbtRTU));
        EXPECT_TRUE(ProcessUntil([&] { return done.has_value(); }, 10000));
        return done.value_or(Completion{});
    };

    ASSERT_EQ(exchange(0, 10).error, 0);  // the line is warm
    const testsupport::TThreadWakeups wakeups(TKRThread2::kThreadName);
    constexpr int kExchanges = 10;
    for (int i = 0; i < kExchanges; ++i) {
        const Completion c = exchange(0, 10);
        ASSERT_EQ(c.error, 0);
        ASSERT_EQ(c.length, 25);
    }
    // Per exchange: the packet, the first reply byte, the exception check, the end (one more
    // when the supply is late); a wake-up per byte would be 25.
    EXPECT_LE(wakeups.Since(), uint64_t{6 * kExchanges});

    const Completion ex = exchange(2000, 10);  // beyond the register map
    EXPECT_EQ(ex.error, 0);
    EXPECT_EQ(ex.length, 5);
    EXPECT_LT(ex.ms, 1000);  // not the 2000 ms of silence
}

}  // namespace
