#pragma once
// A minimal host side of the STM32 USART boot loader protocol for the tests, written from the
// application note, over either the boot ROM object itself or a byte stream.

#include <algorithm>
#include <functional>
#include <memory>

#include "sim/stm32_boot_rom.h"
#include "tests/sim/raw_client.h"

namespace simtest {

constexpr uint8_t kAck = 0x79;
constexpr uint8_t kNack = 0x1F;

// Sends bytes and returns the next `expect` bytes the chip sends back.
using BootExchange = std::function<Bytes(const Bytes& out, size_t expect)>;

// Over the ROM object: what it sends is kept until the host reads it, as on a line.
inline BootExchange RomExchange(SimBootRom& rom) {
    auto line = std::make_shared<Bytes>();
    return [&rom, line](const Bytes& out, size_t expect) {
        rom.Feed(out.data(), out.size(), *line);
        const size_t n = std::min(expect, line->size());
        Bytes in(line->begin(), line->begin() + long(n));
        line->erase(line->begin(), line->begin() + long(n));
        return in;
    };
}

inline BootExchange FdExchange(int fd, int timeoutMs = 2000) {
    return [fd, timeoutMs](const Bytes& out, size_t expect) {
        testsupport::SendAll(fd, out);
        return testsupport::ReadBytes(fd, expect, timeoutMs);
    };
}

class BootHost {
public:
    explicit BootHost(BootExchange x) : x_(std::move(x)) {}

    bool Activate() { return x_({0x7F}, 1) == Bytes{kAck}; }
    bool Command(uint8_t c) { return x_({c, uint8_t(c ^ 0xFF)}, 1) == Bytes{kAck}; }
    // Reply of Get after its first ACK: length, version, commands, ACK.
    Bytes Get() { return Command(0x00) ? x_({}, 14) : Bytes{}; }
    uint16_t GetId() {
        if (!Command(0x02)) return 0;
        const Bytes r = x_({}, 4);
        return r.size() == 4 && r[3] == kAck ? uint16_t(r[1] << 8 | r[2]) : 0;
    }
    bool Address(uint32_t a) {
        Bytes b{uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
        b.push_back(b[0] ^ b[1] ^ b[2] ^ b[3]);
        return x_(b, 1) == Bytes{kAck};
    }
    bool Write(uint32_t a, const Bytes& data, bool badChecksum = false) {
        if (!Command(0x31) || !Address(a)) return false;
        Bytes b{uint8_t(data.size() - 1)};
        uint8_t x = b[0];
        for (uint8_t d : data) {
            b.push_back(d);
            x ^= d;
        }
        b.push_back(badChecksum ? uint8_t(~x) : x);
        return x_(b, 1) == Bytes{kAck};
    }
    Bytes Read(uint32_t a, size_t n) {
        if (!Command(0x11) || !Address(a)) return {};
        const Bytes r = x_({uint8_t(n - 1), uint8_t(~(n - 1))}, n + 1);
        if (r.empty() || r[0] != kAck) return {};
        return Bytes(r.begin() + 1, r.end());
    }
    bool MassErase(bool extended) {
        if (!Command(extended ? 0x44 : 0x43)) return false;
        return x_(extended ? Bytes{0xFF, 0xFF, 0x00} : Bytes{0xFF, 0x00}, 1) == Bytes{kAck};
    }
    bool ErasePages(bool extended, const std::vector<uint16_t>& pages) {
        if (!Command(extended ? 0x44 : 0x43)) return false;
        Bytes b;
        if (extended) {
            b = {uint8_t((pages.size() - 1) >> 8), uint8_t(pages.size() - 1)};
            for (uint16_t p : pages)
                b.insert(b.end(), {uint8_t(p >> 8), uint8_t(p)});
        } else {
            b = {uint8_t(pages.size() - 1)};
            for (uint16_t p : pages)
                b.push_back(uint8_t(p));
        }
        uint8_t x = 0;
        for (uint8_t v : b)
            x ^= v;
        b.push_back(x);
        return x_(b, 1) == Bytes{kAck};
    }
    bool Go(uint32_t a) { return Command(0x21) && Address(a); }
    BootExchange& Raw() { return x_; }

private:
    BootExchange x_;
};

}  // namespace simtest
