// Reply checking and decoding per function code and framing, including replies that are cut
// short: nothing may be read past the received bytes.

#include <gtest/gtest.h>

#include "link/modbus_decode.h"
#include "link/modbus_errors.h"
#include "tests/link/frame_hex.h"
#include "tests/link/modbus_reply_frames.h"

namespace {

using namespace mbtest;

TMBPack Request(TMBType AType, uint8_t AFunc, uint8_t AId = 0) {
    TMBPack pk;
    pk.Addres = 1;
    pk.MBType = AType;
    pk.MBFunc = AFunc;
    pk.id = AId;
    return pk;
}

struct TDecoded {
    int32_t Result;
    TMBReplyData Data;
};

TDecoded Decode(TMBType AType, uint8_t AFunc, const std::vector<uint8_t>& AReply,
                bool ACheckID = true, uint8_t AId = 0) {
    TDecoded out{};
    const TKRBuffer buf = ToBuffer(AReply);
    out.Result = CheckAndDecodeReply(Request(AType, AFunc, AId), ACheckID, buf,
                                     static_cast<int32_t>(AReply.size()), out.Data);
    return out;
}

TDecoded DecodeBody(TMBType AType, uint8_t AFunc, const std::vector<uint8_t>& ABody) {
    return Decode(AType, AFunc, ReplyFrame(AType, ABody));
}

class ModbusDecode : public ::testing::TestWithParam<TMBType> {};

TEST_P(ModbusDecode, HoldingRegistersAreDecodedHighByteFirst) {
    for (uint8_t func : {3, 4}) {
        auto r = DecodeBody(GetParam(), func, {1, func, 6, 0x12, 0x34, 0x00, 0x0A, 0xFF, 0xFE});
        ASSERT_EQ(r.Result, 0);
        ASSERT_EQ(r.Data.Kind, TMBReplyData::rdRegisters);
        EXPECT_EQ(r.Data.Registers, (TKRRegisters{0x1234, 0x000A, 0xFFFE}));
        EXPECT_EQ(r.Data.Ptr(), &r.Data.Registers);
    }
}

TEST_P(ModbusDecode, EmptyRegisterReadDeliversOneZeroRegister) {
    auto r = DecodeBody(GetParam(), 3, {1, 3, 0});
    ASSERT_EQ(r.Result, 0);
    EXPECT_EQ(r.Data.Registers, (TKRRegisters{0}));
}

TEST_P(ModbusDecode, CoilsDeliverTheBytesAfterTheByteCount) {
    for (uint8_t func : {1, 2}) {
        auto r = DecodeBody(GetParam(), func, {1, func, 2, 0xA5, 0x01});
        ASSERT_EQ(r.Result, 0);
        ASSERT_EQ(r.Data.Kind, TMBReplyData::rdBytes);
        EXPECT_EQ(r.Data.Bytes, (TKRBytes{0xA5, 0x01}));
    }
}

TEST_P(ModbusDecode, SingleRegisterEchoOnlyOverRTU) {
    auto r = DecodeBody(GetParam(), 6, {1, 6, 0x00, 0x10, 0x04, 0xD2});
    ASSERT_EQ(r.Result, 0);
    if (GetParam() == mbtRTU) {
        EXPECT_EQ(r.Data.Registers, (TKRRegisters{1234}));
    } else {
        EXPECT_EQ(r.Data.Ptr(), nullptr);
    }
}

TEST_P(ModbusDecode, WritesCarryNoData) {
    for (uint8_t func : {5, 15, 16}) {
        auto r = DecodeBody(GetParam(), func, {1, func, 0x00, 0x10, 0x00, 0x02});
        EXPECT_EQ(r.Result, 0) << int(func);
        EXPECT_EQ(r.Data.Ptr(), nullptr) << int(func);
    }
}

TEST_P(ModbusDecode, ExceptionStatusIsOneByte) {
    auto r = DecodeBody(GetParam(), 7, {1, 7, 0x6D});
    ASSERT_EQ(r.Result, 0);
    ASSERT_NE(r.Data.Ptr(), nullptr);
    EXPECT_EQ(*static_cast<const uint8_t*>(r.Data.Ptr()), 0x6D);
}

TEST_P(ModbusDecode, UserFunctionDeliversExactlyTheBytesAfterTheFunctionCode) {
    auto r = DecodeBody(GetParam(), 0x41, {1, 0x41, 0xDE, 0xAD, 0xBE});
    ASSERT_EQ(r.Result, 0);
    EXPECT_EQ(r.Data.Bytes, (TKRBytes{0xDE, 0xAD, 0xBE}));
    auto empty = DecodeBody(GetParam(), 0x41, {1, 0x41});
    ASSERT_EQ(empty.Result, 0);
    EXPECT_TRUE(empty.Data.Bytes.empty());
}

TEST_P(ModbusDecode, ExceptionReplyGivesItsCodeAndNoData) {
    auto r = DecodeBody(GetParam(), 3, {1, 0x83, 2});
    EXPECT_EQ(r.Result, 2);
    EXPECT_EQ(r.Data.Ptr(), nullptr);
}

TEST_P(ModbusDecode, OtherFunctionCodeIsRefused) {
    EXPECT_EQ(DecodeBody(GetParam(), 3, {1, 4, 2, 0, 1}).Result, mbeFunction);
}

// Correctly framed replies whose content is shorter than their function needs.
TEST_P(ModbusDecode, ByteCountBeyondTheReplyIsAnError) {
    EXPECT_EQ(DecodeBody(GetParam(), 3, {1, 3, 20, 0, 1, 0, 2}).Result, mbeDataLength);
    EXPECT_EQ(DecodeBody(GetParam(), 3, {1, 3, 4, 0, 1, 0}).Result, mbeDataLength);
    EXPECT_EQ(DecodeBody(GetParam(), 1, {1, 1, 3, 0xFF}).Result, mbeDataLength);
    EXPECT_EQ(DecodeBody(GetParam(), 3, {1, 3}).Result, mbeDataLength);
    EXPECT_EQ(DecodeBody(GetParam(), 7, {1, 7}).Result, mbeDataLength);
    for (uint8_t func : {5, 6, 15, 16})
        EXPECT_EQ(DecodeBody(GetParam(), func, {1, func, 0, 1}).Result, mbeDataLength);
}

TEST_P(ModbusDecode, FramesTooShortForAFunctionByteAreAnError) {
    EXPECT_EQ(DecodeBody(GetParam(), 0x41, {1}).Result, mbePacketLength);
    EXPECT_EQ(DecodeBody(GetParam(), 3, {1, 0x83}).Result, mbePacketLength);
    EXPECT_EQ(Decode(GetParam(), 3, {}).Result, mbePacketLength);
}

// Every prefix of a good reply is either refused or decoded from its own bytes only.
TEST_P(ModbusDecode, EveryTruncationOfAReadIsRefused) {
    const auto full = ReplyFrame(GetParam(), {1, 3, 4, 0x12, 0x34, 0x56, 0x78});
    for (size_t len = 0; len < full.size(); ++len) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len));
        EXPECT_NE(Decode(GetParam(), 3, cut).Result, 0) << "length " << len;
    }
    EXPECT_EQ(Decode(GetParam(), 3, full).Result, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Framings, ModbusDecode, ::testing::Values(mbtRTU, mbtTCP, mbtASCII), [](const auto& info) {
        return std::string(info.param == mbtRTU ? "RTU" : info.param == mbtTCP ? "TCP" : "ASCII");
    });

