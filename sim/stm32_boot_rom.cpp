#include "sim/stm32_boot_rom.h"

#include <algorithm>
#include <array>

namespace {
struct Chip {
    uint16_t pid;
    uint32_t flash;
    uint32_t page;
    bool ext;
};
// F303x4/6/8, G431, F10x, F10x high density; anything else behaves like a 64 KiB F10x.
constexpr std::array<Chip, 4> kChips{{
    {0x438, 65536, 2048, true},
    {0x468, 65536, 2048, true},
    {0x420, 65536, 1024, false},
    {0x414, 262144, 2048, false},
}};

Chip ChipOf(uint16_t pid) {
    for (const auto& c : kChips)
        if (c.pid == pid) return c;
    return {pid, 65536, 1024, false};
}

// Commands the boot loader lists in its Get reply, the erase command in seventh place.
constexpr uint8_t kGet = 0x00, kGetVersion = 0x01, kGetId = 0x02, kRead = 0x11, kGo = 0x21,
                  kWrite = 0x31, kErase = 0x43, kExtErase = 0x44, kWriteProtect = 0x63,
                  kWriteUnprotect = 0x73, kReadoutProtect = 0x82, kReadoutUnprotect = 0x92;

// Where the chip's family keeps its flash size in KiB (a 16-bit word in system memory); 0 when
// the family is not one of these.
uint32_t FlashSizeWordAt(uint16_t pid) {
    struct Family {
        uint32_t at;
        std::array<uint16_t, 12> pids;  // 0: unused
    };
    static constexpr std::array<Family, 4> kFamilies{{
        {0x1FFFF7E0, {0x410, 0x412, 0x414, 0x418, 0x420, 0x428, 0x430}},  // F1
        {0x1FFFF7CC,
         {0x422, 0x432, 0x438, 0x439, 0x440, 0x442, 0x444, 0x445, 0x446, 0x448}},  // F0, F3
        {0x1FFF7A22,
         {0x411, 0x413, 0x419, 0x421, 0x423, 0x431, 0x433, 0x434, 0x441, 0x458, 0x463}},  // F2, F4
        {0x1FFF75E0,
         {0x415, 0x435, 0x460, 0x461, 0x462, 0x464, 0x466, 0x467, 0x468, 0x469, 0x470,
          0x479}},  // G0, G4, L4
    }};
    for (const Family& f : kFamilies)
        for (const uint16_t p : f.pids)
            if (p != 0 && p == pid) return f.at;
    return 0;
}

uint8_t Xor(const std::vector<uint8_t>& v, size_t from, size_t to) {
    uint8_t x = 0;
    for (size_t i = from; i < to; ++i)
        x ^= v[i];
    return x;
}
}  // namespace

uint32_t SimChipFlashSize(uint16_t productId) {
    return ChipOf(productId).flash;
}

SimBootRom::SimBootRom(const SimBootOptions& options) : pid_(options.productId), faults_(options) {
    const Chip chip = ChipOf(pid_);
    pageSize_ = options.pageSize ? options.pageSize : chip.page;
    ext_ = options.extendedErase < 0 ? chip.ext : options.extendedErase != 0;
    blVersion_ = ext_ ? 0x31 : 0x22;
    flash_.assign(options.flashSize ? options.flashSize : chip.flash, 0xFF);
    ram_.assign(kRamSize, 0);
    options_.assign(kOptionSize, 0xFF);
    readProtected_ = options.readProtected;
    sizeWordAt_ = FlashSizeWordAt(pid_);
    const auto kib = static_cast<uint16_t>(flash_.size() / 1024);
    sizeWord_ = {static_cast<uint8_t>(kib), static_cast<uint8_t>(kib >> 8)};
}

void SimBootRom::Reset() {
    state_ = waitActivation;
    acc_.clear();
    need_ = 0;
    held_.clear();
    lost_ = 0;
}

uint64_t SimBootRom::TakeBusyNs() {
    const uint64_t ns = busyNs_;
    busyNs_ = 0;
    return ns;
}

