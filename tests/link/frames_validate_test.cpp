#include <gtest/gtest.h>

#include <cctype>

#include "frame_hex.h"
#include "link/kr_crc.h"
#include "link/modbus_frames.h"

namespace {

// Frames a reply body (address, function, data) the way a slave would answer.
std::vector<uint8_t> Reply(TMBType type, const std::vector<uint8_t>& body, uint8_t id = 0) {
    std::vector<uint8_t> out;
    switch (type) {
        case mbtRTU: {
            out = body;
            const uint16_t crc = ModbusCRC16(body.data(), body.size());
            out.push_back(static_cast<uint8_t>(crc & 0xFF));
            out.push_back(static_cast<uint8_t>(crc >> 8));
            break;
        }
        case mbtTCP:
            out = {id, 0, 0, 0, 0, static_cast<uint8_t>(body.size())};
            for (uint8_t b : body)
                out.push_back(b);
            break;
        default: {
            static const char digits[] = "0123456789ABCDEF";
            std::vector<uint8_t> withLRC = body;
            withLRC.push_back(ModbusLRC(body.data(), body.size()));
            out.push_back(':');
            for (uint8_t b : withLRC) {
                out.push_back(static_cast<uint8_t>(digits[b >> 4]));
                out.push_back(static_cast<uint8_t>(digits[b & 15]));
            }
            out.push_back('\r');
            out.push_back('\n');
        }
    }
    return out;
}

int32_t Validate(TMBType type, uint8_t func, const std::vector<uint8_t>& reply, bool checkID = true,
                 uint8_t id = 0) {
    TMBPack pack;
    pack.MBType = type;
    pack.MBFunc = func;
    pack.id = id;
    TKRBuffer buf{};
    std::copy(reply.begin(), reply.end(), buf.begin());
    return ValidateReply(pack, buf, static_cast<int32_t>(reply.size()), checkID);
}

class EveryFraming : public ::testing::TestWithParam<TMBType> {};

TEST_P(EveryFraming, GoodReplyPasses) {
    EXPECT_EQ(Validate(GetParam(), 3, Reply(GetParam(), Hex("01 03 04 00 0A 01 02"))), 0);
    EXPECT_EQ(Validate(GetParam(), 6, Reply(GetParam(), Hex("01 06 00 01 00 03"))), 0);
}

TEST_P(EveryFraming, ExceptionReplyGivesItsCode) {
    EXPECT_EQ(Validate(GetParam(), 3, Reply(GetParam(), Hex("01 83 02"))), 2);
    EXPECT_EQ(Validate(GetParam(), 16, Reply(GetParam(), Hex("01 90 0B"))), 11);
}

TEST_P(EveryFraming, OtherFunctionCodeIsRejected) {
    EXPECT_EQ(Validate(GetParam(), 3, Reply(GetParam(), Hex("01 04 02 00 01"))), -5);
    // An exception for another function is a function mismatch, not an exception.
    EXPECT_EQ(Validate(GetParam(), 3, Reply(GetParam(), Hex("01 86 02"))), -5);
}

TEST_P(EveryFraming, ReplyTooShortForItsFunctionByteIsRejected) {
    const std::vector<uint8_t> good = Reply(GetParam(), Hex("01 03 02 00 01"));
    // Every prefix short of the smallest possible reply is refused without reading past it.
    const size_t minimum = GetParam() == mbtRTU ? 4 : GetParam() == mbtTCP ? 8 : 9;
    for (size_t len = 0; len < minimum; ++len) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(len));
        EXPECT_LT(Validate(GetParam(), 3, cut), 0) << "length " << len;
    }
}

TEST_P(EveryFraming, ExceptionReplyWithoutItsCodeIsRejected) {
    // Address and function with bit 7 set, but no exception code.
    EXPECT_EQ(Validate(GetParam(), 3, Reply(GetParam(), Hex("01 83"))), -3);
}

TEST_P(EveryFraming, LengthOutsideTheBufferIsRejected) {
    TMBPack pack;
    pack.MBType = GetParam();
    pack.MBFunc = 3;
    TKRBuffer buf{};
    EXPECT_EQ(ValidateReply(pack, buf, -1, true), -3);
    EXPECT_EQ(ValidateReply(pack, buf, 1025, true), -3);
}

std::string TypeName(const ::testing::TestParamInfo<TMBType>& info) {
    return info.param == mbtRTU ? "Rtu" : info.param == mbtTCP ? "Tcp" : "Ascii";
}

INSTANTIATE_TEST_SUITE_P(Types, EveryFraming, ::testing::Values(mbtRTU, mbtTCP, mbtASCII),
                         TypeName);

TEST(RTUReply, SwappedCRCBytesFail) {
    std::vector<uint8_t> reply = Reply(mbtRTU, Hex("01 03 02 00 2A"));
    std::swap(reply[reply.size() - 1], reply[reply.size() - 2]);
    EXPECT_EQ(Validate(mbtRTU, 3, reply), -4);
}

TEST(RTUReply, CorruptedDataFailsTheCRCBeforeTheFunctionCheck) {
    std::vector<uint8_t> reply = Reply(mbtRTU, Hex("01 03 02 00 2A"));
    reply[1] = 0x04;
    EXPECT_EQ(Validate(mbtRTU, 3, reply), -4);
}

TEST(TCPReply, TransactionByteMustMatchWhenChecked) {
    const auto reply = Reply(mbtTCP, Hex("01 03 02 00 2A"), 7);
    EXPECT_EQ(Validate(mbtTCP, 3, reply, true, 7), 0);
    EXPECT_EQ(Validate(mbtTCP, 3, reply, true, 8), -2);
    EXPECT_EQ(Validate(mbtTCP, 3, reply, false, 8), 0);
}

TEST(TCPReply, WrongIdWinsOverAWrongFunction) {
    EXPECT_EQ(Validate(mbtTCP, 3, Reply(mbtTCP, Hex("01 04 02 00 2A"), 1), true, 2), -2);
}

TEST(ASCIIReply, PublishedFrameHasAZeroLRCSum) {
    EXPECT_EQ(Validate(mbtASCII, 3, Bytes(":1103006B00037E\r\n")), 0);
}

TEST(ASCIIReply, WrongLRCFails) {
    EXPECT_EQ(Validate(mbtASCII, 3, Bytes(":1103006B00037F\r\n")), -4);
}

TEST(ASCIIReply, LowercaseHexDigitsFailTheLRC) {
    std::vector<uint8_t> reply = Reply(mbtASCII, Hex("01 03 02 AB CD"));
    for (auto& c : reply)
        c = static_cast<uint8_t>(std::tolower(c));
    EXPECT_EQ(Validate(mbtASCII, 3, reply), -4);
}

TEST(UnknownFrameType, AcceptedWithoutChecks) {
    EXPECT_EQ(Validate(static_cast<TMBType>(5), 3, {}), 0);
    EXPECT_EQ(Validate(static_cast<TMBType>(5), 3, Hex("00 00 00")), 0);
}

}  // namespace
