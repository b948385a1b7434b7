#pragma once
// The STM32 system-memory boot loader as seen on its USART (ST application note AN3155): a byte
// stream state machine holding a flash image. Fed with the bytes received on the line, it appends
// the bytes the chip sends back. Not thread-safe; the virtual supply guards it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One exchange that fails: the nth use of a command answers one of its frames with a NACK, or
// not at all (the chip acts on the frame, its reply is lost on the line). Frame 0 is the command
// itself, 1 the frame after it (an address, Erase's code list), 2 the next (Read's count, Write's
// data). Uses are counted over the chip's life, so a retry gets past the fault.
struct SimBootFault {
    uint8_t command = 0;
    uint32_t occurrence = 1;
    uint8_t frame = 0;
    bool silent = false;
    // The chip acts on the frame, but its reply goes out only in front of the answer to the next
    // byte received: an answer that waited in the adapter until the port was opened again.
    bool late = false;
    // Frames after the command: only the first cutAfter bytes arrive, the rest of the frame as
    // the host sent it is lost (a port closed while the frame went out). 0: the whole frame.
    uint16_t cutAfter = 0;
};

struct SimBootOptions {
    uint16_t productId = 0x420;
    uint32_t flashSize = 0;  // 0: the size of the product ID's chip
    uint32_t pageSize = 0;   // 0: the page size of the product ID's chip
    int extendedErase = -1;  // -1: as the chip does (0x44 on newer boot loaders), 0 no, 1 yes
    // Faults for testing hosts, each off by default.
    int activationReply = -1;     // answer to 0x7F: -1 ACK, -2 silence, else this byte
    int getReplyLimit = -1;       // Get sends only this many bytes after its ACK (-1: all)
    uint8_t listedEraseCode = 0;  // command code listed in place of the erase command (0: real)
    int64_t corruptReadAt = -1;   // flash offset that reads back inverted
    std::vector<SimBootFault> commandFaults{};
    bool readProtected = false;  // read protection on from the start
};

// Typical STM32 flash timings, charged when the line's wire time is emulated.
inline constexpr uint64_t kSimEraseNs = 20000000;  // mass erase, or one page
inline constexpr uint64_t kSimHalfWordNs = 52500;  // programming one half-word

class SimBootRom {
public:
    static constexpr uint32_t kFlashBase = 0x08000000;
    static constexpr uint32_t kRamBase = 0x20000000;
    static constexpr uint32_t kRamSize = 0x2000;
    static constexpr uint32_t kOptionBase = 0x1FFFF800;
    static constexpr uint32_t kOptionSize = 16;
    static constexpr uint8_t kAck = 0x79;
    static constexpr uint8_t kNack = 0x1F;

    explicit SimBootRom(const SimBootOptions& options);

    // Back to the state after reset: waits for the activation byte 0x7F.
    void Reset();
    void Feed(const uint8_t* data, size_t len, std::vector<uint8_t>& out);
    // Replaces the switched exchange faults (uses counted so far stay counted).
    void SetCommandFaults(std::vector<SimBootFault> faults) {
        faults_.commandFaults = std::move(faults);
    }
    // True once after a Go command was accepted; address receives its target.
    bool TakeGo(uint32_t& address);
    // Flash time (erase, programming) spent since the last call, in nanoseconds.
    uint64_t TakeBusyNs();
    // Exchange faults that have struck so far.
    uint32_t FaultsFired() const { return fired_; }

    const std::vector<uint8_t>& Flash() const { return flash_; }
    // Loads an image from the flash base; the rest reads as erased (0xFF).
    void LoadImage(const std::vector<uint8_t>& image);
    uint16_t ProductId() const { return pid_; }
    uint32_t PageSize() const { return pageSize_; }
    bool ExtendedErase() const { return ext_; }
    bool ReadProtected() const { return readProtected_; }
    bool Activated() const { return state_ != waitActivation; }

private:
    enum State {
        waitActivation,
        command,
        readAddress,
        readCount,
        goAddress,
        writeAddress,
        writeData,
        erase,
        extErase,
        writeProtect
    };
    void Byte(uint8_t b, std::vector<uint8_t>& out);
    void Step(std::vector<uint8_t>& out);  // acts on the frame in acc_
    void Command(uint8_t cmd, std::vector<uint8_t>& out);
    bool AddressFrame(uint32_t& address) const;  // acc_ holds 4 address bytes and their XOR
    uint8_t* Memory(uint32_t address, uint32_t len, bool write);
    bool Program(uint32_t address, const uint8_t* data, uint32_t len);
    void MassErase();
    void ErasePage(uint32_t page);
    void Expect(State s, size_t n);
    // True when the bytes in acc_ complete a frame (not just the length byte of one).
    bool FrameComplete() const;
    // The length of the frame being received, as its first bytes announce it.
    size_t SentLength() const;
    // The fault for the frame just completed, or the cut of the frame being received.
    const SimBootFault* FaultNow() const;
    const SimBootFault* CutNow() const;

    uint16_t pid_;
    uint32_t pageSize_;
    bool ext_;
    uint8_t blVersion_;
    std::vector<uint8_t> flash_;
    std::vector<uint8_t> ram_;
    std::vector<uint8_t> options_;
    uint32_t sizeWordAt_ = 0;  // the flash size word's address, 0 when the family has none
    std::array<uint8_t, 2> sizeWord_{};
    bool readProtected_ = false;
    State state_ = waitActivation;
    std::vector<uint8_t> acc_;  // bytes of the current phase
    size_t need_ = 0;           // bytes the current phase still waits for
    uint32_t address_ = 0;
    uint64_t busyNs_ = 0;
    SimBootOptions faults_;
    std::array<uint32_t, 256> uses_{};  // accepted commands, by code
    uint8_t current_ = 0;               // the command being served
    uint8_t frame_ = 0;                 // its frame being received
    bool go_ = false;
    uint32_t goAddress_ = 0;
    uint32_t fired_ = 0;
    std::vector<uint8_t> held_;  // a reply held back by a late fault
    size_t lost_ = 0;            // bytes of a cut frame still to be lost
};

// Flash size and name of a product ID as the boot loader tools know them.
uint32_t SimChipFlashSize(uint16_t productId);
