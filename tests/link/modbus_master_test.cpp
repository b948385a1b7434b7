// The master and its request helper against a scripted connector: refusals, framing handed to
// the connector, decoding, transport failures, the TCP transaction counter, exactly-once
// completion and handlers that throw.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "link/modbus_errors.h"
#include "link/modbus_frames.h"
#include "link/modbus_helper.h"
#include "link/modbus_master.h"
#include "tests/link/modbus_fake_connector.h"
#include "tests/link/modbus_fake_slave.h"
#include "tests/support/event_loop.h"

namespace {

using namespace mbtest;

using testsupport::ProcessUntil;

constexpr int kWaitMs = 2000;

// What one completion handler received.
struct TCompletion {
    int32_t Error = 0;
    bool HasData = false;
    TKRRegisters Registers;
};

class ModbusMasterTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureCoreApp();
        master.SetName("master");
        conn = std::make_unique<TFakeConnector>();
        conn->SetResponder([](const std::vector<uint8_t>& frame) {
            return TFakeConnector::TReply{0, SlaveReply(mbtTCP, frame)};
        });
    }
    void TearDown() override { conn->Release(); }

    void Attach() {
        master.SetConnector(conn.get());
        master.SetActive(true);
    }
    // A handler that records into done[AIndex] and counts its calls; ARegisters: the data of
    // a successful reply is a TKRRegisters.
    TMBMCallBack Recorder(size_t AIndex, bool ARegisters = true) {
        if (done.size() <= AIndex) done.resize(AIndex + 1);
        if (calls.size() <= AIndex) calls.resize(AIndex + 1);
        return [this, AIndex, ARegisters](int32_t err, const void* data) {
            ++calls[AIndex];
            done[AIndex].Error = err;
            done[AIndex].HasData = data != nullptr;
            if (err == 0 && data != nullptr && ARegisters)
                done[AIndex].Registers = *static_cast<const TKRRegisters*>(data);
        };
    }
    bool AllDone(size_t ACount) {
        if (calls.size() < ACount) return false;
        for (size_t i = 0; i < ACount; ++i)
            if (calls[i] == 0) return false;
        return true;
    }

    TKRModbusMaster master;
    std::unique_ptr<TFakeConnector> conn;
    std::vector<TCompletion> done;
    std::vector<int> calls;
};

TEST_F(ModbusMasterTest, RefusesWithoutConnectorAtOnce) {
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 10, Recorder(0));
    ASSERT_EQ(calls[0], 1);
    EXPECT_EQ(done[0].Error, mbeNoConnector);
    EXPECT_FALSE(done[0].HasData);
    master.ReadStatus(mbtTCP, 1, nullptr);  // no handler: dropped without a trace
}

TEST_F(ModbusMasterTest, RefusesWhileConnectorInactive) {
    master.SetConnector(conn.get());
    master.WriteHoldingRegister(mbtTCP, 1, 5, 7, Recorder(0));
    ASSERT_EQ(calls[0], 1);
    EXPECT_EQ(done[0].Error, mbeNotActive);
    testsupport::ProcessFor(20);
    EXPECT_TRUE(conn->Exchanges().empty());
}

TEST_F(ModbusMasterTest, FullQueueRefusesInTheMasterAndAtSend) {
    Attach();
    conn->Hold();
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, Recorder(0));
    ASSERT_TRUE(ProcessUntil([&] { return conn->WorkerHeld(); }, kWaitMs));
    for (size_t i = 1; i <= 255; ++i)
        master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, Recorder(i));
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, Recorder(257));
    EXPECT_EQ(calls[257], 1);
    EXPECT_EQ(done[257].Error, mbeQueueFull);  // the master's own check comes first
    // Bypass the master's own check, as a direct user of the helper would.
    auto pack = std::make_unique<TMBPack>();
    pack->MBType = mbtTCP;
    pack->MBFunc = 3;
    pack->Count = 1;
    pack->CallBack = Recorder(256);
    master.Helper().Dispatch(std::move(pack));
    EXPECT_EQ(calls[256], 1);
    EXPECT_EQ(done[256].Error, -101);
    conn->Release();
    ASSERT_TRUE(ProcessUntil([&] { return AllDone(256); }, kWaitMs));
}

