#pragma once
// A minimal Modbus slave as a pure function: request frame in, reply frame out. Registers read
// back as their own address (register r holds r), coils as 0x55 bytes, writes are echoed and a
// user function echoes its data. The TCP reply carries the request's transaction byte.

#include <cstdint>
#include <vector>

#include "link/kr_crc.h"
#include "link/kr_types.h"
#include "tests/link/modbus_reply_frames.h"

namespace mbtest {

inline std::vector<uint8_t> RequestBody(TMBType AType, const std::vector<uint8_t>& AFrame) {
    switch (AType) {
        case mbtRTU:
            return {AFrame.begin(), AFrame.end() - 2};
        case mbtTCP:
            return {AFrame.begin() + 6, AFrame.end()};
        default: {
            std::vector<uint8_t> body;
            for (size_t p = 1; p + 4 < AFrame.size(); p += 2)  // stop before LRC and CR LF
                body.push_back(
                    HexPairToByte(static_cast<char>(AFrame[p]), static_cast<char>(AFrame[p + 1])));
            return body;
        }
    }
}

inline std::vector<uint8_t> SlaveReply(TMBType AType, const std::vector<uint8_t>& AFrame) {
    const auto req = RequestBody(AType, AFrame);
    const uint8_t func = req[1];
    std::vector<uint8_t> rep = {req[0], func};
    const uint16_t start = req.size() >= 4 ? static_cast<uint16_t>(req[2] << 8 | req[3]) : 0;
    const uint16_t count = req.size() >= 6 ? static_cast<uint16_t>(req[4] << 8 | req[5]) : 0;
    switch (func) {
        case 1:
        case 2:
            rep.push_back(static_cast<uint8_t>((count + 7) / 8));
            for (int i = 0; i < (count + 7) / 8; ++i)
                rep.push_back(0x55);
            break;
        case 3:
        case 4:
            rep.push_back(static_cast<uint8_t>(2 * count));
            for (uint16_t i = 0; i < count; ++i) {
                const uint16_t value = static_cast<uint16_t>(start + i);
                rep.push_back(static_cast<uint8_t>(value >> 8));
                rep.push_back(static_cast<uint8_t>(value & 0xFF));
            }
            break;
        case 5:
        case 6:
        case 15:
        case 16:
            rep.assign(req.begin(), req.begin() + 6);
            break;
        case 7:
            rep.push_back(0x42);
            break;
        default:
            for (size_t i = 2; i < req.size(); ++i)
                rep.push_back(req[i]);
            break;
    }
    return ReplyFrame(AType, rep, AType == mbtTCP ? AFrame[0] : 0);
}

}  // namespace mbtest