bool SimBootRom::TakeGo(uint32_t& address) {
    if (!go_) return false;
    go_ = false;
    address = goAddress_;
    return true;
}

void SimBootRom::LoadImage(const std::vector<uint8_t>& image) {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    std::copy_n(image.begin(), std::min(image.size(), flash_.size()), flash_.begin());
}

void SimBootRom::Feed(const uint8_t* data, size_t len, std::vector<uint8_t>& out) {
    for (size_t i = 0; i < len; ++i)
        Byte(data[i], out);
}

void SimBootRom::Expect(State s, size_t n) {
    state_ = s;
    acc_.clear();
    need_ = n;
}

uint8_t* SimBootRom::Memory(uint32_t address, uint32_t len, bool write) {
    const auto inside = [&](uint32_t base, size_t size) {
        return address >= base && address - base <= size && len <= size - (address - base);
    };
    if (inside(kFlashBase, flash_.size())) return flash_.data() + (address - kFlashBase);
    if (inside(kRamBase, ram_.size())) return ram_.data() + (address - kRamBase);
    if (!write && inside(kOptionBase, options_.size()))
        return options_.data() + (address - kOptionBase);
    if (!write && sizeWordAt_ != 0 && inside(sizeWordAt_, sizeWord_.size()))
        return sizeWord_.data() + (address - sizeWordAt_);
    return nullptr;
}

bool SimBootRom::AddressFrame(uint32_t& address) const {
    if (Xor(acc_, 0, 4) != acc_[4]) return false;
    address = uint32_t{acc_[0]} << 24 | uint32_t{acc_[1]} << 16 | uint32_t{acc_[2]} << 8 | acc_[3];
    return true;
}

bool SimBootRom::Program(uint32_t address, const uint8_t* data, uint32_t len) {
    uint8_t* mem = Memory(address, len, true);
    if (!mem) return false;
    const bool isFlash = address >= kFlashBase && address < kFlashBase + flash_.size();
    if (isFlash) {
        // Flash cells can only be cleared; programming over set-to-zero bits fails.
        for (uint32_t i = 0; i < len; ++i)
            if ((mem[i] & data[i]) != data[i]) return false;
    }
    std::copy_n(data, len, mem);
    if (isFlash) busyNs_ += (len + 1) / 2 * kSimHalfWordNs;
    return true;
}

void SimBootRom::MassErase() {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    busyNs_ += kSimEraseNs;
}

void SimBootRom::ErasePage(uint32_t page) {
    const size_t from = size_t{page} * pageSize_;
    if (from >= flash_.size()) return;
    busyNs_ += kSimEraseNs;
    std::fill_n(flash_.begin() + static_cast<long>(from),
                std::min<size_t>(pageSize_, flash_.size() - from), 0xFF);
}

void SimBootRom::Command(uint8_t cmd, std::vector<uint8_t>& out) {
    const auto ack = [&out] { out.push_back(kAck); };
    const auto nack = [&out] { out.push_back(kNack); };
    switch (cmd) {
        case kGet: {
            const uint8_t eraseCode = faults_.listedEraseCode ? faults_.listedEraseCode
                                      : ext_                  ? kExtErase
                                                              : kErase;
            std::vector<uint8_t> reply{11,
                                       blVersion_,
                                       kGet,
                                       kGetVersion,
                                       kGetId,
                                       kRead,
                                       kGo,
                                       kWrite,
                                       eraseCode,
                                       kWriteProtect,
                                       kWriteUnprotect,
                                       kReadoutProtect,
                                       kReadoutUnprotect,
                                       kAck};
            if (faults_.getReplyLimit >= 0 && size_t(faults_.getReplyLimit) < reply.size())
                reply.resize(faults_.getReplyLimit);
            ack();
            out.insert(out.end(), reply.begin(), reply.end());
            return;
        }
        case kGetVersion:
            ack();
            out.insert(out.end(), {blVersion_, 0x00, 0x00});
            ack();
            return;
        case kGetId:
            ack();
            out.insert(out.end(), {1, static_cast<uint8_t>(pid_ >> 8), static_cast<uint8_t>(pid_)});
            ack();
            return;
        case kRead:
            if (readProtected_) return nack();
            ack();
            return Expect(readAddress, 5);
        case kGo:
            ack();
            return Expect(goAddress, 5);
        case kWrite:
            if (readProtected_) return nack();
            ack();
            return Expect(writeAddress, 5);
        case kErase:
            if (ext_ || readProtected_) return nack();
            ack();
            return Expect(erase, 1);
        case kExtErase:
            if (!ext_ || readProtected_) return nack();
            ack();
            return Expect(extErase, 2);
        case kWriteProtect:
            if (readProtected_) return nack();
            ack();
            return Expect(writeProtect, 1);
        case kWriteUnprotect:
            ack();
            ack();
            return Reset();  // the chip resets and waits for a new activation
        case kReadoutProtect:
            ack();
            ack();
            readProtected_ = true;
            return Reset();
        case kReadoutUnprotect:
            ack();
            MassErase();  // removing read protection always wipes the flash
            readProtected_ = false;
            ack();
            return Reset();
        default:
            return nack();
    }
}