class ModbusMasterFraming : public ModbusMasterTest,
                            public ::testing::WithParamInterface<TMBType> {};

TEST_P(ModbusMasterFraming, ReadHoldingRegistersRoundTrip) {
    const TMBType type = GetParam();
    conn->SetResponder([type](const std::vector<uint8_t>& frame) {
        return TFakeConnector::TReply{0, SlaveReply(type, frame)};
    });
    master.SetCheckID(false);
    Attach();
    master.ReadHoldingRegisters(type, 7, 100, 10, Recorder(0));
    ASSERT_TRUE(ProcessUntil([&] { return AllDone(1); }, kWaitMs));
    ASSERT_EQ(done[0].Error, 0);
    TKRRegisters expected;
    for (uint16_t r = 100; r < 110; ++r)
        expected.push_back(r);
    EXPECT_EQ(done[0].Registers, expected);

    TKRBuffer frame{};
    uint8_t recvLen = 0;
    const uint8_t len = ReadHoldingRegistersPack(type, 7, 100, 10, frame, recvLen);
    const auto ex = conn->Exchanges().at(0);
    EXPECT_EQ(ex.Frame, std::vector<uint8_t>(frame.begin(), frame.begin() + len));
    EXPECT_EQ(ex.RLen, recvLen);
    EXPECT_EQ(ex.Delimiter, type == mbtASCII ? 0x0D0Au : 0u);
    EXPECT_EQ(ex.DelimiterLen, type == mbtASCII ? 2 : 0);
}

TEST_P(ModbusMasterFraming, EveryRequestKindCompletesOnce) {
    const TMBType type = GetParam();
    conn->SetResponder([type](const std::vector<uint8_t>& frame) {
        return TFakeConnector::TReply{0, SlaveReply(type, frame)};
    });
    Attach();
    TKRBuffer user{};
    user[0] = 0xAB;
    master.ReadReadCoils(type, 1, 0, 9, Recorder(0, false));
    master.ReadDiscretInputs(type, 1, 0, 8, Recorder(1, false));
    master.ReadInputRegisters(type, 1, 3, 2, Recorder(2, false));
    master.ReadStatus(type, 1, Recorder(3, false));
    master.WriteCoil(type, 1, 4, true, Recorder(4, false));
    master.WriteCoils(type, 1, 0, 10, TKRBytes{0xFF, 0x03}, Recorder(5, false));
    master.WriteHoldingRegister(type, 1, 2, 500, Recorder(6, false));
    master.WriteHoldingRegisters(type, 1, 2, TKRRegisters{1, 2, 3}, Recorder(7, false));
    master.UserFunction(type, 1, 0x41, &user, 1, Recorder(8, false));
    ASSERT_TRUE(ProcessUntil([&] { return AllDone(9); }, kWaitMs));
    testsupport::ProcessFor(10);
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(calls[i], 1) << i;
        EXPECT_EQ(done[i].Error, 0) << i;
    }
    // Data only where the function carries some.
    EXPECT_TRUE(done[0].HasData);
    EXPECT_TRUE(done[3].HasData);
    EXPECT_FALSE(done[4].HasData);
    EXPECT_EQ(done[6].HasData, type == mbtRTU);
    EXPECT_FALSE(done[7].HasData);
    EXPECT_TRUE(done[8].HasData);
}

INSTANTIATE_TEST_SUITE_P(Framings, ModbusMasterFraming, ::testing::Values(mbtRTU, mbtTCP, mbtASCII),
                         [](const auto& AInfo) {
                             return std::string(AInfo.param == mbtRTU   ? "Rtu"
                                                : AInfo.param == mbtTCP ? "Tcp"
                                                                        : "Ascii");
                         });

TEST_F(ModbusMasterTest, UserFunctionDeliversTheBytesAfterTheFunctionCode) {
    conn->SetResponder([](const std::vector<uint8_t>& frame) {
        return TFakeConnector::TReply{0, SlaveReply(mbtRTU, frame)};
    });
    Attach();
    TKRBuffer data{};
    data[0] = 0x10;
    data[1] = 0x20;
    TKRBytes got;
    int calls0 = 0;
    master.UserFunction(mbtRTU, 1, 0x42, &data, 2, [&](int32_t err, const void* d) {
        ++calls0;
        ASSERT_EQ(err, 0);
        got = *static_cast<const TKRBytes*>(d);
    });
    ASSERT_TRUE(ProcessUntil([&] { return calls0 == 1; }, kWaitMs));
    EXPECT_EQ(got, (TKRBytes{0x10, 0x20}));  // no CRC bytes
}

