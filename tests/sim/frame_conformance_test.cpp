// The supply's Modbus framing as an independent client sees it: MBAP header and RTU CRC,
// address filtering, resynchronisation after noise, and the exception replies 1, 2 and 3.

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/sim/raw_client.h"

using namespace simtest;
using testsupport::ReadUntilQuiet;
using testsupport::SendAll;

namespace {

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sup.Started()) << sup.Error();
        tcp = sup.ConnectTcp();
        pty = sup.OpenPty();
        ASSERT_GE(tcp, 0);
        ASSERT_GE(pty, 0);
    }
    void TearDown() override {
        if (tcp >= 0) close(tcp);
        if (pty >= 0) close(pty);
    }
    testsupport::TVirtualSupplyFixture sup{{.pty = true}};
    int tcp = -1;
    int pty = -1;
};

TEST_F(FrameTest, TcpReplyEchoesTheHeaderAndCarriesTheRegisters) {
    const Bytes r = TcpExchange(tcp, 0xA55A, 1, Pdu3(0, 15));
    ASSERT_EQ(r.size(), 6u + 1 + 2 + 30);
    EXPECT_EQ(r[0], 0xA5);
    EXPECT_EQ(r[1], 0x5A);
    EXPECT_EQ(r[2], 0);
    EXPECT_EQ(r[3], 0);
    EXPECT_EQ(size_t(r[4] << 8 | r[5]), 33u);  // unit + function + count + 30 data bytes
    EXPECT_EQ(r[6], 1);
    EXPECT_EQ(r[7], 3);
    EXPECT_EQ(r[8], 30);
    EXPECT_EQ(Values(r, 7), sup->Registers(0, 15));
    EXPECT_EQ(Values(r, 7)[simreg::MODEL], 5015);
}

TEST_F(FrameTest, TcpIgnoresForeignProtocolAndUnitButStaysInStep) {
    SendAll(tcp, Mbap(1, 1, Pdu3(0, 1), /*protocol*/ 7));
    SendAll(tcp, Mbap(2, 9, Pdu3(0, 1)));  // another unit behind the bridge
    const Bytes r = TcpExchange(tcp, 3, 0xFF, Pdu3(11, 1));
    ASSERT_EQ(r.size(), 11u);
    EXPECT_EQ(r[1], 3) << "only the third request is answered";
    EXPECT_EQ(r[6], 0xFF);
    EXPECT_EQ(Values(r, 7), std::vector<uint16_t>{5015});
}

TEST_F(FrameTest, TcpTwoRequestsInOneSegmentGetTwoRepliesInOrder) {
    Bytes both = Mbap(10, 1, Pdu3(11, 1));
    const Bytes second = Mbap(11, 1, Pdu6(simreg::LOCK, 1));
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(SendAll(tcp, both));
    const Bytes r = testsupport::ReadBytes(tcp, 11 + 12);
    ASSERT_EQ(r.size(), 23u);
    EXPECT_EQ(r[1], 10);
    EXPECT_EQ(r[11 + 1], 11);
    EXPECT_EQ(Bytes(r.begin() + 18, r.end()), Pdu6(simreg::LOCK, 1));
}

TEST_F(FrameTest, TcpImpossibleLengthClosesTheConnection) {
    SendAll(tcp, {0, 1, 0, 0, 0, 0, 1, 3});  // length 0 cannot hold a unit and a function
    EXPECT_TRUE(testsupport::ReadBytes(tcp, 1, 1000).empty());
    char c;
    EXPECT_EQ(read(tcp, &c, 1), 0) << "the supply closed the stream";
}

TEST_F(FrameTest, RtuReplyHasAValidCrcAndTheRegisters) {
    const Bytes r = RtuExchange(pty, 1, Pdu3(0, 10));
    ASSERT_EQ(r.size(), 25u);
    EXPECT_TRUE(CrcValid(r));
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(r[2], 20);
    EXPECT_EQ(Values(r, 1), sup->Registers(0, 10));
}

TEST_F(FrameTest, RtuDropsANoisyFrameAndAnswersTheNextOne) {
    Bytes bad = Rtu(1, Pdu3(0, 2));
    bad.back() ^= 0x01;
    SendAll(pty, bad);
    // Dropped once the line has been silent, before the next frame is sent: a supply that
    // read both at once could not tell where the noise ended.
    ASSERT_TRUE(sup->WaitForDroppedFrames(1, std::chrono::seconds(2)));
    EXPECT_TRUE(ReadUntilQuiet(pty, 60).empty());
    const Bytes r = RtuExchange(pty, 1, Pdu3(11, 1));
    ASSERT_EQ(r.size(), 7u);
    EXPECT_TRUE(CrcValid(r));
}

