#include <gtest/gtest.h>

#include <functional>

#include "frame_hex.h"
#include "link/modbus_frames.h"

namespace {

using TBuilder = std::function<uint8_t(TMBType, TKRBuffer&, uint8_t&)>;

struct TFrameCase {
    const char* name;
    TMBType type;
    TBuilder build;
    std::vector<uint8_t> frame;
    uint8_t recvLen;
};

class FrameLayout : public ::testing::TestWithParam<TFrameCase> {};

TEST_P(FrameLayout, MatchesLiteralBytesAndReplyLength) {
    const TFrameCase& c = GetParam();
    TKRBuffer buf{};
    uint8_t recvLen = 99;
    const uint8_t len = c.build(c.type, buf, recvLen);
    ASSERT_EQ(len, c.frame.size());
    EXPECT_EQ(Head(buf, len), c.frame);
    EXPECT_EQ(recvLen, c.recvLen);
}

TBuilder ReadCoils(uint8_t a, uint16_t s, uint16_t n) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) { return ReadReadCoilsPack(t, a, s, n, b, r); };
}
TBuilder ReadInputs(uint8_t a, uint16_t s, uint16_t n) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) {
        return ReadDiscretInputsPack(t, a, s, n, b, r);
    };
}
TBuilder ReadHolding(uint8_t a, uint16_t s, uint16_t n) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) {
        return ReadHoldingRegistersPack(t, a, s, n, b, r);
    };
}
TBuilder ReadInput(uint8_t a, uint16_t s, uint16_t n) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) {
        return ReadInputRegistersPack(t, a, s, n, b, r);
    };
}
TBuilder Status(uint8_t a) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) { return ReadStatusPack(t, a, b, r); };
}
TBuilder Coil(uint8_t a, uint16_t c, bool on) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) { return WriteCoilPack(t, a, c, on, b, r); };
}
TBuilder Coils(uint8_t a, uint16_t s, uint16_t n, TKRBytes d) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) { return WriteCoilsPack(t, a, s, n, d, b, r); };
}
TBuilder Register(uint8_t a, uint16_t s, uint16_t v) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) {
        return WriteHoldingRegisterPack(t, a, s, v, b, r);
    };
}
TBuilder Registers(uint8_t a, uint16_t s, TKRRegisters d) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) {
        return WriteHoldingRegistersPack(t, a, s, d, b, r);
    };
}
TBuilder User(uint8_t a, uint8_t f, std::vector<uint8_t> d) {
    return [=](TMBType t, TKRBuffer& b, uint8_t& r) {
        r = 0;
        return UserFunctionPack(t, a, f, d.data(), d.size(), b);
    };
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// RTU frames are published Modbus examples; TCP and ASCII frames follow from the same bodies.
INSTANTIATE_TEST_SUITE_P(
    AllFunctions, FrameLayout,
    ::testing::Values(
        // Function 1: 37 coils -> 4 full bytes + 1 partial + 3 = 8 reply body bytes.
        TFrameCase{"Fc1Rtu", mbtRTU, ReadCoils(0x11, 0x13, 0x25), Hex("11 01 00 13 00 25 0E 84"),
                   10},
        TFrameCase{"Fc1Tcp", mbtTCP, ReadCoils(0x11, 0x13, 0x25),
                   Hex("00 00 00 00 00 06 11 01 00 13 00 25"), 14},
        TFrameCase{"Fc1Ascii", mbtASCII, ReadCoils(0x11, 0x13, 0x25), Bytes(":110100130025B6\r\n"),
                   21},
        TFrameCase{"Fc1NineCoils", mbtRTU, ReadCoils(1, 0, 9),
                   Cat(Hex("01 01 00 00 00 09"), Hex("FC 0C")), 7},
        TFrameCase{"Fc1EightCoils", mbtTCP, ReadCoils(1, 0, 8),
                   Hex("00 00 00 00 00 06 01 01 00 00 00 08"), 10},
        TFrameCase{"Fc2Rtu", mbtRTU, ReadInputs(0x11, 0xC4, 0x16), Hex("11 02 00 C4 00 16 BA A9"),
                   8},
        TFrameCase{"Fc2Ascii", mbtASCII, ReadInputs(0x11, 0xC4, 0x16), Bytes(":110200C4001613\r\n"),
                   17},
        TFrameCase{"Fc3Rtu", mbtRTU, ReadHolding(0x11, 0x6B, 3), Hex("11 03 00 6B 00 03 76 87"),
                   11},
        TFrameCase{"Fc3Ascii", mbtASCII, ReadHolding(0x11, 0x6B, 3), Bytes(":1103006B00037E\r\n"),
                   23},
        // 15 registers: 33 reply body bytes -> 35 RTU, 39 TCP, 71 ASCII characters.
        TFrameCase{"Fc3FifteenRtu", mbtRTU, ReadHolding(1, 0, 15), Hex("01 03 00 00 00 0F 05 CE"),
                   35},
        TFrameCase{"Fc3FifteenTcp", mbtTCP, ReadHolding(1, 0, 15),
                   Hex("00 00 00 00 00 06 01 03 00 00 00 0F"), 39},
        TFrameCase{"Fc3FifteenAscii", mbtASCII, ReadHolding(1, 0, 15), Bytes(":01030000000FED\r\n"),
                   71},
        TFrameCase{"Fc4Rtu", mbtRTU, ReadInput(0x11, 8, 1), Hex("11 04 00 08 00 01 B2 98"), 7},
        TFrameCase{"Fc4Tcp", mbtTCP, ReadInput(0x11, 8, 1),
                   Hex("00 00 00 00 00 06 11 04 00 08 00 01"), 11},
        TFrameCase{"Fc5OnRtu", mbtRTU, Coil(0x11, 0xAC, true), Hex("11 05 00 AC FF 00 4E 8B"), 8},
        TFrameCase{"Fc5OffTcp", mbtTCP, Coil(0x11, 0xAC, false),
                   Hex("00 00 00 00 00 06 11 05 00 AC 00 00"), 12},
        TFrameCase{"Fc5Ascii", mbtASCII, Coil(0x11, 0xAC, true), Bytes(":110500ACFF003F\r\n"), 17},
        TFrameCase{"Fc6Rtu", mbtRTU, Register(0x11, 1, 3), Hex("11 06 00 01 00 03 9A 9B"), 8},
        TFrameCase{"Fc6Tcp", mbtTCP, Register(0x11, 1, 3),
                   Hex("00 00 00 00 00 06 11 06 00 01 00 03"), 12},
        TFrameCase{"Fc6Ascii", mbtASCII, Register(0x11, 1, 3), Bytes(":110600010003E5\r\n"), 17},
        TFrameCase{"Fc7Rtu", mbtRTU, Status(1), Hex("01 07 41 E2"), 5},
        TFrameCase{"Fc7Tcp", mbtTCP, Status(1), Hex("00 00 00 00 00 02 01 07"), 9},
        TFrameCase{"Fc7Ascii", mbtASCII, Status(1), Bytes(":0107F8\r\n"), 11},
        TFrameCase{"Fc15Rtu", mbtRTU, Coils(0x11, 0x13, 10, {0xCD, 0x01}),
                   Hex("11 0F 00 13 00 0A 02 CD 01 BF 0B"), 8},
        TFrameCase{"Fc15Tcp", mbtTCP, Coils(0x11, 0x13, 10, {0xCD, 0x01}),
                   Hex("00 00 00 00 00 09 11 0F 00 13 00 0A 02 CD 01"), 12},
        // The count field is the caller's and is not reconciled with the byte count.
        TFrameCase{"Fc15CountAsGiven", mbtTCP, Coils(1, 0, 99, {0x05}),
                   Hex("00 00 00 00 00 08 01 0F 00 00 00 63 01 05"), 12},
        TFrameCase{"Fc16Rtu", mbtRTU, Registers(0x11, 1, {0x000A, 0x0102}),
                   Hex("11 10 00 01 00 02 04 00 0A 01 02 C6 F0"), 8},
        TFrameCase{"Fc16Tcp", mbtTCP, Registers(0x11, 1, {0x000A, 0x0102}),
                   Hex("00 00 00 00 00 0B 11 10 00 01 00 02 04 00 0A 01 02"), 12},
        TFrameCase{"Fc16Ascii", mbtASCII, Registers(0x11, 1, {0x000A, 0x0102}),
                   Bytes(":11100001000204000A0102CB\r\n"), 17},
        TFrameCase{"Fc16Empty", mbtTCP, Registers(1, 0, {}),
                   Hex("00 00 00 00 00 07 01 10 00 00 00 00 00"), 12},
        TFrameCase{"UserRtu", mbtRTU, User(1, 0x41, {0xAA, 0xBB}), Hex("01 41 AA BB 6F 1F"), 0},
        TFrameCase{"UserTcp", mbtTCP, User(1, 0x41, {0xAA}), Hex("00 00 00 00 00 03 01 41 AA"), 0},
        TFrameCase{"UserAscii", mbtASCII, User(1, 0x41, {}), Bytes(":0141BE\r\n"), 0}),
    [](const ::testing::TestParamInfo<TFrameCase>& info) { return std::string(info.param.name); });

// Lengths travel in 8 bits: anything that does not fit is refused instead of truncated.
struct TRefusalCase {
    const char* name;
    TMBType type;
    TBuilder build;
    bool accepted;
};

class EightBitLimit : public ::testing::TestWithParam<TRefusalCase> {};

TEST_P(EightBitLimit, RefusesWhatDoesNotFit) {
    const TRefusalCase& c = GetParam();
    TKRBuffer buf{};
    uint8_t recvLen = 99;
    const uint8_t len = c.build(c.type, buf, recvLen);
    if (c.accepted) {
        EXPECT_GT(len, 0);
        EXPECT_GT(recvLen, 0);
    } else {
        EXPECT_EQ(len, 0);
        EXPECT_EQ(recvLen, 0);
    }
}

TKRRegisters Regs(size_t n) {
    return TKRRegisters(n, 0x1234);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, EightBitLimit,
    ::testing::Values(
        TRefusalCase{"Rtu125Registers", mbtRTU, ReadHolding(1, 0, 125), true},
        TRefusalCase{"Rtu126Registers", mbtRTU, ReadHolding(1, 0, 126), false},
        TRefusalCase{"Tcp123Registers", mbtTCP, ReadInput(1, 0, 123), true},
        TRefusalCase{"Tcp124Registers", mbtTCP, ReadInput(1, 0, 124), false},
        TRefusalCase{"Ascii61Registers", mbtASCII, ReadHolding(1, 0, 61), true},
        TRefusalCase{"Ascii62Registers", mbtASCII, ReadHolding(1, 0, 62), false},
        TRefusalCase{"Rtu2000Coils", mbtRTU, ReadCoils(1, 0, 2000), true},
        TRefusalCase{"Rtu2001Coils", mbtRTU, ReadCoils(1, 0, 2001), false},
        TRefusalCase{"MaxCountWraps", mbtRTU, ReadHolding(1, 0, 0xFFFF), false},
        TRefusalCase{"Rtu123Writes", mbtRTU, Registers(1, 0, Regs(123)), true},
        TRefusalCase{"Rtu124Writes", mbtRTU, Registers(1, 0, Regs(124)), false},
        TRefusalCase{"Ascii61Writes", mbtASCII, Registers(1, 0, Regs(61)), false},
        // 256 entries would otherwise go out as quantity 0.
        TRefusalCase{"Rtu256Writes", mbtRTU, Registers(1, 0, Regs(256)), false},
        TRefusalCase{"Rtu246CoilBytes", mbtRTU, Coils(1, 0, 8, TKRBytes(246, 0xFF)), true},
        TRefusalCase{"Rtu247CoilBytes", mbtRTU, Coils(1, 0, 8, TKRBytes(247, 0xFF)), false}),
    [](const ::testing::TestParamInfo<TRefusalCase>& info) {
        return std::string(info.param.name);
    });

TEST(FrameBuilders, UnknownFrameTypeBuildsNothing) {
    TKRBuffer buf{};
    uint8_t recvLen = 99;
    const auto bad = static_cast<TMBType>(3);
    EXPECT_EQ(ReadHoldingRegistersPack(bad, 1, 0, 1, buf, recvLen), 0);
    EXPECT_EQ(recvLen, 0);
    EXPECT_EQ(WriteHoldingRegistersPack(bad, 1, 0, {1}, buf, recvLen), 0);
    EXPECT_EQ(UserFunctionPack(bad, 1, 0x41, nullptr, 0, buf), 0);
    TMBPack pack;
    pack.MBType = bad;
    pack.MBFunc = 3;
    recvLen = 99;
    EXPECT_EQ(BuildPackFrame(pack, buf, recvLen), 0);
    EXPECT_EQ(recvLen, 0);
}

TEST(FrameBuilders, UserFunctionLongerThanEightBitsIsRefused) {
    TKRBuffer buf{};
    const std::vector<uint8_t> data(252, 0x55);
    EXPECT_EQ(UserFunctionPack(mbtRTU, 1, 0x41, data.data(), 251, buf), 255);
    EXPECT_EQ(UserFunctionPack(mbtRTU, 1, 0x41, data.data(), 252, buf), 0);
    EXPECT_EQ(UserFunctionPack(mbtRTU, 1, 0x41, nullptr, 4, buf), 0);
}

// BuildPackFrame takes every field from the request record.
TMBPack Pack(TMBType type, uint8_t func) {
    TMBPack p;
    p.Addres = 0x0111;  // only the low byte goes on the wire
    p.MBType = type;
    p.MBFunc = func;
    p.Start = 0x6B;
    p.Count = 3;
    return p;
}

TEST(BuildPackFrame, ReadUsesAddressLowByteStartAndCount) {
    TKRBuffer buf{};
    uint8_t recvLen = 0;
    ASSERT_EQ(BuildPackFrame(Pack(mbtRTU, 3), buf, recvLen), 8);
    EXPECT_EQ(Head(buf, 8), Hex("11 03 00 6B 00 03 76 87"));
    EXPECT_EQ(recvLen, 11);
}

TEST(BuildPackFrame, SingleCoilTakesBitZeroOfTheFirstByte) {
    TKRBuffer buf{};
    uint8_t recvLen = 0;
    TMBPack p = Pack(mbtTCP, 5);
    p.DataBt = {0x03};
    ASSERT_EQ(BuildPackFrame(p, buf, recvLen), 12);
    EXPECT_EQ(buf[10], 0xFF);
    p.DataBt = {0x02};
    ASSERT_EQ(BuildPackFrame(p, buf, recvLen), 12);
    EXPECT_EQ(buf[10], 0x00);
}

TEST(BuildPackFrame, WriteMultipleSendsTheArrayLengthNotCount) {
    TKRBuffer buf{};
    uint8_t recvLen = 0;
    TMBPack p = Pack(mbtASCII, 16);
    p.Start = 1;
    p.Count = 9;
    p.Data = {0x000A, 0x0102};
    const uint8_t len = BuildPackFrame(p, buf, recvLen);
    EXPECT_EQ(Head(buf, len), Bytes(":11100001000204000A0102CB\r\n"));
    EXPECT_EQ(recvLen, 17);
}

TEST(BuildPackFrame, WritesWithoutAValueAreRefused) {
    TKRBuffer buf{};
    uint8_t recvLen = 99;
    EXPECT_EQ(BuildPackFrame(Pack(mbtRTU, 5), buf, recvLen), 0);
    EXPECT_EQ(BuildPackFrame(Pack(mbtRTU, 6), buf, recvLen), 0);
    EXPECT_EQ(recvLen, 0);
}

TEST(BuildPackFrame, UserFunctionTakesCountBytesFromUData) {
    TKRBuffer buf{};
    uint8_t recvLen = 99;
    const uint8_t data[] = {0xAA, 0xBB, 0xCC};
    TMBPack p = Pack(mbtRTU, 0x41);
    p.Addres = 1;
    p.Count = 2;
    p.uData = data;
    ASSERT_EQ(BuildPackFrame(p, buf, recvLen), 6);
    EXPECT_EQ(Head(buf, 6), Hex("01 41 AA BB 6F 1F"));
    EXPECT_EQ(recvLen, 0);
}

TEST(BuildPackFrame, RawFrameIsCopiedWithItsLengths) {
    TKRBuffer raw{};
    raw[0] = 0x7F;
    raw[1023] = 0x55;
    TMBPack p = Pack(mbtTCP, 3);
    p.pBuf = &raw;
    p.bLen = 5;
    p.bRLen = 42;
    TKRBuffer buf{};
    uint8_t recvLen = 0;
    EXPECT_EQ(BuildPackFrame(p, buf, recvLen), 5);
    EXPECT_EQ(recvLen, 42);
    EXPECT_EQ(buf, raw);

    p.pBuf = nullptr;
    EXPECT_EQ(BuildPackFrame(p, buf, recvLen), 0);
}

}  // namespace