TEST_F(ModbusMasterTest, WriteHoldingRegistersSendsTheArrayLengthAsQuantity) {
    Attach();
    master.WriteHoldingRegisters(mbtTCP, 1, 0x20, TKRRegisters{0x0102, 0x0304, 0x0506},
                                 Recorder(0));
    ASSERT_TRUE(ProcessUntil([&] { return AllDone(1); }, kWaitMs));
    const auto frame = conn->Exchanges().at(0).Frame;
    const std::vector<uint8_t> expected = {0, 0, 0, 0, 0, 13, 1, 16, 0x00, 0x20,
                                           0, 3, 6, 1, 2, 3,  4, 5,  6};
    EXPECT_EQ(frame, expected);
}

TEST_F(ModbusMasterTest, RawFramesAreCopiedAndStamped) {
    Attach();
    TKRBuffer raw{};
    uint8_t recvLen = 0;
    const uint8_t len = ReadHoldingRegistersPack(mbtTCP, 1, 4, 2, raw, recvLen);
    master.ReadStatus(mbtTCP, 1, Recorder(0, false));  // takes id 0
    TKRRegisters got;
    int n = 0;
    master.SendPack(
        mbtTCP, 3, &raw, len,
        [&](int32_t err, const void* d) {
            ++n;
            ASSERT_EQ(err, 0);
            got = *static_cast<const TKRRegisters*>(d);
        },
        recvLen);
    raw.fill(0xEE);  // the request already holds its own copy
    ASSERT_TRUE(ProcessUntil([&] { return n == 1 && AllDone(1); }, kWaitMs));
    EXPECT_EQ(got, (TKRRegisters{4, 5}));
    EXPECT_EQ(conn->Exchanges().at(1).Frame[0], 1);
    EXPECT_EQ(conn->Exchanges().at(1).RLen, recvLen);
}

// Transport failures must not read as device exceptions: connector code c arrives as -100 - c.
TEST_F(ModbusMasterTest, TransportFailuresAreShiftedBelowMinus100) {
    Attach();
    for (int32_t code = 2; code <= 6; ++code) {
        conn->SetResponder([code](const std::vector<uint8_t>&) {
            return TFakeConnector::TReply{code, {}};
        });
        const size_t i = static_cast<size_t>(code);
        master.ReadHoldingRegisters(mbtTCP, 1, 0, 2, Recorder(i));
        ASSERT_TRUE(ProcessUntil([&] { return calls[i] == 1; }, kWaitMs));
        EXPECT_EQ(done[i].Error, -100 - code);
        EXPECT_FALSE(done[i].HasData);
    }
}

TEST_F(ModbusMasterTest, TruncatedReplyIsAnErrorNotData) {
    conn->SetResponder([](const std::vector<uint8_t>& frame) {
        auto reply = SlaveReply(mbtTCP, frame);
        reply.erase(reply.end() - 3, reply.end());
        return TFakeConnector::TReply{0, reply};
    });
    Attach();
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 10, Recorder(0));
    ASSERT_TRUE(ProcessUntil([&] { return AllDone(1); }, kWaitMs));
    EXPECT_EQ(done[0].Error, mbeDataLength);
    EXPECT_FALSE(done[0].HasData);
}

TEST_F(ModbusMasterTest, ReplyLengthBeyond8BitsCompletesWithAProcessingError) {
    Attach();
    master.ReadHoldingRegisters(mbtRTU, 1, 0, 126, Recorder(0));  // 255 + 2 reply bytes
    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(done[0].Error, mbeModbusLength);
    master.ReadHoldingRegisters(static_cast<TMBType>(9), 1, 0, 1, Recorder(1));
    EXPECT_EQ(done[1].Error, mbeModbusLength);
    testsupport::ProcessFor(10);
    EXPECT_TRUE(conn->Exchanges().empty());
}

