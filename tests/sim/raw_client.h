#pragma once
// An independent Modbus client for the virtual supply's tests: frames built byte by byte with a
// bit-wise CRC of its own, so that a fault shared by the project's CRC table and the supply
// cannot hide.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "tests/support/virtual_supply_fixture.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline uint16_t BitwiseCrc(const Bytes& b, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= b[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

inline Bytes WithCrc(Bytes b) {
    const uint16_t crc = BitwiseCrc(b, b.size());
    b.push_back(static_cast<uint8_t>(crc & 0xFF));
    b.push_back(static_cast<uint8_t>(crc >> 8));
    return b;
}

inline bool CrcValid(const Bytes& frame) {
    if (frame.size() < 4) return false;
    const uint16_t crc = BitwiseCrc(frame, frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame.back() == (crc >> 8);
}

inline Bytes Pdu3(uint16_t start, uint16_t count) {
    return {3, uint8_t(start >> 8), uint8_t(start), uint8_t(count >> 8), uint8_t(count)};
}
inline Bytes Pdu6(uint16_t reg, uint16_t value) {
    return {6, uint8_t(reg >> 8), uint8_t(reg), uint8_t(value >> 8), uint8_t(value)};
}
inline Bytes Pdu16(uint16_t start, std::initializer_list<uint16_t> values) {
    Bytes p{16, uint8_t(start >> 8),    uint8_t(start),
            0,  uint8_t(values.size()), uint8_t(values.size() * 2)};
    for (uint16_t v : values) {
        p.push_back(uint8_t(v >> 8));
        p.push_back(uint8_t(v));
    }
    return p;
}

inline Bytes Rtu(uint8_t addr, const Bytes& pdu) {
    Bytes b{addr};
    for (uint8_t v : pdu)
        b.push_back(v);
    return WithCrc(b);
}

inline Bytes Mbap(uint16_t tid, uint8_t unit, const Bytes& pdu, uint16_t protocol = 0) {
    Bytes b{uint8_t(tid >> 8),
            uint8_t(tid),
            uint8_t(protocol >> 8),
            uint8_t(protocol),
            uint8_t((pdu.size() + 1) >> 8),
            uint8_t(pdu.size() + 1),
            unit};
    for (uint8_t v : pdu)
        b.push_back(v);
    return b;
}

// Expected reply lengths of the three served functions (PDU only).
inline size_t ReplyPduLength(const Bytes& pdu) {
    if (pdu[0] == 3) return 2 + 2 * size_t(pdu[3] << 8 | pdu[4]);
    return 5;
}

// One RTU exchange; reads the normal reply length, or the 5-byte exception frame.
inline Bytes RtuExchange(int fd, uint8_t addr, const Bytes& pdu, int timeoutMs = 1000) {
    testsupport::SendAll(fd, Rtu(addr, pdu));
    Bytes head = testsupport::ReadBytes(fd, 2, timeoutMs);
    if (head.size() < 2) return head;
    const size_t rest = (head[1] & 0x80) ? 3 : ReplyPduLength(pdu) + 3 - 2;
    Bytes tail = testsupport::ReadBytes(fd, rest, timeoutMs);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// One TCP exchange: the reply frame as received (header included).
inline Bytes TcpExchange(int fd, uint16_t tid, uint8_t unit, const Bytes& pdu,
                         int timeoutMs = 1000) {
    testsupport::SendAll(fd, Mbap(tid, unit, pdu));
    Bytes head = testsupport::ReadBytes(fd, 6, timeoutMs);
    if (head.size() < 6) return head;
    Bytes body = testsupport::ReadBytes(fd, size_t(head[4] << 8 | head[5]), timeoutMs);
    head.insert(head.end(), body.begin(), body.end());
    return head;
}

// Register values of a function 3 reply PDU that starts at offset.
inline std::vector<uint16_t> Values(const Bytes& frame, size_t offset) {
    std::vector<uint16_t> v;
    if (frame.size() <= offset + 1) return v;
    const size_t bytes = frame[offset + 1];
    for (size_t i = 0; i + 1 < bytes && offset + 3 + i < frame.size(); i += 2)
        v.push_back(uint16_t(frame[offset + 2 + i] << 8 | frame[offset + 3 + i]));
    return v;
}

}  // namespace simtest
