#include "link/modbus_frames.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "link/kr_crc.h"

namespace {

constexpr size_t kMaxLength = 255;  // frame and reply lengths travel in 8 bits
constexpr size_t kTCPPrefix = 6;
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Processing error codes of reply validation.
constexpr int32_t kBadID = -2;
constexpr int32_t kBadLength = -3;
constexpr int32_t kBadChecksum = -4;
constexpr int32_t kBadFunction = -5;

// The binary part common to all frame types, address first. Large enough for any body whose
// frame can still be represented (a longer body is refused before it is written).
struct TMBBody {
    std::array<uint8_t, 1024> bytes{};
    size_t len = 0;
    size_t replyLen = 0;  // expected reply body; 0 = unknown (user function)

    void Put(uint8_t b) { bytes[len++] = b; }
    void Put16(uint16_t w) {
        Put(static_cast<uint8_t>(w >> 8));
        Put(static_cast<uint8_t>(w & 0xFF));
    }
};

TMBBody Header(uint8_t addres, uint8_t func) {
    TMBBody body;
    body.Put(addres);
    body.Put(func);
    return body;
}

uint8_t Refuse(uint8_t& recvLen) {
    recvLen = 0;
    return 0;
}

// Wraps the body into the chosen frame type. A user function (replyLen 0) keeps the unknown reply
// length 0 in every framing.
uint8_t Frame(TMBType type, const TMBBody& body, TKRBuffer& out, uint8_t& recvLen) {
    size_t frameLen = 0;
    size_t replyLen = 0;
    switch (type) {
        case mbtRTU:
            frameLen = body.len + 2;
            replyLen = body.replyLen + 2;
            break;
        case mbtTCP:
            frameLen = body.len + kTCPPrefix;
            replyLen = body.replyLen + kTCPPrefix;
            break;
        case mbtASCII:
            frameLen = 2 * body.len + 5;
            replyLen = 2 * body.replyLen + 5;
            break;
        default:
            return Refuse(recvLen);
    }
    if (body.replyLen == 0) replyLen = 0;
    if (frameLen > kMaxLength || replyLen > kMaxLength) return Refuse(recvLen);

    switch (type) {
        case mbtRTU: {
            std::copy_n(body.bytes.begin(), body.len, out.begin());
            const uint16_t crc = ModbusCRC16(body.bytes.data(), body.len);
            out[body.len] = static_cast<uint8_t>(crc & 0xFF);
            out[body.len + 1] = static_cast<uint8_t>(crc >> 8);
            break;
        }
        case mbtTCP:
            out[0] = out[1] = out[2] = out[3] = out[4] = 0;
            out[5] = static_cast<uint8_t>(body.len);
            std::copy_n(body.bytes.begin(), body.len, out.begin() + kTCPPrefix);
            break;
        default: {  // mbtASCII
            size_t pos = 0;
            out[pos++] = ':';
            auto putHex = [&](uint8_t b) {
                out[pos++] = static_cast<uint8_t>(kHexDigits[b >> 4]);
                out[pos++] = static_cast<uint8_t>(kHexDigits[b & 0x0F]);
            };
            for (size_t i = 0; i < body.len; ++i)
                putHex(body.bytes[i]);
            putHex(ModbusLRC(body.bytes.data(), body.len));
            out[pos++] = 0x0D;
            out[pos++] = 0x0A;
            break;
        }
    }
    recvLen = static_cast<uint8_t>(replyLen);
    return static_cast<uint8_t>(frameLen);
}

uint8_t ReadPack(uint8_t func, TMBType type, uint8_t addres, uint16_t start, uint16_t count,
                 TKRBuffer& out, uint8_t& recvLen) {
    TMBBody body = Header(addres, func);
    body.Put16(start);
    body.Put16(count);
    if (func == 1 || func == 2)
        body.replyLen = size_t{count} / 8 + 3 + (count % 8 != 0 ? 1 : 0);
    else
        body.replyLen = size_t{count} * 2 + 3;
    return Frame(type, body, out, recvLen);
}

// Bytes a body of 'dataLen' data bytes after 'fixed' header bytes may hold before the frame is
// surely too long; checked before writing into the scratch body.
bool BodyFits(size_t fixed, size_t dataLen) {
    return fixed + dataLen <= kMaxLength;
}

}  // namespace