void SimBootRom::Byte(uint8_t b, std::vector<uint8_t>& out) {
    // A reply held back goes out now, in front of whatever this byte brings.
    out.insert(out.end(), held_.begin(), held_.end());
    held_.clear();
    if (lost_ > 0) {
        --lost_;
        return;
    }
    if (state_ == waitActivation) {
        if (b == 0x7F) {
            if (faults_.activationReply == -2) return;
            out.push_back(faults_.activationReply < 0 ? kAck : uint8_t(faults_.activationReply));
            if (faults_.activationReply < 0) Expect(command, 2);
        }
        return;  // anything else is noise before the baud rate is known
    }
    acc_.push_back(b);
    if (const SimBootFault* cut = CutNow(); cut && acc_.size() == cut->cutAfter) {
        ++fired_;
        lost_ = SentLength() - acc_.size();
    }
    if (--need_ > 0) return;
    // A frame is complete: the fault switched on for it, if any.
    const SimBootFault* fault = nullptr;
    if (state_ == command) {
        if ((acc_[0] ^ acc_[1]) != 0xFF) {
            out.push_back(kNack);
            return Expect(command, 2);
        }
        current_ = acc_[0];
        frame_ = 0;
        ++uses_[current_];
        fault = FaultNow();
    } else if (FrameComplete()) {
        ++frame_;
        fault = FaultNow();
    }
    if (fault) ++fired_;
    if (fault && !fault->silent && !fault->late) {
        out.push_back(kNack);
        return Expect(command, 2);
    }
    const size_t mark = out.size();
    Step(out);
    if (!fault) return;
    if (fault->late) held_.assign(out.begin() + static_cast<long>(mark), out.end());
    out.resize(mark);  // lost on the line, or held back
}

size_t SimBootRom::SentLength() const {
    switch (state_) {
        case writeData:
        case writeProtect:
            return acc_[0] + 3u;  // length byte, data, checksum
        case erase:
            return acc_[0] == 0xFF ? 2u : acc_[0] + 3u;
        case extErase: {
            if (acc_.size() < 2) return 3;
            const unsigned n = unsigned{acc_[0]} << 8 | acc_[1];
            return n >= 0xFFF0 ? 3u : 2u * (n + 1u) + 3u;
        }
        default:
            return acc_.size() - 1 + need_;  // need_ still counts the byte just taken
    }
}

const SimBootFault* SimBootRom::CutNow() const {
    if (state_ == waitActivation || state_ == command) return nullptr;
    for (const SimBootFault& f : faults_.commandFaults)
        if (f.cutAfter > 0 && f.command == current_ && f.occurrence == uses_[current_] &&
            f.frame == frame_ + 1)
            return &f;
    return nullptr;
}

