#include "link/modbus_decode.h"

#include <algorithm>

#include "link/kr_crc.h"
#include "link/modbus_errors.h"
#include "link/modbus_frames.h"

namespace {

// Fixed reply body of the write functions: address, function, two address bytes, two value bytes.
constexpr int32_t kWriteEchoBody = 6;

}  // namespace

const void* TMBReplyData::Ptr() const {
    switch (Kind) {
        case rdRegisters:
            return &Registers;
        case rdBytes:
            return &Bytes;
        case rdStatus:
            return &Status;
        default:
            return nullptr;
    }
}

int32_t ExtractReplyBody(TMBType AType, const uint8_t* AReply, int32_t ALength,
                         TMBReplyBody& ABody) {
    ABody.Length = 0;
    if (ALength < 0 || ALength > static_cast<int32_t>(ABody.Bytes.size())) return mbePacketLength;
    switch (AType) {
        case mbtRTU:  // body, then two CRC bytes
            ABody.Length = ALength - 2;
            if (ABody.Length > 0) std::copy(AReply, AReply + ABody.Length, ABody.Bytes.begin());
            break;
        case mbtTCP:  // six prefix bytes, then the body
            ABody.Length = ALength - 6;
            if (ABody.Length > 0) std::copy(AReply + 6, AReply + ALength, ABody.Bytes.begin());
            break;
        case mbtASCII: {
            // ":" then hex pairs, the last pair being the LRC, then CR LF. Only pairs that lie
            // wholly before the CR LF count.
            const int32_t pairs = ALength >= 3 ? (ALength - 3) / 2 : 0;
            ABody.Length = pairs - 1;
            for (int32_t i = 0; i < ABody.Length; ++i) {
                ABody.Bytes[i] = HexPairToByte(static_cast<char>(AReply[1 + 2 * i]),
                                               static_cast<char>(AReply[2 + 2 * i]));
            }
            break;
        }
        default:
            return mbePacketLength;
    }
    if (ABody.Length < 2) {
        ABody.Length = 0;
        return mbePacketLength;
    }
    if ((ABody.Bytes[1] & 0x80) != 0 && ABody.Length < 3) return mbePacketLength;
    return 0;
}

int32_t DecodeReplyBody(TMBType AType, uint8_t AFunc, const TMBReplyBody& ABody,
                        TMBReplyData& AData) {
    const uint8_t* b = ABody.Bytes.data();
    const int32_t n = ABody.Length;
    AData = TMBReplyData{};
    switch (AFunc) {
        case 1:
        case 2: {  // byte count, then the packed inputs (first input in bit 0)
            if (n < 3 || 3 + b[2] > n) return mbeDataLength;
            AData.Kind = TMBReplyData::rdBytes;
            AData.Bytes.assign(b + 3, b + 3 + b[2]);
            return 0;
        }
        case 3:
        case 4: {  // byte count, then registers high byte first
            if (n < 3) return mbeDataLength;
            const int32_t k = b[2] / 2;
            if (3 + 2 * k > n) return mbeDataLength;
            AData.Kind = TMBReplyData::rdRegisters;
            if (k == 0) {
                AData.Registers.assign(1, 0);  // an empty read still hands over one register
            } else {
                AData.Registers.resize(k);
                for (int32_t i = 0; i < k; ++i) {
                    AData.Registers[i] = static_cast<uint16_t>(b[3 + 2 * i] << 8 | b[4 + 2 * i]);
                }
            }
            return 0;
        }
        case 5:
        case 15:
        case 16:
            return n < kWriteEchoBody ? mbeDataLength : 0;
        case 6:
            if (n < kWriteEchoBody) return mbeDataLength;
            if (AType == mbtRTU) {  // only RTU hands the echoed value back
                AData.Kind = TMBReplyData::rdRegisters;
                AData.Registers.assign(1, static_cast<uint16_t>(b[4] << 8 | b[5]));
            }
            return 0;
        case 7:
            if (n < 3) return mbeDataLength;
            AData.Kind = TMBReplyData::rdStatus;
            AData.Status = b[2];
            return 0;
        default:  // user function: exactly the bytes after the function code
            AData.Kind = TMBReplyData::rdBytes;
            AData.Bytes.assign(b + 2, b + n);
            return 0;
    }
}

int32_t CheckAndDecodeReply(const TMBPack& ARequest, bool ACheckID, const TKRBuffer& AReply,
                            int32_t ALength, TMBReplyData& AData) {
    AData = TMBReplyData{};
    if (ARequest.MBType != mbtRTU && ARequest.MBType != mbtTCP && ARequest.MBType != mbtASCII) {
        return 0;
    }
    const int32_t check = ValidateReply(ARequest, AReply, ALength, ACheckID);
    if (check != 0) return check;
    TMBReplyBody body;
    const int32_t extracted = ExtractReplyBody(ARequest.MBType, AReply.data(), ALength, body);
    if (extracted != 0) return extracted;
    return DecodeReplyBody(ARequest.MBType, ARequest.MBFunc, body, AData);
}
