#pragma once
// Wraps a reply body (address, function, data) into the framing a slave would send.

#include <cstdint>
#include <vector>

#include "link/kr_crc.h"
#include "link/kr_types.h"

namespace mbtest {

inline std::vector<uint8_t> ReplyFrame(TMBType AType, const std::vector<uint8_t>& ABody,
                                       uint8_t AId = 0) {
    std::vector<uint8_t> out;
    switch (AType) {
        case mbtRTU: {
            out = ABody;
            const uint16_t crc = ModbusCRC16(ABody.data(), ABody.size());
            out.push_back(static_cast<uint8_t>(crc & 0xFF));
            out.push_back(static_cast<uint8_t>(crc >> 8));
            break;
        }
        case mbtTCP:
            out.reserve(6 + ABody.size());
            for (uint8_t b : {AId, uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{0},
                              static_cast<uint8_t>(ABody.size())})
                out.push_back(b);
            for (uint8_t b : ABody)
                out.push_back(b);
            break;
        default: {
            static const char kDigits[] = "0123456789ABCDEF";
            auto put = [&](uint8_t b) {
                out.push_back(static_cast<uint8_t>(kDigits[b >> 4]));
                out.push_back(static_cast<uint8_t>(kDigits[b & 0x0F]));
            };
            out.push_back(':');
            for (uint8_t b : ABody)
                put(b);
            put(ModbusLRC(ABody.data(), ABody.size()));
            out.push_back('\r');
            out.push_back('\n');
            break;
        }
    }
    return out;
}

inline TKRBuffer ToBuffer(const std::vector<uint8_t>& ABytes) {
    TKRBuffer buf{};
    for (size_t i = 0; i < ABytes.size() && i < buf.size(); ++i)
        buf[i] = ABytes[i];
    return buf;
}

}  // namespace mbtest
