// The project's Modbus master against the virtual supply, over TCP and over the pseudo-terminal,
// giving the same values as the independent raw client.

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "link/com_port_connector.h"
#include "link/modbus_master.h"
#include "link/tcp_connector.h"
#include "tests/sim/raw_client.h"
#include "tests/support/event_loop.h"
#include "tests/support/manual_clock.h"

using namespace simtest;

namespace {

struct Result {
    int32_t error = 0;
    std::vector<uint16_t> values;
};

class MasterInteropTest : public ::testing::TestWithParam<TMBType> {
protected:
    void SetUp() override {
        testsupport::EnsureCoreApp();
        ASSERT_TRUE(sup.Started()) << sup.Error();
        if (GetParam() == mbtTCP) {
            tcp.SetIP("127.0.0.1");
            tcp.SetPort(sup.TcpPort());
            master.SetConnector(&tcp);
            tcp.SetActive(true);
            ASSERT_TRUE(tcp.Connected());
        } else {
            com.SetPort(sup.PtyPath());
            com.SetBaudRate(9600);
            // Room for a slow start of the reply on a loaded machine; an exception reply
            // (shorter than expected) ends after this much silence.
            com.SetReadTimeout(500);
            com.SetWriteTimeout(500);
            com.SetWaitRespTime(200);
            master.SetConnector(&com);
            com.SetActive(true);
            ASSERT_TRUE(com.Connected());
        }
    }
    void TearDown() override { master.SetActive(false); }

    Result Wait(std::optional<Result>& slot) {
        EXPECT_TRUE(testsupport::ProcessUntil([&] { return slot.has_value(); }, 3000));
        return slot.value_or(Result{-999, {}});
    }
    TMBMCallBack Into(std::optional<Result>& slot) {
        return [&slot](int32_t err, const void* data) {
            Result r{err, {}};
            if (err == 0 && data) r.values = *static_cast<const TKRRegisters*>(data);
            slot = r;
        };
    }
    Result Read(uint16_t start, uint16_t count) {
        std::optional<Result> slot;
        master.ReadHoldingRegisters(GetParam(), 1, start, count, Into(slot));
        return Wait(slot);
    }
    Result Write(uint16_t start, const TKRRegisters& values) {
        std::optional<Result> slot;
        if (values.size() == 1)
            master.WriteHoldingRegister(GetParam(), 1, start, values[0], Into(slot));
        else
            master.WriteHoldingRegisters(GetParam(), 1, start, values, Into(slot));
        return Wait(slot);
    }
    // The same read by the independent client on its own connection.
    std::vector<uint16_t> RawRead(uint16_t start, uint16_t count) {
        const int fd = sup.ConnectTcp();
        const Bytes r = TcpExchange(fd, 1, 1, Pdu3(start, count));
        close(fd);
        return Values(r, 7);
    }

    testsupport::TVirtualSupplyFixture sup{{.pty = true}};
    testsupport::TManualClock stoppedClock;  // outlives the connectors
    TKRModbusMaster master;
    TKRTCPConnector tcp;
    TKRCOMPortConnector com;
};

TEST_P(MasterInteropTest, ReadsTheWholeMapLikeTheRawClient) {
    for (const auto& [start, count] : std::vector<std::pair<uint16_t, uint16_t>>{
             {0, 15}, {16, 15}, {33, 7}, {80, 9}, {384, 9}, {400, 28}}) {
        const Result r = Read(start, count);
        ASSERT_EQ(r.error, 0) << start;
        EXPECT_EQ(r.values, RawRead(start, count)) << start;
    }
}

TEST_P(MasterInteropTest, WritesAndExceptionsArriveAsTheMasterExpects) {
    EXPECT_EQ(Write(simreg::LOCK, {1}).error, 0);
    EXPECT_EQ(Write(simreg::USET, {1234, 150}).error, 0);
    EXPECT_EQ(RawRead(0, 2), (std::vector<uint16_t>{1234, 150}));
    EXPECT_EQ(Read(48, 1).error, 2) << "outside the map";
    EXPECT_EQ(Write(simreg::MEM, {20}).error, 3) << "no such preset";
    EXPECT_EQ(Read(simreg::LOCK, 1).values, std::vector<uint16_t>{1});
}

TEST_P(MasterInteropTest, CorruptedAndDroppedRepliesAreLinkErrors) {
    SimFaults f;
    f.corruptCrcEvery = GetParam() == mbtRTU ? 1 : 0;
    f.badTransaction = GetParam() == mbtTCP;
    sup->SetFaults(f);
    const Result r = Read(0, 2);
    EXPECT_LT(r.error, 0) << "a reply that fails its check never counts as success";
    sup->SetFaults({});
    EXPECT_EQ(Read(0, 2).error, 0);
}

TEST_P(MasterInteropTest, AnExceptionReplyEndsTheReadAsSoonAsItIsWhole) {
    // With the link's clock stopped the serial silence gap and read window never close, and the
    // TCP read time-out is far beyond the wait: only the frame itself can end the read.
    TKRConnector& link = GetParam() == mbtTCP ? static_cast<TKRConnector&>(tcp) : com;
    master.SetActive(false);
    link.SetTickClock(&stoppedClock);
    tcp.SetReadTimeout(60000);
    master.SetActive(true);
    SimFaults f;
    f.exceptionCode = 4;
    sup->SetFaults(f);
    EXPECT_EQ(Read(0, 10).error, 4);
    EXPECT_EQ(Write(simreg::USET, {500}).error, 4);
}

INSTANTIATE_TEST_SUITE_P(Transports, MasterInteropTest, ::testing::Values(mbtTCP, mbtRTU),
                         [](const auto& info) { return info.param == mbtTCP ? "Tcp" : "Rtu"; });

}  // namespace