TEST_F(FrameTest, RtuOtherAddressIsIgnoredAndBroadcastWritesSilently) {
    SendAll(pty, Rtu(2, Pdu6(simreg::BLED, 1)));  // for another slave on the bus
    SendAll(pty, Rtu(0, Pdu6(simreg::LOCK, 1)));  // broadcast
    ASSERT_TRUE(sup->WaitForRequests(1, std::chrono::seconds(2)));
    EXPECT_TRUE(ReadUntilQuiet(pty, 60).empty()) << "neither is answered";
    EXPECT_EQ(sup.Reg(simreg::LOCK), 1);
    EXPECT_EQ(sup.Reg(simreg::BLED), 4) << "the other slave's request changed nothing";
    EXPECT_EQ(sup->Requests(), 1u);
}

TEST_F(FrameTest, RtuRequestArrivingInPiecesIsAnswered) {
    const Bytes req = Rtu(1, Pdu3(0, 2));
    SendAll(pty, Bytes(req.begin(), req.begin() + 3));
    SendAll(pty, Bytes(req.begin() + 3, req.end()));
    const Bytes r = testsupport::ReadBytes(pty, 9);
    ASSERT_EQ(r.size(), 9u);
    EXPECT_TRUE(CrcValid(r));
}

TEST_F(FrameTest, RtuUnknownFunctionEndsAtSilenceWithException1) {
    SendAll(pty, Rtu(1, {0x2B, 0x0E, 0x01, 0x00}));  // read device identification
    const Bytes r = testsupport::ReadBytes(pty, 5);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[1], 0x2B | 0x80);
    EXPECT_EQ(r[2], 1);
    EXPECT_TRUE(CrcValid(r));
}

// Exception replies, each over TCP and over RTU.
struct ExceptionCase {
    const char* name;
    Bytes pdu;
    uint8_t code;
};

class ExceptionTest : public FrameTest,
                      public ::testing::WithParamInterface<std::tuple<ExceptionCase, bool>> {};

TEST_P(ExceptionTest, AnswersTheExceptionAndChangesNothing) {
    const auto& [c, overTcp] = GetParam();
    const auto before = sup->Registers(0, simreg::kMainCount);
    const Bytes r = overTcp ? TcpExchange(tcp, 7, 1, c.pdu) : RtuExchange(pty, 1, c.pdu);
    const size_t at = overTcp ? 7 : 1;
    ASSERT_GE(r.size(), at + 2);
    EXPECT_EQ(r[at], c.pdu[0] | 0x80);
    EXPECT_EQ(r[at + 1], c.code);
    if (!overTcp) {
        EXPECT_TRUE(CrcValid(r));
    }
    EXPECT_EQ(sup->Registers(0, simreg::kMainCount), before);
    EXPECT_TRUE(sup->Writes().empty());
}

const ExceptionCase kExceptions[] = {
    {"ReadCoils", {1, 0, 0, 0, 8}, 1},
    {"ReadInputRegisters", {4, 0, 0, 0, 1}, 1},
    {"WriteCoil", {5, 0, 0, 0xFF, 0}, 1},
    {"HoleAfterMainBlock", Pdu3(48, 1), 2},
    {"ReadCrossingIntoHole", Pdu3(40, 10), 2},
    {"ReadCrossingOutOfHole", Pdu3(79, 2), 2},
    {"BeyondCalibration", Pdu3(427, 2), 2},
    {"WriteIntoHole", Pdu6(60, 1), 2},
    {"ReadCountZero", Pdu3(0, 0), 3},
    {"ReadCount126", Pdu3(80, 126), 3},
    {"WriteByteCountMismatch", {16, 0, 0, 0, 2, 2, 0, 1, 0, 1}, 3},
    {"WriteShortOfItsQuantity", {16, 0, 0, 0, 2, 2, 0, 1}, 3},
    {"WriteCountZero", {16, 0, 0, 0, 0, 0}, 3},
    {"MemoryNumberTooHigh", Pdu6(simreg::MEM, 20), 3},
    {"SetVoltageAboveModel", Pdu16(0, {5101, 100}), 3},
    {"MaxMemoryZero", Pdu6(simreg::MMAX, 0), 3},
};

INSTANTIATE_TEST_SUITE_P(Frames, ExceptionTest,
                         ::testing::Combine(::testing::ValuesIn(kExceptions), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Tcp" : "Rtu");
                         });

}  // namespace
