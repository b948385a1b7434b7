#include "link/modbus_reply_end.h"

#include "link/kr_crc.h"

namespace {
constexpr int32_t kRtuExceptionLength = 5;  // address, function | 0x80, code, CRC
constexpr int32_t kMbapLength = 6;          // transaction, protocol, length
}  // namespace

bool ModbusRtuReplyComplete(const uint8_t* AData, int32_t ALength) {
    // A normal reply never has bit 7 in its function byte, so this is never the head of one.
    if (AData == nullptr || ALength < kRtuExceptionLength || (AData[1] & 0x80) == 0) return false;
    const uint16_t crc = ModbusCRC16(AData, 3);
    return AData[3] == static_cast<uint8_t>(crc) && AData[4] == static_cast<uint8_t>(crc >> 8);
}

bool ModbusTcpReplyComplete(const uint8_t* AData, int32_t ALength) {
    if (AData == nullptr || ALength < kMbapLength) return false;
    const int32_t announced = AData[4] << 8 | AData[5];
    return ALength >= kMbapLength + announced;
}

bool ModbusAsciiReplyComplete(const uint8_t* AData, int32_t ALength) {
    return AData != nullptr && ALength >= 2 && AData[ALength - 2] == '\r' &&
           AData[ALength - 1] == '\n';
}

TKRReplyComplete ModbusReplyComplete(TMBType AType) {
    switch (AType) {
        case mbtRTU:
            return ModbusRtuReplyComplete;
        case mbtTCP:
            return ModbusTcpReplyComplete;
        case mbtASCII:
            return ModbusAsciiReplyComplete;
    }
    return nullptr;
}

int32_t ModbusShortestReply(TMBType AType) {
    return AType == mbtRTU ? kRtuExceptionLength : 0;
}
