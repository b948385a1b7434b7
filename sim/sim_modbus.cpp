#include "sim/sim_modbus.h"

#include "link/kr_crc.h"
#include "sim/sim_device.h"

namespace {
uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void PutBe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v & 0xFF));
}

// Request length of the functions whose frame size follows from the first bytes; 0 unknown.
size_t RtuRequestLength(const std::vector<uint8_t>& buf) {
    if (buf.size() < 2) return 0;
    switch (buf[1]) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
            return 8;
        case 7:
        case 11:
        case 12:
        case 17:
            return 4;
        case 15:
        case 16:
            return buf.size() < 7 ? 0 : 9u + buf[6];
        default:
            return 0;
    }
}

bool CrcOk(const uint8_t* frame, size_t len) {
    if (len < 4) return false;
    const uint16_t crc = ModbusCRC16(frame, len - 2);
    return frame[len - 2] == (crc & 0xFF) && frame[len - 1] == (crc >> 8);
}
}  // namespace

std::vector<uint8_t> SimExceptionPdu(uint8_t function, uint8_t code) {
    return {static_cast<uint8_t>(function | 0x80), code};
}

SimPduOutcome SimExecutePdu(SimDevice& dev, const uint8_t* pdu, size_t len, uint32_t nowMs) {
    SimPduOutcome out;
    if (len == 0) return out;
    const uint8_t fn = pdu[0];
    switch (fn) {
        case 3: {
            if (len != 5) return {SimExceptionPdu(fn, kSimExIllegalValue), {}, false};
            const uint16_t start = Be16(pdu + 1), count = Be16(pdu + 3);
            if (count < 1 || count > 125)
                return {SimExceptionPdu(fn, kSimExIllegalValue), {}, false};
            std::vector<uint16_t> regs;
            if (const uint8_t ex = dev.Read(start, count, regs, nowMs))
                return {SimExceptionPdu(fn, ex), {}, false};
            out.reply = {fn, static_cast<uint8_t>(count * 2)};
            for (uint16_t r : regs)
                PutBe16(out.reply, r);
            return out;
        }
        case 6: {
            if (len != 5) return {SimExceptionPdu(fn, kSimExIllegalValue), {}, false};
            const uint16_t start = Be16(pdu + 1);
            SimWrite w{fn, start, {Be16(pdu + 3)}};
            if (const uint8_t ex = dev.Write(start, w.values, nowMs))
                return {SimExceptionPdu(fn, ex), {}, false};
            out.write = std::move(w);
            out.bootJump = dev.TakeBootRequest();
            if (!out.bootJump) out.reply.assign(pdu, pdu + 5);  // echo
            return out;
        }
        case 16: {
            if (len < 6) return {SimExceptionPdu(fn, kSimExIllegalValue), {}, false};
            const uint16_t start = Be16(pdu + 1), count = Be16(pdu + 3);
            const uint8_t bytes = pdu[5];
            if (count < 1 || count > 123 || bytes != count * 2 || len != 6u + bytes)
                return {SimExceptionPdu(fn, kSimExIllegalValue), {}, false};
            SimWrite w{fn, start, {}};
            for (uint16_t i = 0; i < count; ++i)
                w.values.push_back(Be16(pdu + 6 + 2 * i));
            if (const uint8_t ex = dev.Write(start, w.values, nowMs))
                return {SimExceptionPdu(fn, ex), {}, false};
            out.write = std::move(w);
            out.bootJump = dev.TakeBootRequest();
            if (!out.bootJump) out.reply.assign(pdu, pdu + 5);  // function, start, quantity
            return out;
        }
        default:
            return {SimExceptionPdu(fn, kSimExIllegalFunction), {}, false};
    }
}

std::vector<uint8_t> SimRtuFrame(uint8_t address, const std::vector<uint8_t>& pdu,
                                 bool corruptCrc) {
    std::vector<uint8_t> frame;
    frame.reserve(pdu.size() + 3);
    frame.push_back(address);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    uint16_t crc = ModbusCRC16(frame.data(), frame.size());
    if (corruptCrc) crc = static_cast<uint16_t>(~crc);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

void SimRtuFramer::Push(const uint8_t* data, size_t len) {
    buf_.insert(buf_.end(), data, data + len);
}

void SimRtuFramer::Clear() {
    buf_.clear();
    untilSilence_ = false;
}

std::optional<std::vector<uint8_t>> SimRtuFramer::Next() {
    if (untilSilence_) return std::nullopt;
    const size_t need = RtuRequestLength(buf_);
    if (need == 0 || buf_.size() < need) return std::nullopt;
    if (!CrcOk(buf_.data(), need)) {
        untilSilence_ = true;
        return std::nullopt;
    }
    std::vector<uint8_t> frame(buf_.begin(), buf_.begin() + static_cast<long>(need) - 2);
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<long>(need));
    return frame;
}

std::optional<std::vector<uint8_t>> SimRtuFramer::Silence() {
    std::optional<std::vector<uint8_t>> frame;
    if (CrcOk(buf_.data(), buf_.size())) frame.emplace(buf_.begin(), buf_.end() - 2);
    Clear();
    return frame;
}

void SimTcpFramer::Push(const uint8_t* data, size_t len) {
    buf_.insert(buf_.end(), data, data + len);
}

SimTcpFramer::Result SimTcpFramer::Next(SimTcpRequest& out) {
    if (buf_.size() < 6) return needMore;
    const uint16_t length = Be16(buf_.data() + 4);  // unit identifier plus PDU
    if (length < 2 || length > 254) return broken;
    if (buf_.size() < 6u + length) return needMore;
    out.transaction = Be16(buf_.data());
    out.protocol = Be16(buf_.data() + 2);
    out.unit = buf_[6];
    out.pdu.assign(buf_.begin() + 7, buf_.begin() + 6 + length);
    buf_.erase(buf_.begin(), buf_.begin() + 6 + length);
    return request;
}

std::vector<uint8_t> SimTcpFrame(uint16_t transaction, uint8_t unit,
                                 const std::vector<uint8_t>& pdu) {
    std::vector<uint8_t> frame;
    PutBe16(frame, transaction);
    PutBe16(frame, 0);
    PutBe16(frame, static_cast<uint16_t>(pdu.size() + 1));
    frame.push_back(unit);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return frame;
}
