// The master end to end over a real TCP connector to the in-test slave on 127.0.0.1.

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "link/modbus_errors.h"
#include "link/modbus_master.h"
#include "link/tcp_connector.h"
#include "tests/support/event_loop.h"
#include "tests/support/tcp_test_slave.h"

namespace {

using testsupport::ProcessUntil;
using testsupport::TSlaveAction;

constexpr int kWaitMs = 3000;

struct TResult {
    int Calls = 0;
    int32_t Error = 0;
    TKRRegisters Registers;
};

class ModbusOverTcp : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureCoreApp();
        tcp.SetIP("127.0.0.1");
        tcp.SetPort(slave.Port());
        tcp.SetReadTimeout(150);
        master.SetName("master");
        master.SetConnector(&tcp);
        master.SetActive(true);
        ASSERT_TRUE(tcp.Connected());
    }

    TMBMCallBack Into(size_t AIndex) {
        if (results.size() <= AIndex) results.resize(AIndex + 1);
        return [this, AIndex](int32_t err, const void* data) {
            TResult& r = results[AIndex];
            ++r.Calls;
            r.Error = err;
            if (err == 0 && data != nullptr) r.Registers = *static_cast<const TKRRegisters*>(data);
            order.push_back(AIndex);
        };
    }
    bool Done(size_t ACount) const {
        if (results.size() < ACount) return false;
        for (size_t i = 0; i < ACount; ++i)
            if (results[i].Calls == 0) return false;
        return true;
    }

    // Bytes waiting unread on the master's socket.
    int InboundBytes() {
        int n = -1;
        return ::ioctl(tcp.TCPClient().Handle(), FIONREAD, &n) == 0 ? n : -1;
    }

    testsupport::TTcpTestSlave slave;
    TKRTCPConnector tcp;
    TKRModbusMaster master;
    std::vector<TResult> results;
    std::vector<size_t> order;
};

TEST_F(ModbusOverTcp, RequestsAreServedInTheOrderAccepted) {
    for (size_t i = 0; i < 20; ++i)
        master.ReadHoldingRegisters(mbtTCP, 1, static_cast<uint16_t>(10 * i), 3, Into(i));
    ASSERT_TRUE(ProcessUntil([&] { return Done(20); }, kWaitMs));
    ASSERT_EQ(order.size(), 20u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(order[i], i);
        const auto r = static_cast<uint16_t>(10 * i);
        EXPECT_EQ(results[i].Registers, (TKRRegisters{r, uint16_t(r + 1), uint16_t(r + 2)}));
    }
    const auto requests = slave.Requests();
    ASSERT_EQ(requests.size(), 20u);
    for (size_t i = 0; i < 20; ++i)
        EXPECT_EQ(requests[i][9], 10 * i);  // start register low byte
}

TEST_F(ModbusOverTcp, WritesReachTheSlave) {
    master.WriteHoldingRegister(mbtTCP, 1, 5, 1234, Into(0));
    master.WriteHoldingRegisters(mbtTCP, 1, 20, TKRRegisters{7, 8, 9}, Into(1));
    ASSERT_TRUE(ProcessUntil([&] { return Done(2); }, kWaitMs));
    EXPECT_EQ(results[0].Error, 0);
    EXPECT_EQ(results[1].Error, 0);
    EXPECT_EQ(slave.Register(5), 1234);
    EXPECT_EQ(slave.Register(20), 7);
    EXPECT_EQ(slave.Register(22), 9);
}

TEST_F(ModbusOverTcp, The256thWaitingRequestIsRefused) {
    slave.QueueActions({TSlaveAction::Silent});  // keeps the worker busy on the first request
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, Into(0));
    ASSERT_TRUE(slave.WaitForRequests(1, kWaitMs));
    for (size_t i = 1; i <= 255; ++i)
        master.ReadHoldingRegisters(mbtTCP, 1, static_cast<uint16_t>(i), 1, Into(i));
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, Into(256));
    EXPECT_EQ(results[256].Calls, 1);
    EXPECT_EQ(results[256].Error, mbeQueueFull);

    ASSERT_TRUE(ProcessUntil([&] { return Done(256); }, 10000));
    EXPECT_EQ(results[0].Error, -106);  // the silent one timed out
    for (size_t i = 1; i <= 255; ++i) {
        ASSERT_EQ(results[i].Calls, 1) << i;
        EXPECT_EQ(results[i].Error, 0) << i;
        EXPECT_EQ(results[i].Registers, (TKRRegisters{static_cast<uint16_t>(i)}));
    }
}