bool SimBootRom::FrameComplete() const {
    switch (state_) {
        case writeData:
        case erase:
        case writeProtect:
            return acc_.size() > 1;
        case extErase:
            return acc_.size() > 2;
        default:
            return true;
    }
}

const SimBootFault* SimBootRom::FaultNow() const {
    for (const SimBootFault& f : faults_.commandFaults)
        if (f.cutAfter == 0 && f.command == current_ && f.occurrence == uses_[current_] &&
            f.frame == frame_)
            return &f;
    return nullptr;
}

void SimBootRom::Step(std::vector<uint8_t>& out) {
    const auto fail = [&] {
        out.push_back(kNack);
        Expect(command, 2);
    };
    switch (state_) {
        case command: {
            const uint8_t cmd = acc_[0];
            Expect(command, 2);
            Command(cmd, out);
            return;
        }
        case readAddress:
        case writeAddress:
        case goAddress: {
            uint32_t address = 0;
            const bool known = AddressFrame(address) && Memory(address, 1, state_ == writeAddress);
            if (!known) return fail();
            out.push_back(kAck);
            address_ = address;
            if (state_ == goAddress) {
                go_ = true;
                goAddress_ = address;
                return Reset();
            }
            return Expect(state_ == readAddress ? readCount : writeData,
                          state_ == readAddress ? 2 : 1);
        }
        case readCount: {
            const uint32_t count = acc_[0] + 1u;
            const uint8_t* mem = Memory(address_, count, false);
            if ((acc_[0] ^ acc_[1]) != 0xFF || !mem) return fail();
            out.push_back(kAck);
            out.insert(out.end(), mem, mem + count);
            if (faults_.corruptReadAt >= 0 && address_ >= kFlashBase) {
                const int64_t at = faults_.corruptReadAt - int64_t{address_ - kFlashBase};
                if (at >= 0 && at < int64_t{count}) out[out.size() - count + size_t(at)] ^= 0xFF;
            }
            return Expect(command, 2);
        }
        case writeData:
            if (acc_.size() == 1) {
                need_ = acc_[0] + 2u;  // data bytes and the checksum
                return;
            }
            if (Xor(acc_, 0, acc_.size() - 1) != acc_.back() ||
                !Program(address_, acc_.data() + 1, static_cast<uint32_t>(acc_.size() - 2)))
                return fail();
            out.push_back(kAck);
            return Expect(command, 2);
        case erase:
            if (acc_.size() == 1) {
                need_ = acc_[0] == 0xFF ? 1u : acc_[0] + 2u;  // global erase or page list
                return;
            }
            if (acc_[0] == 0xFF) {
                if (acc_[1] != 0x00) return fail();
                MassErase();
            } else {
                if (Xor(acc_, 0, acc_.size() - 1) != acc_.back()) return fail();
                for (size_t i = 1; i + 1 < acc_.size(); ++i)
                    ErasePage(acc_[i]);
            }
            out.push_back(kAck);
            return Expect(command, 2);
        case extErase: {
            const uint16_t n = static_cast<uint16_t>(acc_[0] << 8 | acc_[1]);
            if (acc_.size() == 2) {
                need_ = n >= 0xFFF0 ? 1u : 2u * (n + 1u) + 1u;
                return;
            }
            if (Xor(acc_, 0, acc_.size() - 1) != acc_.back()) return fail();
            if (n >= 0xFFF0) {
                if (n < 0xFFFD) return fail();
                MassErase();  // mass, bank 1 or bank 2: one bank here
            } else {
                for (size_t i = 2; i + 2 < acc_.size(); i += 2)
                    ErasePage(uint32_t{acc_[i]} << 8 | acc_[i + 1]);
            }
            out.push_back(kAck);
            return Expect(command, 2);
        }
        case writeProtect:
            if (acc_.size() == 1) {
                need_ = acc_[0] + 2u;
                return;
            }
            if (Xor(acc_, 0, acc_.size() - 1) != acc_.back()) return fail();
            out.push_back(kAck);
            return Reset();
        case waitActivation:
            return;
    }
}