TEST_F(ModbusMasterTest, ThrowingHandlerIsReportedAndTheLinkGoesOn) {
    std::vector<std::string> reports;
    master.SetOnRuntimeError([&](QObject* sender, const std::string& desc, const std::exception&) {
        EXPECT_EQ(sender, &master);
        reports.push_back(desc);
    });
    Attach();
    int thrown = 0;
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, [&](int32_t, const void*) {
        ++thrown;
        throw std::runtime_error("handler failed");
    });
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, Recorder(0));
    ASSERT_TRUE(ProcessUntil([&] { return AllDone(1); }, kWaitMs));
    EXPECT_EQ(thrown, 1);
    EXPECT_EQ(done[0].Error, 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "TKRMBThread[FModbus.Name=\"master\"] procedure _CallBack; ");
}

TEST_F(ModbusMasterTest, HandlerMayDestroyTheMasterAndThrow) {
    auto owned = std::make_unique<TKRModbusMaster>();
    int reports = 0;
    owned->SetOnRuntimeError(
        [&](QObject*, const std::string&, const std::exception&) { ++reports; });
    owned->SetConnector(conn.get());
    owned->SetActive(true);
    int n = 0;
    owned->ReadHoldingRegisters(mbtTCP, 1, 0, 1, [&](int32_t err, const void*) {
        ++n;
        EXPECT_EQ(err, 0);
        owned.reset();
        throw std::runtime_error("gone");
    });
    ASSERT_TRUE(ProcessUntil([&] { return n == 1; }, kWaitMs));
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(reports, 0);
}

TEST_F(ModbusMasterTest, DeactivationCompletesWaitingRequestsOnce) {
    Attach();
    conn->Hold();
    for (size_t i = 0; i < 3; ++i)
        master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, Recorder(i));
    ASSERT_TRUE(ProcessUntil([&] { return conn->WorkerHeld(); }, kWaitMs));
    conn->Release();
    master.SetActive(false);
    ASSERT_TRUE(ProcessUntil([&] { return AllDone(3); }, kWaitMs));
    testsupport::ProcessFor(20);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(calls[i], 1) << i;
    EXPECT_EQ(done[2].Error, -107);
}

TEST_F(ModbusMasterTest, DestroyedMasterReleasesPendingRequestsWithoutCallingThem) {
    auto owned = std::make_unique<TKRModbusMaster>();
    owned->SetConnector(conn.get());
    owned->SetActive(true);
    conn->Hold();
    int n = 0;
    for (int i = 0; i < 3; ++i)
        owned->ReadStatus(mbtTCP, 1, [&](int32_t, const void*) { ++n; });
    ASSERT_TRUE(ProcessUntil([&] { return conn->WorkerHeld(); }, kWaitMs));
    owned.reset();
    conn->Release();
    conn = std::make_unique<TFakeConnector>();  // completes everything left
    testsupport::ProcessFor(20);
    EXPECT_EQ(n, 0);
}

TEST_F(ModbusMasterTest, SwitchingConnectorsLeavesBothInactive) {
    TFakeConnector other;
    Attach();
    EXPECT_TRUE(master.Active());
    master.SetConnector(conn.get());  // same connector: nothing happens
    EXPECT_TRUE(conn->Active());
    other.SetActive(true);
    master.SetConnector(&other);
    EXPECT_FALSE(conn->Active());
    EXPECT_FALSE(other.Active());
    EXPECT_EQ(master.Connector(), &other);
    master.SetConnector(nullptr);
    EXPECT_FALSE(master.Active());
}

TEST_F(ModbusMasterTest, DestroyedConnectorIsForgotten) {
    Attach();
    conn = std::make_unique<TFakeConnector>();
    EXPECT_EQ(master.Connector(), nullptr);
    master.ReadStatus(mbtTCP, 1, Recorder(0, false));
    EXPECT_EQ(done[0].Error, mbeNoConnector);
}

TEST_F(ModbusMasterTest, StoredSettingsThatHaveNoEffect) {
    master.SetWaitTime(500);
    master.SetWaitPauseTime(500);
    EXPECT_EQ(master.WaitTime(), 0u);
    EXPECT_EQ(master.WaitPauseTime(), 0u);
    EXPECT_EQ(master.QueueCount(), 0);
    EXPECT_TRUE(master.CheckID());
    master.SetActive(true);  // without a connector nothing happens
    EXPECT_FALSE(master.Active());
}

}  // namespace
