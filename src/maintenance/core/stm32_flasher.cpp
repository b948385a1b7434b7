#include "maintenance/core/stm32_flasher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "link/com_port.h"

namespace {
using Clock = std::chrono::steady_clock;

constexpr uint8_t kActivation = 0x7F;
constexpr uint8_t kCmdGet = 0x00, kCmdGetVersion = 0x01, kCmdGetId = 0x02, kCmdRead = 0x11,
                  kCmdGo = 0x21, kCmdWrite = 0x31, kCmdErase = 0x43, kCmdExtErase = 0x44,
                  kCmdWriteUnprotect = 0x73, kCmdReadoutUnprotect = 0x92;
constexpr int32_t kReplyMax = 30;  // bytes taken of a Get or Get ID reply
const char* const kAlreadyActive = "The boot loader was already active: going on";

struct TDeviceRow {
    int32_t pid;
    const char* name;
    int32_t flash;
};
// The last row is the default for product IDs not listed.
constexpr std::array<TDeviceRow, 5> kDevices{{
    {0x438, "STM32F303x4(6/8)/F334xx/F328xx", 65536},
    {0x468, "STM32G431xx/441xx", 65536},
    {0x420, "STM32F10x", 65536},
    {0x414, "STM32F101/103 HD", 262144},
    {0, "Unknowndevice", 65536},
}};

// Where an STM32 family keeps its flash size in KiB (a 16-bit word in system memory); 0 for
// product IDs of other families.
uint32_t FlashSizeWordAddress(int32_t pid) {
    struct TFamily {
        uint32_t address;
        std::array<int32_t, 12> pids;  // 0: unused
    };
    static constexpr std::array<TFamily, 7> kFamilies{{
        {0x1FFFF7E0, {0x410, 0x412, 0x414, 0x418, 0x420, 0x428, 0x430}},  // F1
        {0x1FFFF7CC,
         {0x422, 0x432, 0x438, 0x439, 0x440, 0x442, 0x444, 0x445, 0x446, 0x448}},  // F0, F3
        {0x1FFF7A22,
         {0x411, 0x413, 0x419, 0x421, 0x423, 0x431, 0x433, 0x434, 0x441, 0x458, 0x463}},  // F2, F4
        {0x1FFF75E0,
         {0x415, 0x435, 0x460, 0x461, 0x462, 0x464, 0x466, 0x467, 0x468, 0x469, 0x470,
          0x479}},                                   // G0, G4, L4
        {0x1FF0F442, {0x449, 0x451}},                // F74x/F75x, F76x/F77x
        {0x1FF8007C, {0x417, 0x425, 0x447, 0x457}},  // L0
        {0x1FF1E880, {0x450}},                       // H74x/H75x
    }};
    for (const TFamily& f : kFamilies)
        for (const int32_t p : f.pids)
            if (p != 0 && p == pid) return f.address;
    return 0;
}

uint32_t MsSince(Clock::time_point t) {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

std::string Format(const char* aFormat, unsigned aValue) {
    char b[64];
    std::snprintf(b, sizeof b, aFormat, aValue);
    return b;
}

}  // namespace

int32_t TSTM32_Flasher::LargestKnownFlash() {
    int32_t largest = 0;
    for (const TDeviceRow& row : kDevices)
        largest = std::max(largest, row.flash);
    return largest;
}

std::vector<uint8_t> TSTM32_Flasher::ReadImage(const std::string& aFileName) {
    struct stat st {};
    if (stat(aFileName.c_str(), &st) != 0) throw EFlasherFileError("Cannot open file " + aFileName);
    if (!S_ISREG(st.st_mode)) throw EFlasherFileError("Not a file: " + aFileName);
    if (st.st_size > LargestKnownFlash())
        throw EFlasherFileError("File " + aFileName +
                                " is too large: " + std::to_string(st.st_size) +
                                " bytes, and no supported chip has " + "more than " +
                                std::to_string(LargestKnownFlash()) + " bytes of flash");
    std::ifstream f(aFileName, std::ios::binary);
    if (!f) throw EFlasherFileError("Cannot open file " + aFileName);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)),
                              std::istreambuf_iterator<char>());
    if (f.bad()) throw EFlasherFileError("Cannot read file " + aFileName);
    // An empty image would leave an erased chip started with nothing in it.
    if (data.empty()) throw EFlasherFileError("File " + aFileName + " is empty");
    return data;
}

