#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <unistd.h>

#include "frame_hex.h"
#include "link/kr_crc.h"

namespace {

// Request frames published as Modbus RTU examples; the last two bytes are the CRC, low byte first.
class PublishedRTUFrame : public ::testing::TestWithParam<const char*> {};

TEST_P(PublishedRTUFrame, CRCMatchesTheTrailingBytes) {
    const std::vector<uint8_t> frame = Hex(GetParam());
    const uint16_t crc = ModbusCRC16(frame.data(), frame.size() - 2);
    EXPECT_EQ(crc & 0xFF, frame[frame.size() - 2]);
    EXPECT_EQ(crc >> 8, frame[frame.size() - 1]);
    // A whole frame including its CRC leaves a zero remainder.
    EXPECT_EQ(ModbusCRC16(frame.data(), frame.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Examples, PublishedRTUFrame,
                         ::testing::Values("01 03 00 00 00 0A C5 CD", "11 03 00 6B 00 03 76 87",
                                           "11 01 00 13 00 25 0E 84", "11 02 00 C4 00 16 BA A9",
                                           "11 04 00 08 00 01 B2 98", "11 05 00 AC FF 00 4E 8B",
                                           "11 06 00 01 00 03 9A 9B",
                                           "11 0F 00 13 00 0A 02 CD 01 BF 0B",
                                           "11 10 00 01 00 02 04 00 0A 01 02 C6 F0"),
                         [](const auto& AInfo) {
                             // "Slave11_Fn0F": the frame's first two bytes.
                             const std::string frame = AInfo.param;
                             return "Slave" + frame.substr(0, 2) + "_Fn" + frame.substr(3, 2);
                         });

TEST(ModbusCRC16, EmptyInputIsTheInitialValue) {
    EXPECT_EQ(ModbusCRC16(nullptr, 0), 0xFFFF);
}

TEST(ModbusLRC, NegatedSumOfPublishedASCIIExample) {
    // ":1103006B00037E" -- the LRC of 11 03 00 6B 00 03 is 7E.
    const auto body = Hex("11 03 00 6B 00 03");
    EXPECT_EQ(ModbusLRC(body.data(), body.size()), 0x7E);
    // The sum wraps in 8 bits: FF + 01 = 00, negated 00.
    const auto wrap = Hex("FF 01");
    EXPECT_EQ(ModbusLRC(wrap.data(), wrap.size()), 0x00);
}

TEST(HexPairToByte, UppercaseDigitsConvert) {
    EXPECT_EQ(HexPairToByte('0', '0'), 0x00);
    EXPECT_EQ(HexPairToByte('7', 'E'), 0x7E);
    EXPECT_EQ(HexPairToByte('F', 'F'), 0xFF);
    EXPECT_EQ(HexPairToByte('A', '9'), 0xA9);
}

TEST(HexPairToByte, LowercaseDigitsAreNotRecognised) {
    EXPECT_NE(HexPairToByte('f', 'f'), 0xFF);
    EXPECT_NE(HexPairToByte('7', 'e'), 0x7E);
}

class FileCRC32Test : public ::testing::Test {
protected:
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("benchlord_crc_" + std::to_string(::getpid()) + ".bin");
    void TearDown() override { std::filesystem::remove(path_); }
    void Write(const std::vector<uint8_t>& bytes) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_F(FileCRC32Test, EmptyFileIsZero) {
    Write({});
    EXPECT_EQ(FileCRC32(path_.string()), 0u);
}

TEST_F(FileCRC32Test, CheckValueOfTheStandardCRC32) {
    Write(Bytes("123456789"));
    EXPECT_EQ(FileCRC32(path_.string()), 0xCBF43926u);
}

TEST_F(FileCRC32Test, ChunkedReadEqualsOnePassAroundChunkBoundaries) {
    std::mt19937 gen(7);
    for (size_t size : {32767u, 32768u, 32769u, 65536u, 100001u}) {
        std::vector<uint8_t> bytes(size);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(gen());
        Write(bytes);
        EXPECT_EQ(FileCRC32(path_.string()), CRC32Update(0, bytes.data(), bytes.size()))
            << "size " << size;
    }
}

TEST_F(FileCRC32Test, UnreadableFileGivesNoChecksum) {
    EXPECT_FALSE(FileCRC32(path_.string()).has_value());  // never written
    EXPECT_FALSE(FileCRC32(std::filesystem::temp_directory_path().string()).has_value());
}

TEST(CRC32Update, ContinuesAcrossPieces) {
    const auto all = Bytes("123456789");
    const uint32_t part = CRC32Update(0, all.data(), 4);
    EXPECT_EQ(CRC32Update(part, all.data() + 4, 5), 0xCBF43926u);
}

}  // namespace