uint8_t ReadReadCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                          TKRBuffer& APPack, uint8_t& ARecvLen) {
    return ReadPack(1, AMBType, AAddres, AStartCoil, ACount, APPack, ARecvLen);
}

uint8_t ReadDiscretInputsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartInput,
                              uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen) {
    return ReadPack(2, AMBType, AAddres, AStartInput, ACount, APPack, ARecvLen);
}

uint8_t ReadHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                 uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen) {
    return ReadPack(3, AMBType, AAddres, AStartReg, ACount, APPack, ARecvLen);
}

uint8_t ReadInputRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                               uint16_t ACount, TKRBuffer& APPack, uint8_t& ARecvLen) {
    return ReadPack(4, AMBType, AAddres, AStartReg, ACount, APPack, ARecvLen);
}

uint8_t ReadStatusPack(TMBType AMBType, uint8_t AAddres, TKRBuffer& APPack, uint8_t& ARecvLen) {
    TMBBody body = Header(AAddres, 7);
    body.replyLen = 3;
    return Frame(AMBType, body, APPack, ARecvLen);
}

uint8_t WriteCoilPack(TMBType AMBType, uint8_t AAddres, uint16_t ACoilNum, bool AData,
                      TKRBuffer& APPack, uint8_t& ARecvLen) {
    TMBBody body = Header(AAddres, 5);
    body.Put16(ACoilNum);
    body.Put(AData ? 255 : 0);
    body.Put(0);
    body.replyLen = 6;
    return Frame(AMBType, body, APPack, ARecvLen);
}

uint8_t WriteCoilsPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartCoil, uint16_t ACount,
                       const TKRBytes& AData, TKRBuffer& APPack, uint8_t& ARecvLen) {
    if (!BodyFits(7, AData.size())) return Refuse(ARecvLen);
    TMBBody body = Header(AAddres, 15);
    body.Put16(AStartCoil);
    body.Put16(ACount);
    body.Put(static_cast<uint8_t>(AData.size()));
    for (uint8_t b : AData)
        body.Put(b);
    body.replyLen = 6;
    return Frame(AMBType, body, APPack, ARecvLen);
}

uint8_t WriteHoldingRegisterPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                 uint16_t AData, TKRBuffer& APPack, uint8_t& ARecvLen) {
    TMBBody body = Header(AAddres, 6);
    body.Put16(AStartReg);
    body.Put16(AData);
    body.replyLen = 6;
    return Frame(AMBType, body, APPack, ARecvLen);
}

uint8_t WriteHoldingRegistersPack(TMBType AMBType, uint8_t AAddres, uint16_t AStartReg,
                                  const TKRRegisters& AData, TKRBuffer& APPack, uint8_t& ARecvLen) {
    if (!BodyFits(7, 2 * AData.size())) return Refuse(ARecvLen);
    const auto quantity = static_cast<uint8_t>(AData.size());
    TMBBody body = Header(AAddres, 16);
    body.Put16(AStartReg);
    body.Put(0);
    body.Put(quantity);
    body.Put(static_cast<uint8_t>(2 * quantity));
    for (uint16_t r : AData)
        body.Put16(r);
    body.replyLen = 6;
    return Frame(AMBType, body, APPack, ARecvLen);
}

uint8_t UserFunctionPack(TMBType AMBType, uint8_t AAddres, uint8_t AFunc, const uint8_t* AData,
                         size_t ADataLen, TKRBuffer& APPack) {
    uint8_t recvLen = 0;
    if (!BodyFits(2, ADataLen) || (AData == nullptr && ADataLen != 0)) return 0;
    TMBBody body = Header(AAddres, AFunc);
    for (size_t i = 0; i < ADataLen; ++i)
        body.Put(AData[i]);
    return Frame(AMBType, body, APPack, recvLen);
}

