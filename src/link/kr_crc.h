#pragma once
// Checksums of the Modbus link: the RTU CRC-16, the ASCII LRC, the hex-pair decoder used on ASCII
// replies, and a CRC-32 over a whole file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Modbus CRC-16 (reflected polynomial 0xA001, start 0xFFFF, no final inversion), computed byte-wise
// with the two 256-entry tables of the Modbus serial-line guide. The LOW byte of the returned value
// goes on the wire first: frame[n] = crc & 0xFF, frame[n + 1] = crc >> 8.
uint16_t ModbusCRC16(const uint8_t* data, size_t count);

// Modbus ASCII LRC: the 8-bit sum of the bytes, negated (two's complement).
uint8_t ModbusLRC(const uint8_t* data, size_t count);

// Two hexadecimal characters, high nibble first, to one byte. Each character is taken as code -
// '0', less 7 more when that exceeds 9, so only '0'-'9' and uppercase 'A'-'F' convert correctly;
// other characters give garbage rather than an error (an ASCII reply with lowercase digits then
// fails its LRC check).
uint8_t HexPairToByte(char first, char second);

// CRC-32 of IEEE 802.3 (reflected 0xEDB88320, start and final XOR all ones) continued over 'count'
// more bytes. Start a new checksum with crc = 0 (the complements are applied inside).
uint32_t CRC32Update(uint32_t crc, const uint8_t* data, size_t count);

// CRC-32 of a whole file, read in chunks of 32768 bytes; an empty file yields 0. A file that
// cannot be opened or read yields no value (std::nullopt), never a checksum of whatever was read.
std::optional<uint32_t> FileCRC32(const std::string& fileName);