TEST_F(ModbusOverTcp, ExceptionReplyCarriesTheDeviceCode) {
    // The exception is shorter than the expected reply: its MBAP length ends the read, long
    // before this read time-out.
    tcp.SetReadTimeout(10000);
    slave.SetExceptionCode(2);
    slave.QueueActions({TSlaveAction::Exception});
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 10, Into(0));
    ASSERT_TRUE(ProcessUntil([&] { return Done(1); }, kWaitMs));
    EXPECT_EQ(results[0].Error, 2);
    std::string level;
    EXPECT_EQ(master.ErrorMsg(results[0].Error, level), "Некорректный адрес.");
    EXPECT_EQ(level, "Ошибка прибора");
}

TEST_F(ModbusOverTcp, AReplySplitAcrossSegmentsIsReadWhole) {
    tcp.SetReadTimeout(kWaitMs);
    slave.SetSplitAt(7);  // the MBAP prefix and the unit address, then the rest
    slave.QueueActions({TSlaveAction::Split, TSlaveAction::Stale});
    master.ReadHoldingRegisters(mbtTCP, 1, 10, 4, Into(0));
    // The rest goes out once the worker has taken the first segment off the socket.
    ASSERT_TRUE(slave.WaitForSplitHeld(kWaitMs));
    ASSERT_TRUE(ProcessUntil([&] { return Done(1) || InboundBytes() == 0; }, kWaitMs));
    slave.ReleaseSplit();
    ASSERT_TRUE(ProcessUntil([&] { return Done(1); }, kWaitMs));
    EXPECT_EQ(results[0].Error, 0);
    EXPECT_EQ(results[0].Registers, (TKRRegisters{10, 11, 12, 13}));

    // Bytes trailing a whole reply are still dropped before the next request.
    master.ReadHoldingRegisters(mbtTCP, 1, 20, 1, Into(1));
    ASSERT_TRUE(ProcessUntil([&] { return Done(2); }, kWaitMs));
    master.ReadHoldingRegisters(mbtTCP, 1, 30, 1, Into(2));
    ASSERT_TRUE(ProcessUntil([&] { return Done(3); }, kWaitMs));
    EXPECT_EQ(results[1].Registers, (TKRRegisters{20}));
    EXPECT_EQ(results[2].Error, 0);
    EXPECT_EQ(results[2].Registers, (TKRRegisters{30}));
}

TEST_F(ModbusOverTcp, WrongTransactionByteIsRefusedOnlyWithCheckID) {
    slave.QueueActions({TSlaveAction::WrongId, TSlaveAction::Answer});
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 2, Into(0));
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 2, Into(1));
    ASSERT_TRUE(ProcessUntil([&] { return Done(2); }, kWaitMs));
    EXPECT_EQ(results[0].Error, mbeBadID);
    EXPECT_EQ(results[1].Error, 0);

    master.SetCheckID(false);
    slave.QueueActions({TSlaveAction::WrongId});
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 2, Into(2));
    ASSERT_TRUE(ProcessUntil([&] { return Done(3); }, kWaitMs));
    EXPECT_EQ(results[2].Error, 0);
}

TEST_F(ModbusOverTcp, TransactionCounterWrapsAfter256Requests) {
    constexpr size_t kTotal = 258;
    for (size_t batch = 0; batch < kTotal; batch += 128) {
        const size_t end = std::min(batch + 128, kTotal);
        for (size_t i = batch; i < end; ++i)
            master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, Into(i));
        ASSERT_TRUE(ProcessUntil([&] { return Done(end); }, kWaitMs));
    }
    const auto requests = slave.Requests();
    ASSERT_EQ(requests.size(), kTotal);
    for (size_t i = 0; i < kTotal; ++i) {
        EXPECT_EQ(requests[i][0], static_cast<uint8_t>(i)) << i;
        EXPECT_EQ(results[i].Error, 0) << i;
    }
}

TEST_F(ModbusOverTcp, SilenceAndBadChecksumsAreWorded) {
    slave.QueueActions({TSlaveAction::Silent, TSlaveAction::BadCrc});
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 2, Into(0));
    master.ReadHoldingRegisters(mbtRTU, 1, 0, 2, Into(1));  // RTU framing over the same socket
    ASSERT_TRUE(ProcessUntil([&] { return Done(2); }, kWaitMs));
    std::string level;
    EXPECT_EQ(results[0].Error, -106);
    EXPECT_EQ(master.ErrorMsg(results[0].Error, level), "Timeout when receiving data.");
    EXPECT_EQ(level, "Ошибка передачи данных");
    EXPECT_EQ(results[1].Error, mbeCRC);
    EXPECT_EQ(master.ErrorMsg(results[1].Error, level), "Ошибка контрольной суммы.");
    EXPECT_EQ(level, "Ошибка обработки данных");
}

TEST_F(ModbusOverTcp, ClosedConnectionIsATransportFailure) {
    slave.QueueActions({TSlaveAction::Close});
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 2, Into(0));
    ASSERT_TRUE(ProcessUntil([&] { return Done(1); }, kWaitMs));
    EXPECT_LT(results[0].Error, -100);
    EXPECT_EQ(results[0].Calls, 1);
}

}  // namespace