TEST(ModbusDecodeTCP, TransactionByteMustMatchWhenChecked) {
    const auto reply = ReplyFrame(mbtTCP, {1, 3, 2, 0, 7}, 5);
    EXPECT_EQ(Decode(mbtTCP, 3, reply, true, 4).Result, mbeBadID);
    EXPECT_EQ(Decode(mbtTCP, 3, reply, true, 5).Result, 0);
    EXPECT_EQ(Decode(mbtTCP, 3, reply, false, 4).Result, 0);
}

TEST(ModbusDecodeRTU, SwappedCRCBytesFail) {
    auto reply = ReplyFrame(mbtRTU, {1, 3, 2, 0, 7});
    std::swap(reply[reply.size() - 1], reply[reply.size() - 2]);
    EXPECT_EQ(Decode(mbtRTU, 3, reply).Result, mbeCRC);
}

TEST(ModbusDecodeASCII, CoilDataStartsAtCharacterSeven) {
    const auto text = Bytes(":010102A50156\r\n");
    auto r = Decode(mbtASCII, 1, text);
    ASSERT_EQ(r.Result, 0);
    EXPECT_EQ(r.Data.Bytes, (TKRBytes{0xA5, 0x01}));
}

TEST(ModbusDecodeASCII, LowercaseDigitsFailTheLRC) {
    ASSERT_EQ(Decode(mbtASCII, 1, Bytes(":0101010AF3\r\n")).Result, 0);
    EXPECT_EQ(Decode(mbtASCII, 1, Bytes(":0101010aF3\r\n")).Result, mbeCRC);
}

TEST(ModbusDecodeOther, UnknownFrameTypeIsAcceptedUnchecked) {
    auto r = Decode(static_cast<TMBType>(7), 3, {1, 2, 3});
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.Data.Ptr(), nullptr);
}

}  // namespace
