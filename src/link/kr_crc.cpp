#include "link/kr_crc.h"

#include <array>
#include <fstream>
#include <vector>

namespace {

// The two Modbus CRC tables are the low and high bytes of the reflected 0xA001 byte table:
// "first" is applied to the register that ends up as the CRC's low byte, "second" to the other.
struct TCRC16Tables {
    std::array<uint8_t, 256> first{};
    std::array<uint8_t, 256> second{};
};

constexpr TCRC16Tables MakeCRC16Tables() {
    TCRC16Tables t;
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
        t.first[i] = static_cast<uint8_t>(crc & 0xFF);
        t.second[i] = static_cast<uint8_t>(crc >> 8);
    }
    return t;
}

constexpr TCRC16Tables kCRC16 = MakeCRC16Tables();
// Spot checks against the published tables (auchCRCHi / auchCRCLo).
static_assert(kCRC16.first[1] == 0xC1 && kCRC16.second[1] == 0xC0);
static_assert(kCRC16.first[255] == 0x40 && kCRC16.second[255] == 0x40);

constexpr std::array<uint32_t, 256> MakeCRC32Table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : (crc >> 1);
        t[i] = crc;
    }
    return t;
}

constexpr std::array<uint32_t, 256> kCRC32 = MakeCRC32Table();

constexpr size_t kFileChunk = 32768;

}  // namespace

uint16_t ModbusCRC16(const uint8_t* data, size_t count) {
    uint8_t first = 0xFF;
    uint8_t second = 0xFF;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t index = data[i] ^ first;
        first = second ^ kCRC16.first[index];
        second = kCRC16.second[index];
    }
    return static_cast<uint16_t>((second << 8) | first);
}

uint8_t ModbusLRC(const uint8_t* data, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum = static_cast<uint8_t>(sum + data[i]);
    return static_cast<uint8_t>(-sum);
}

uint8_t HexPairToByte(char first, char second) {
    auto nibble = [](char c) {
        uint8_t v = static_cast<uint8_t>(static_cast<uint8_t>(c) - '0');
        if (v > 9) v = static_cast<uint8_t>(v - 7);
        return v;
    };
    return static_cast<uint8_t>(nibble(first) * 16 + nibble(second));
}

uint32_t CRC32Update(uint32_t crc, const uint8_t* data, size_t count) {
    crc = ~crc;
    for (size_t i = 0; i < count; ++i)
        crc = kCRC32[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::optional<uint32_t> FileCRC32(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file.is_open()) return std::nullopt;
    std::vector<uint8_t> chunk(kFileChunk);
    uint32_t crc = 0;
    while (file) {
        file.read(reinterpret_cast<char*>(chunk.data()),
                  static_cast<std::streamsize>(chunk.size()));
        const std::streamsize got = file.gcount();
        if (got > 0) crc = CRC32Update(crc, chunk.data(), static_cast<size_t>(got));
    }
    // Stopping for any reason other than the end of the file is a read error.
    if (!file.eof() || file.bad()) return std::nullopt;
    return crc;
}