uint8_t BuildPackFrame(const TMBPack& APack, TKRBuffer& ABuf, uint8_t& ARecvLen) {
    if (APack.MBType != mbtRTU && APack.MBType != mbtTCP && APack.MBType != mbtASCII)
        return Refuse(ARecvLen);
    if (APack.bLen != 0) {
        if (APack.pBuf == nullptr) return Refuse(ARecvLen);
        ABuf = *APack.pBuf;
        ARecvLen = APack.bRLen;
        return APack.bLen;
    }
    const auto addres = static_cast<uint8_t>(APack.Addres & 0xFF);
    const TMBType type = APack.MBType;
    switch (APack.MBFunc) {
        case 1:
            return ReadReadCoilsPack(type, addres, APack.Start, APack.Count, ABuf, ARecvLen);
        case 2:
            return ReadDiscretInputsPack(type, addres, APack.Start, APack.Count, ABuf, ARecvLen);
        case 3:
            return ReadHoldingRegistersPack(type, addres, APack.Start, APack.Count, ABuf, ARecvLen);
        case 4:
            return ReadInputRegistersPack(type, addres, APack.Start, APack.Count, ABuf, ARecvLen);
        case 5:
            if (APack.DataBt.empty()) return Refuse(ARecvLen);
            return WriteCoilPack(type, addres, APack.Start, (APack.DataBt[0] & 1) != 0, ABuf,
                                 ARecvLen);
        case 6:
            if (APack.Data.empty()) return Refuse(ARecvLen);
            return WriteHoldingRegisterPack(type, addres, APack.Start, APack.Data[0], ABuf,
                                            ARecvLen);
        case 7:
            return ReadStatusPack(type, addres, ABuf, ARecvLen);
        case 15:
            return WriteCoilsPack(type, addres, APack.Start, APack.Count, APack.DataBt, ABuf,
                                  ARecvLen);
        case 16:
            return WriteHoldingRegistersPack(type, addres, APack.Start, APack.Data, ABuf, ARecvLen);
        default:
            ARecvLen = 0;
            return UserFunctionPack(type, addres, APack.MBFunc,
                                    static_cast<const uint8_t*>(APack.uData), APack.Count, ABuf);
    }
}

int32_t ValidateReply(const TMBPack& APack, const TKRBuffer& ABuf, int32_t ALength, bool ACheckID) {
    if (APack.MBType != mbtRTU && APack.MBType != mbtTCP && APack.MBType != mbtASCII) return 0;
    if (ALength < 0 || static_cast<size_t>(ALength) > ABuf.size()) return kBadLength;
    const auto len = static_cast<size_t>(ALength);
    const uint8_t* p = ABuf.data();
    auto pair = [p](size_t pos) {
        return HexPairToByte(static_cast<char>(p[pos]), static_cast<char>(p[pos + 1]));
    };

    // Each frame type: where the function byte and the exception code sit, and the shortest
    // normal and exception replies (checksum and CR LF included).
    uint8_t func = 0;
    size_t exceptionMin = 0;
    switch (APack.MBType) {
        case mbtRTU: {
            if (len < 4) return kBadLength;  // address, function, CRC
            const uint16_t crc = ModbusCRC16(p, len - 2);
            if (p[len - 2] != (crc & 0xFF) || p[len - 1] != (crc >> 8)) return kBadChecksum;
            func = p[1];
            exceptionMin = 5;
            break;
        }
        case mbtTCP:
            if (len < kTCPPrefix + 2) return kBadLength;  // prefix, unit, function
            if (ACheckID && p[0] != APack.id) return kBadID;
            func = p[7];
            exceptionMin = kTCPPrefix + 3;
            break;
        default: {                           // mbtASCII
            if (len < 9) return kBadLength;  // ':', address, function, LRC, CR LF
            // All pairs from position 1 up to the LRC pair add up to 0; CR LF is not summed.
            uint8_t sum = 0;
            for (size_t pos = 1; pos < len - 2; pos += 2)
                sum = static_cast<uint8_t>(sum + pair(pos));
            if (sum != 0) return kBadChecksum;
            func = pair(3);
            exceptionMin = 11;
            break;
        }
    }

    if ((func & 0x7F) != APack.MBFunc) return kBadFunction;
    if ((func & 0x80) == 0) return 0;
    if (len < exceptionMin) return kBadLength;
    uint8_t code;
    switch (APack.MBType) {
        case mbtRTU:
            code = p[2];
            break;
        case mbtTCP:
            code = p[8];
            break;
        default:
            code = pair(5);
            break;
    }
    // Code 0 is no exception: passed on, it would read as success and the exception frame would
    // be decoded as data.
    return code != 0 ? code : kBadFunction;
}