TSTM32_Flasher::TSTM32_Flasher(TKRCOMPort& aComPort, TFlasherTimeouts aTimeouts)
    : fComPort(aComPort), fTimeouts(aTimeouts), fTx(258, 0), fRx(256, 0) {
    fCancelFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TSTM32_Flasher::~TSTM32_Flasher() {
    if (fCancelFd >= 0) close(fCancelFd);
}

void TSTM32_Flasher::Cancel() {
    fCancelled.store(true);
    const uint64_t one = 1;
    if (fCancelFd >= 0) (void)!write(fCancelFd, &one, sizeof one);
}

void TSTM32_Flasher::writeln(const std::string& aText) {
    // After a cancel the steps fail one after the other; their messages would only mislead.
    if (fOnWriteln && !fCancelled.load()) fOnWriteln(this, aText);
}

void TSTM32_Flasher::progress(int32_t aCurrent, int32_t aMax) {
    if (fOnProgress) fOnProgress(this, aCurrent, aMax);
}

void TSTM32_Flasher::fail_at(const char* aStep) {
    if (fFailure != ffNone) return;
    fFailure = fCancelled.load() ? ffCancelled : ffStep;
    fFailedStep = aStep;
}

void TSTM32_Flasher::pause(uint32_t aMs) {
    if (aMs == 0 || fCancelled.load()) return;
    pollfd p{fCancelFd, POLLIN, 0};
    poll(&p, fCancelFd >= 0 ? 1 : 0, static_cast<int>(aMs));
}

bool TSTM32_Flasher::send(const uint8_t* aData, int32_t aCount) {
    return fComPort.Write(aData, aCount) == aCount;
}

// --- acknowledges ------------------------------------------------------------------------------

int TSTM32_Flasher::wait_ack() {
    const auto start = Clock::now();
    fRx[0] = 0;
    for (;;) {
        uint8_t b = 0;
        if (fComPort.Read(&b, 1) == 1) {
            fRx[0] = b;
            if (b == kAck) return 0;
            if (b == kNack) return 1;
            continue;  // anything else is ignored
        }
        if (fCancelled.load()) return 1;
        const uint32_t elapsed = MsSince(start);
        if (elapsed > fTimeout) {
            writeln("ACK response timeout!");
            return 1;
        }
        fComPort.WaitForInput(static_cast<int32_t>(fTimeout - elapsed + 1), fCancelFd);
    }
}

int TSTM32_Flasher::wait_reply() {
    const auto start = Clock::now();
    fRx[0] = 0;
    for (;;) {
        uint8_t b = 0;
        while (fComPort.Read(&b, 1) == 1)
            if (b == kAck || b == kNack) {
                fRx[0] = b;
                return 0;
            }
        const uint32_t elapsed = MsSince(start);
        if (fCancelled.load() || elapsed > fTimeout) return 1;
        fComPort.WaitForInput(static_cast<int32_t>(fTimeout - elapsed + 1), fCancelFd);
    }
}

void TSTM32_Flasher::ack_error(const std::string& caller) {
    if (fRx[0] == kNack)
        writeln("NACK in " + caller);
    else
        writeln(Format("Received 0x%02X in ", fRx[0]) + caller);
}

int TSTM32_Flasher::send_1byte_wait_ack(uint8_t byte1) {
    fTx[0] = byte1;
    fTx[1] = byte1 ^ 0xFF;
    send(fTx.data(), 2);
    return wait_ack();
}

int TSTM32_Flasher::send_2bytes_wait_ack(uint8_t byte1, uint8_t byte2) {
    fTx[0] = byte1;
    fTx[1] = byte2;
    fTx[2] = byte1 ^ byte2;
    send(fTx.data(), 3);
    return wait_ack();
}

int TSTM32_Flasher::send_3bytes_wait_ack(uint8_t byte1, uint8_t byte2, uint8_t byte3) {
    fTx[0] = byte1;
    fTx[1] = byte2;
    fTx[2] = byte3;
    fTx[3] = byte1 ^ byte2 ^ byte3;
    send(fTx.data(), 4);
    return wait_ack();
}

int TSTM32_Flasher::send_4bytes_wait_ack(uint8_t byte1, uint8_t byte2, uint8_t byte3,
                                         uint8_t byte4) {
    fTx[0] = byte1;
    fTx[1] = byte2;
    fTx[2] = byte3;
    fTx[3] = byte4;
    fTx[4] = byte1 ^ byte2 ^ byte3 ^ byte4;
    send(fTx.data(), 5);
    return wait_ack();
}

// --- reading replies ---------------------------------------------------------------------------

bool TSTM32_Flasher::wait_input(int32_t aCount, uint32_t aTimeout) {
    // Bytes are taken into fRx as they come: a descriptor with unread input would wake poll at
    // once, so waiting for a count without reading would spin.
    const auto start = Clock::now();
    fbytes_read = 0;
    for (;;) {
        fbytes_read += fComPort.Read(fRx.data() + fbytes_read, aCount - fbytes_read);
        if (fbytes_read >= aCount || fCancelled.load()) break;
        const uint32_t elapsed = MsSince(start);
        if (elapsed > aTimeout) break;
        fComPort.WaitForInput(static_cast<int32_t>(aTimeout - elapsed + 1), fCancelFd);
    }
    return fbytes_read >= aCount;
}

void TSTM32_Flasher::read_reply() {
    // The reply follows the ACK: a length byte N, N + 1 bytes and a closing ACK. It is complete
    // when all have come; a shorter reply ends when the line stays silent for ReplyGap ms.
    const auto start = Clock::now();
    auto last = start;
    fbytes_read = 0;
    for (;;) {
        const int32_t n = fComPort.Read(fRx.data() + fbytes_read, kReplyMax - fbytes_read);
        if (n > 0) {
            fbytes_read += n;
            last = Clock::now();
        }
        const int32_t expected = fbytes_read > 0 ? std::min(fRx[0] + 3, kReplyMax) : kReplyMax;
        if (fbytes_read >= expected || fCancelled.load()) return;
        const uint32_t total = MsSince(start), quiet = MsSince(last);
        if (total > fTimeout || quiet >= fTimeouts.ReplyGap) return;
        const uint32_t wait = std::min(fTimeout - total + 1, fTimeouts.ReplyGap - quiet);
        fComPort.WaitForInput(static_cast<int32_t>(wait), fCancelFd);
    }
}

int32_t TSTM32_Flasher::read_answer(uint32_t aTimeout, uint8_t& aLast) {
    const auto start = Clock::now();
    auto last = start;
    int32_t count = 0;
    std::array<uint8_t, 64> chunk;
    for (;;) {
        const int32_t n = fComPort.Read(chunk.data(), chunk.size());
        if (n > 0) {
            const int32_t room = std::max<int32_t>(0, static_cast<int32_t>(fRx.size()) - count);
            std::copy_n(chunk.begin(), std::min(n, room), fRx.begin() + count);
            count += n;
            aLast = chunk[static_cast<size_t>(n - 1)];
            last = Clock::now();
            continue;
        }
        if (fCancelled.load()) return count;
        const uint32_t quiet = MsSince(last);
        const uint32_t limit = count > 0 ? fTimeouts.ReplyGap : aTimeout;
        if (quiet >= limit) return count;
        fComPort.WaitForInput(static_cast<int32_t>(limit - quiet), fCancelFd);
    }
}

// --- steps -------------------------------------------------------------------------------------

int TSTM32_Flasher::autobaud() {
    fToldActive = false;
    // What an earlier run left on the line (an answer that reached the port late) goes first.
    drain(fTimeouts.ReplyGap);
    fTx[0] = kActivation;
    send(fTx.data(), 1);
    fTimeout = fTimeouts.Activation;
    int r = wait_ack();
    const bool answered = r == 0 || fRx[0] == kNack;
    // An awake boot loader takes 0x7F as the first byte of a command and refuses it: an earlier
    // run ended after the activation (a failure, an interrupt, a lost cable).
    if (fRx[0] == kNack) told_active();
    // The answer may be a late one to an earlier run's last frame: it counts only once the boot
    // loader is seen to read the next frame as a command.
    if (answered) r = confirm_sync();
    if (r != 0 && !fCancelled.load()) {
        // The boot loader may wait for the rest of a frame an earlier run left unsent.
        writeln(answered ? "The answer was not confirmed: re-synchronising with the boot loader ..."
                         : "No answer: re-synchronising with the boot loader ...");
        r = resync();
    }
    if (r == 0) {
        writeln("Activating device: OK");
        return 0;
    }
    writeln("Activating device: FAILED !!!");
    ack_error("Activating device");
    return 1;
}

void TSTM32_Flasher::told_active() {
    if (fToldActive) return;
    fToldActive = true;
    writeln(kAlreadyActive);
}

void TSTM32_Flasher::drain(uint32_t aQuiet) {
    std::array<uint8_t, 64> junk;
    do {
        while (fComPort.Read(junk.data(), junk.size()) > 0) {
        }
    } while (!fCancelled.load() && fComPort.WaitForInput(static_cast<int32_t>(aQuiet), fCancelFd) &&
             fComPort.InputCount() > 0);
}

int TSTM32_Flasher::resync() {
    // Filler bytes end any frame the boot loader still waits for (the longest, a write's data,
    // has 258 bytes) without effect: 0xFF programs nothing, is no erase code, and no command,
    // address or count frame made of it has a valid checksum. The boot loader then waits for a
    // command with none or one byte of it received; single activation bytes find out which
    // (a NACK), or wake a boot loader that was not active after all (an ACK).
    std::fill_n(fTx.begin(), kBlockSize + 1, 0xFF);
    send(fTx.data(), kBlockSize + 1);
    const int32_t baud = std::max<int32_t>(fComPort.BaudRate(), 1200);
    const uint32_t wire = static_cast<uint32_t>((kBlockSize + 1) * 11 * 1000 / baud);
    pause(wire);
    // The answers to the filler come while it goes out: take them until the line stays quiet.
    drain(fTimeouts.ResyncGap);
    // The first probe is answered only when a byte was pending; then the second one surely is
    // (by the boot loader, or late by the first), so it gets the full command time-out.
    bool answered = false;
    for (int probe = 0; probe < 2 && !answered && !fCancelled.load(); ++probe) {
        fTimeout = probe == 0 ? fTimeouts.ResyncGap : fTimeouts.Command;
        fTx[0] = kActivation;
        send(fTx.data(), 1);
        answered = wait_reply() == 0;
    }
    if (!answered) {
        fRx[0] = 0;
        return 1;
    }
    if (fRx[0] == kNack) told_active();
    return confirm_sync();
}

int TSTM32_Flasher::confirm_sync() {
    // Get Version sent on a quiet line must bring exactly its answer: ACK, the version, two
    // option bytes, ACK, then silence. Anything else is an answer of an earlier run still on its
    // way (read-back data may hold ACK bytes), or a boot loader that took the frame as part of
    // another one. A refused pair may leave its second byte (0xFE) pending as the first of a
    // command; a 0xFF completes it to another refused pair. Silence means the frame was taken
    // for part of a longer one: the caller re-synchronises.
    for (int attempt = 0; attempt < 6 && !fCancelled.load(); ++attempt) {
        drain(fTimeouts.ReplyGap);
        fTx[0] = kCmdGetVersion;
        fTx[1] = kCmdGetVersion ^ 0xFF;
        send(fTx.data(), 2);
        uint8_t last = 0;
        const int32_t n = read_answer(fTimeouts.Command, last);
        if (n == 5 && fRx[0] == kAck && fRx[4] == kAck) return 0;
        if (n == 0) break;
        if (last == kNack) {
            fTx[0] = 0xFF;
            send(fTx.data(), 1);
            read_answer(fTimeouts.Command, last);
        }
    }
    fRx[0] = 0;
    return 1;
}

int TSTM32_Flasher::get_cmd() {
    fTimeout = fTimeouts.Command;
    if (send_1byte_wait_ack(kCmdGet) != 0) {
        writeln("Bootloader version undefinite");
        ack_error("Get Command");
        return 1;
    }
    read_reply();
    if (fbytes_read >= 1)
        writeln(Format("Bootloader version : %X.", fRx[1] >> 4) + Format("%X", fRx[1] & 0x0F));
    if (fbytes_read < 8) return 1;
    // The seventh command code is the erase command the boot loader understands.
    if (fRx[8] == kCmdErase) fext_erase = 1;
    if (fRx[8] == kCmdExtErase) fext_erase = 2;
    return 0;
}

int TSTM32_Flasher::get_pidvid() {
    fTimeout = fTimeouts.Command;
    if (send_1byte_wait_ack(kCmdGetId) != 0) {
        writeln("Device ID failed");
        ack_error("Get ID");
        return 1;
    }
    read_reply();
    if (fbytes_read > 1) fpid = fRx[1] * 256 + fRx[2];
    writeln("Device : " + get_device_string(fpid) + " ");
    return 0;
}

std::string TSTM32_Flasher::get_device_string(int32_t pid) {
    for (size_t i = 0; i + 1 < kDevices.size(); ++i)
        if (kDevices[i].pid == pid) {
            fflash_size = kDevices[i].flash;
            return kDevices[i].name;
        }
    fflash_size = kDevices.back().flash;
    return kDevices.back().name;
}

bool TSTM32_Flasher::known_device(int32_t pid) {
    return std::any_of(kDevices.begin(), kDevices.end() - 1,
                       [pid](const TDeviceRow& r) { return r.pid == pid; });
}

bool TSTM32_Flasher::read_protected() {
    // With read protection on, the boot loader refuses Read Memory too.
    fTimeout = fTimeouts.ReadAck;
    if (send_1byte_wait_ack(kCmdRead) != 0) return fRx[0] == kNack;
    // Readable after all: an address outside every memory ends the command.
    send_4bytes_wait_ack(0xFF, 0xFF, 0xFF, 0xFF);
    return false;
}

int32_t TSTM32_Flasher::read_flash_size() {
    const uint32_t address = FlashSizeWordAddress(fpid);
    if (address == 0) return 0;
    fTimeout = fTimeouts.ReadAck;
    const bool sent =
        send_1byte_wait_ack(kCmdRead) == 0 &&
        send_4bytes_wait_ack(address >> 24, address >> 16, address >> 8, address) == 0 &&
        send_1byte_wait_ack(1) == 0;  // two bytes
    if (!sent) {
        // A refusal leaves the boot loader waiting for a command; silence may not.
        if (fRx[0] != kNack) resync();
        return 0;
    }
    if (!wait_input(2, fTimeouts.ReadData)) return 0;
    const int32_t kib = fRx[0] | fRx[1] << 8;
    return kib == 0xFFFF ? 0 : kib;
}

void TSTM32_Flasher::read_flash_start(const std::vector<uint8_t>& aImage) {
    fFlashBefore = fcUnknown;
    fTimeout = fTimeouts.ReadAck;
    const bool sent = send_1byte_wait_ack(kCmdRead) == 0 &&
                      send_4bytes_wait_ack(0x08, 0x00, 0x00, 0x00) == 0 &&  // the flash base
                      send_1byte_wait_ack(kProbeBytes - 1) == 0;
    if (!sent) {
        // A refusal (read protection) leaves the boot loader waiting for a command; silence
        // may not.
        if (fRx[0] != kNack) resync();
        return;
    }
    if (!wait_input(kProbeBytes, fTimeouts.ReadData)) return;
    const auto begin = fRx.begin(), end = fRx.begin() + kProbeBytes;
    const size_t same = std::min<size_t>(kProbeBytes, aImage.size());
    if (std::all_of(begin, end, [](uint8_t b) { return b == 0xFF; }))
        fFlashBefore = fcErased;
    else if (std::equal(aImage.begin(), aImage.begin() + static_cast<long>(same), begin))
        fFlashBefore = fcImage;
    else
        fFlashBefore = fcOther;
}

int TSTM32_Flasher::erase() {
    fTimeout = fTimeouts.Erase;
    if (fext_erase != 1 && fext_erase != 2) return 1;
    if (send_1byte_wait_ack(fext_erase == 1 ? kCmdErase : kCmdExtErase) != 0) {
        ack_error("erase");
        if (fRx[0] == kNack && read_protected())
            writeln(
                "The chip is read-protected: its boot loader refuses to erase, write and read "
                "until the protection is removed, which erases the whole chip.");
        return 1;
    }
    // Global erase (0xFF 0x00) or extended mass erase (0xFF 0xFF 0x00).
    fEraseSent = true;
    const int r = fext_erase == 1 ? send_1byte_wait_ack(0xFF) : send_2bytes_wait_ack(0xFF, 0xFF);
    if (r != 0) {
        fEraseSent = fRx[0] != kNack;  // refused: nothing was erased
        writeln("Erase failed");
        return 1;
    }
    fErased = true;
    writeln("Erase complete OK");
    return 0;
}

int TSTM32_Flasher::flash(const std::vector<uint8_t>& aFile) {
    const auto size = static_cast<int32_t>(aFile.size());
    const int32_t blocks = (size + kBlockSize - 1) / kBlockSize;
    uint32_t address = kFlashBase;
    for (int32_t block = 0; block < blocks; ++block) {
        fTimeout = fTimeouts.Command;
        if (send_1byte_wait_ack(kCmdWrite) != 0) {
            ack_error("Sending write command");
            return 1;
        }
        if (send_4bytes_wait_ack(address >> 24, address >> 16, address >> 8, address) != 0) {
            ack_error("Sending address");
            return 1;
        }
        // The last block is filled up with 0xFF, the value of erased flash, so the bytes past
        // the end of the file stay as the erase left them.
        const int32_t at = block * kBlockSize;
        const int32_t n = std::min(kBlockSize, size - at);
        fTx[0] = kBlockSize - 1;
        std::copy_n(aFile.begin() + at, n, fTx.begin() + 1);
        std::fill(fTx.begin() + 1 + n, fTx.begin() + 1 + kBlockSize, 0xFF);
        uint8_t x = fTx[0];
        for (int32_t i = 1; i <= kBlockSize; ++i)
            x ^= fTx[i];
        fTx[kBlockSize + 1] = x;
        if (fComPort.Write(fTx.data(), kBlockSize + 2) < kBlockSize + 2)
            writeln("Buffer truncated");
        if (wait_ack() != 0) {
            ack_error("Write");
            return 1;
        }
        address += kBlockSize;
        fBytesWritten = std::min(size, at + kBlockSize);
        progress(block, blocks);
    }
    progress(blocks, blocks);
    return 0;
}

int TSTM32_Flasher::device_read(std::vector<uint8_t>& aMS) {
    const auto size = static_cast<uint32_t>(aMS.size());
    const auto blocks = static_cast<int32_t>((size + kBlockSize - 1) / kBlockSize);
    pause(fTimeouts.ReadPause);
    uint32_t address = kFlashBase;
    const uint32_t end = kFlashBase + size;
    while (address < end) {
        fTimeout = fTimeouts.ReadAck;
        if (send_1byte_wait_ack(kCmdRead) != 0) {
            ack_error("Sending read command");
            return 1;
        }
        if (send_4bytes_wait_ack(address >> 24, address >> 16, address >> 8, address) != 0) {
            ack_error("Sending read address");
            return 1;
        }
        const auto count = static_cast<int32_t>(std::min<uint32_t>(kBlockSize, end - address));
        if (send_1byte_wait_ack(static_cast<uint8_t>(count - 1)) != 0) {
            ack_error("Sending number of bytes to read command");
            return 1;
        }
        wait_input(count, fTimeouts.ReadData);
        if (fbytes_read != count) {
            writeln("Read bytes error");
            return 1;
        }
        std::copy_n(fRx.begin(), count, aMS.begin() + (address - kFlashBase));
        address += static_cast<uint32_t>(fbytes_read);
        progress(static_cast<int32_t>((address - kFlashBase) / kBlockSize), blocks);
    }
    progress(blocks, blocks);
    return 0;
}

int TSTM32_Flasher::execute() {
    fTimeout = fTimeouts.Command;
    if (send_1byte_wait_ack(kCmdGo) != 0) {
        ack_error("Go command");
        return 1;
    }
    if (send_4bytes_wait_ack(0x08, 0x00, 0x00, 0x00) != 0) {
        writeln("Start failed");
        return 1;
    }
    writeln("Started OK");
    return 0;
}

int TSTM32_Flasher::write_unprotect() {
    fTimeout = fTimeouts.Command;
    if (send_1byte_wait_ack(kCmdWriteUnprotect) != 0) return 1;
    // The second ACK comes once the option bytes are written; it is waited for, not expected
    // to be there already.
    if (wait_ack() != 0) return 1;
    pause(fTimeouts.UnprotectReset);
    return autobaud();
}

int TSTM32_Flasher::read_unprotect() {
    fTimeout = fTimeouts.Command;
    if (send_1byte_wait_ack(kCmdReadoutUnprotect) != 0) return 1;
    // Removing the read protection erases the flash before the second ACK.
    fTimeout = fTimeouts.UnprotectErase + fTimeouts.Command;
    if (wait_ack() != 0) return 1;
    pause(fTimeouts.UnprotectReset);
    return autobaud();
}

// --- the whole job -----------------------------------------------------------------------------

bool TSTM32_Flasher::FlashFile(const std::string& aFileName, bool Verify) {
    fFailure = ffNone;
    fFailedStep.clear();
    fActivated = fEraseSent = fErased = fStartedAgain = false;
    fBytesWritten = 0;
    fFlashBefore = fcUnknown;
    const std::vector<uint8_t> image = ReadImage(aFileName);  // throws before anything is sent
    const auto size = static_cast<int32_t>(image.size());
    fFileSize = size;
    bool ok = false;
    [&] {
        if (autobaud() != 0) return fail_at("activation");
        fActivated = true;
        writeln("File " + std::filesystem::path(aFileName).filename().string());
        writeln("File size is " + std::to_string(size));
        // What the flash holds before this run touches it, for the messages after a failure.
        read_flash_start(image);
        if (get_cmd() != 0) return fail_at("Get");
        if (get_pidvid() != 0) return fail_at("Get ID");
        bool sizeKnown = known_device(fpid);
        if (!sizeKnown) {
            // The default row's size is a guess: ask the chip itself where its family tells.
            writeln(Format("Product ID 0x%03X", static_cast<unsigned>(fpid)) +
                    " is not in the device table: reading its flash size");
            const int32_t kib = read_flash_size();
            sizeKnown = kib > 0;
            if (sizeKnown) {
                fflash_size = kib * 1024;
                writeln("Flash size: " + std::to_string(kib) + " KiB");
            } else {
                writeln("The flash size cannot be read: going on");
            }
        }
        if (sizeKnown && size > fflash_size) {
            // Written on, the image would wrap or be cut off; refuse before the erase.
            writeln("File is too large for the device: " + std::to_string(size) + " bytes, " +
                    std::to_string(fflash_size) + " bytes of flash");
            fFailure = ffFileTooLarge;
            fFailedStep = "size check";
            // Nothing was erased: the firmware that ran before the jump can run again.
            if (fStartAgain) {
                writeln("Nothing was erased: starting the firmware again");
                fStartedAgain = execute() == 0;
            }
            return;
        }
        if (erase() != 0) return fail_at("erase");
        writeln("Writting ...");
        if (flash(image) != 0) {
            writeln("Error writing file " + aFileName);
            return fail_at("write");
        }
        writeln("File is written OK");
        ok = true;
        if (Verify) {
            progress(0, 100);
            std::vector<uint8_t> back(image.size());
            writeln("Verification ...");
            pause(fTimeouts.ReadPause);
            if (device_read(back) != 0) {
                writeln("Verification failed. Please turn the device off and on.");
                ok = false;
                return fail_at("read-back");
            }
            if (back != image) {
                writeln("Verify error !!!");
                ok = false;
                return fail_at("verify");
            }
            writeln("Verify OK");
        }
        ok = execute() == 0;
        if (!ok) fail_at("Go");
    }();
    if (fCancelled.load()) {
        ok = false;
        fFailure = ffCancelled;
        if (fOnWriteln) fOnWriteln(this, "Cancelled");
    }
    return ok;
}

std::string TSTM32_Flasher::StateText() const {
    if (!fActivated) return {};
    if (fStartedAgain) return "This update changed nothing: the supply runs its firmware again.";
    // The boot loader is reached only while the supply stays on: without working firmware a
    // supply switched off starts nothing and cannot be sent into its boot loader again.
    const std::string keepOn = " Do not switch it off until an update has finished.";
    if (!fEraseSent) {
        const std::string waits = "The supply waits in its boot loader; ";
        switch (fFlashBefore) {
            case fcErased:
                return waits + "its flash is erased: it has no working firmware now." + keepOn;
            case fcImage:
                return waits +
                       "this update did not change its flash, which starts like the file but "
                       "may not hold all of it." +
                       keepOn;
            case fcOther:
                return waits +
                       "this update did not change its flash, which does not start like the "
                       "file (it may hold the old firmware or what an unfinished update left)." +
                       keepOn;
            case fcUnknown:
                break;
        }
        return waits +
               "this update did not change its flash, but what the flash holds is not "
               "known." +
               keepOn;
    }
    if (!fErased)
        return "The erase of the chip was started: the supply has no working firmware now." +
               keepOn;
    if (fBytesWritten == 0)
        return "The chip was erased and nothing was written: the supply has no working firmware "
               "now." +
               keepOn;
    if (fBytesWritten < fFileSize)
        return "The chip was erased and " + std::to_string(fBytesWritten) + " of " +
               std::to_string(fFileSize) +
               " bytes were written: the supply has no working firmware now." + keepOn;
    if (fFailedStep == "verify")
        return "The whole file (" + std::to_string(fFileSize) +
               " bytes) was written, but the flash read back differs from it: the supply may "
               "have no working firmware." +
               keepOn;
    return "The whole file (" + std::to_string(fFileSize) +
           " bytes) was written but not started: the supply waits in its boot loader.";
}
