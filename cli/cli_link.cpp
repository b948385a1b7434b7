#include "cli/cli_link.h"

#include "link/kr_crc.h"
#include "link/modbus_decode.h"

uint8_t ReplyException(TMBType AType, const uint8_t* AReply, int32_t ALength) {
    if (AReply == nullptr || ALength <= 0) return 0;
    if (AType == mbtRTU) {
        // Address, function, code and the checksum.
        if (ALength < 5) return 0;
        const uint16_t crc = ModbusCRC16(AReply, 3);
        if (AReply[3] != (crc & 0xFF) || AReply[4] != (crc >> 8)) return 0;
    }
    TMBReplyBody body;
    if (ExtractReplyBody(AType, AReply, ALength, body) != 0 || body.Length < 3) return 0;
    if ((body.Bytes[1] & 0x80) == 0) return 0;
    return body.Bytes[2];
}
