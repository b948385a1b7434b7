#pragma once
// TSTM32_Flasher: the host side of the STM32 USART boot loader (ST's AN3155) on an open
// TKRCOMPort. It writes a firmware image from the flash base, reads it back for verification and
// starts it, reporting every step as a line of text (OnWriteln) and its progress (OnProgress).
//
//     port.SetBaudRate(38400); port.SetParity(2); port.Open();
//     TSTM32_Flasher f(port);
//     f.SetOnWriteln([](TSTM32_Flasher*, const std::string& s) { ... });
//     bool ok = f.FlashFile("/path/image.bin", true);
//
// The port must read without blocking (the TKRCOMPort default). Waits block on the port's
// descriptor with the remaining time-out, so a byte is taken the moment it arrives. The client
// runs on one thread; only Cancel may be called from another one. The steps are public and can
// be run one by one; each returns 0 on success and 1 on failure.

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class TKRCOMPort;
class TSTM32_Flasher;

using TFlasherMessage = std::function<void(TSTM32_Flasher* Sender, const std::string& aMessage)>;
using TFlasherProgress = std::function<void(TSTM32_Flasher* Sender, int32_t Current, int32_t Max)>;

// Time-outs and pauses in milliseconds; tests shorten them.
struct TFlasherTimeouts {
    uint32_t Activation = 2000;  // activation, Get, Get ID, each write block, Go
    uint32_t Command = 2000;
    uint32_t Erase = 10000;
    uint32_t ReadAck = 200;   // each acknowledge of the read-back
    uint32_t ReadData = 200;  // each block's data
    uint32_t ReadPause = 50;  // pause before the read-back
    // Silence that ends the reply of Get and Get ID before its announced length has arrived.
    uint32_t ReplyGap = 20;
    // Wait for an answer while re-synchronising with a boot loader left mid-command.
    uint32_t ResyncGap = 100;
    uint32_t UnprotectReset = 2000;  // chip reset after Write/Readout Unprotect
    uint32_t UnprotectErase = 1000;  // Readout Unprotect's flash erase
};

// A file that cannot be used: missing, unreadable or empty. Raised before anything is sent.
class EFlasherFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the first words of the flash held when FlashFile found the boot loader.
enum TFlashContent {
    fcUnknown = 0,  // not read (refused, no answer, or FlashFile not run)
    fcErased,       // all 0xFF
    fcImage,        // the same as the start of the file
    fcOther,        // something else: the old firmware, or an unfinished update
};

// Why FlashFile returned false.
enum TFlasherFailure {
    ffNone = 0,
    ffFileTooLarge,  // larger than the identified chip's flash; nothing erased
    ffStep,          // a boot loader step failed (FailedStep names it)
    ffCancelled,
};

class TSTM32_Flasher {
public:
    static constexpr uint8_t kAck = 0x79;
    static constexpr uint8_t kNack = 0x1F;
    static constexpr uint32_t kFlashBase = 0x08000000;
    static constexpr int32_t kBlockSize = 256;
    // The largest flash of any chip in the device table: a larger file fits no chip this
    // client knows, and is refused before anything is sent.
    static int32_t LargestKnownFlash();
    // Bytes from the flash base read before the erase: the vector table's first words.
    static constexpr int32_t kProbeBytes = 16;

    explicit TSTM32_Flasher(TKRCOMPort& aComPort, TFlasherTimeouts aTimeouts = {});
    ~TSTM32_Flasher();
    TSTM32_Flasher(const TSTM32_Flasher&) = delete;
    TSTM32_Flasher& operator=(const TSTM32_Flasher&) = delete;

    // The whole job: activation, Get, Get ID, erase, write, optional read-back and compare, Go.
    // Throws EFlasherFileError (nothing sent) for a file that cannot be read or is empty.
    bool FlashFile(const std::string& aFileName, bool Verify);

    int autobaud();
    int get_cmd();
    int get_pidvid();
    int erase();
    int flash(const std::vector<uint8_t>& aFile);
    // Reads aMS.size() bytes from the flash base into aMS.
    int device_read(std::vector<uint8_t>& aMS);
    int execute();
    int write_unprotect();
    int read_unprotect();

    // The whole image file; EFlasherFileError for a file that is missing, unreadable, empty or
    // larger than LargestKnownFlash.
    static std::vector<uint8_t> ReadImage(const std::string& aFileName);

    // The firmware ran until the jump into the boot loader: a refusal before the erase starts
    // it again (Go) instead of leaving the supply in its boot loader.
    void SetStartAgainWhenRefused(bool aOn) { fStartAgain = aOn; }
    // The last FlashFile refused the file before the erase and started the old firmware again.
    bool StartedAgain() const { return fStartedAgain; }

    // Device table look-up; stores the row's flash size in FlashSize.
    std::string get_device_string(int32_t pid);
    // True when pid has its own row in the device table.
    static bool known_device(int32_t pid);

    int send_1byte_wait_ack(uint8_t byte1);
    int send_2bytes_wait_ack(uint8_t byte1, uint8_t byte2);
    int send_3bytes_wait_ack(uint8_t byte1, uint8_t byte2, uint8_t byte3);
    int send_4bytes_wait_ack(uint8_t byte1, uint8_t byte2, uint8_t byte3, uint8_t byte4);
    void ack_error(const std::string& caller);

    int32_t BytesRead() const { return fbytes_read; }
    int32_t ExtErase() const { return fext_erase; }
    int32_t FlashSize() const { return fflash_size; }
    int32_t PID() const { return fpid; }
    const std::vector<uint8_t>& Received() const { return fRx; }

    void SetOnWriteln(TFlasherMessage aHandler) { fOnWriteln = std::move(aHandler); }
    void SetOnProgress(TFlasherProgress aHandler) { fOnProgress = std::move(aHandler); }

    // From any thread: ends the current wait at once and makes every later step fail.
    void Cancel();
    bool Cancelled() const { return fCancelled.load(); }

    // After FlashFile returned false: why, and the step that failed ("activation", "Get",
    // "Get ID", "erase", "write", "read-back", "verify", "Go").
    TFlasherFailure Failure() const { return fFailure; }
    const std::string& FailedStep() const { return fFailedStep; }

    // How far the last FlashFile came: the boot loader answered, the erase was sent, the erase
    // was acknowledged, the bytes of the file acknowledged by the write.
    bool Activated() const { return fActivated; }
    bool EraseSent() const { return fEraseSent; }
    bool Erased() const { return fErased; }
    int32_t BytesWritten() const { return fBytesWritten; }
    // The first words of the flash before this run erased anything.
    TFlashContent FlashBefore() const { return fFlashBefore; }
    // The state of the chip after a FlashFile that did not end well, as a sentence for the user
    // (empty when the boot loader never answered). It claims only what this run did or read.
    std::string StateText() const;

private:
    int wait_ack();
    // Like wait_ack, but quiet, and 0 on a NACK too (fRx[0] tells which came).
    int wait_reply();
    // Ends a frame an earlier run left unfinished and finds the start of the next command; 0
    // when the boot loader answered and confirm_sync holds.
    int resync();
    // After an answer to an activation byte or a probe: makes sure the boot loader reads the
    // next frame as a command (the answer may have been a late one); 0 when it does.
    int confirm_sync();
    // Takes every byte until the line stays quiet for ReplyGap ms after the last one, or aTimeout
    // ms pass without any; the first ones go to fRx. Returns the count, aLast the last byte.
    int32_t read_answer(uint32_t aTimeout, uint8_t& aLast);
    // "The boot loader was already active", once per activation.
    void told_active();
    // Reads the first words of the flash into FlashBefore (fcUnknown when they cannot be read).
    void read_flash_start(const std::vector<uint8_t>& aImage);
    // Reads and drops input until the line stays quiet for aQuiet ms.
    void drain(uint32_t aQuiet);
    // The chip's own flash size word in KiB, where its family has one; 0 when it is unknown.
    int32_t read_flash_size();
    // After a refused erase: whether the boot loader refuses reading too (read protection).
    bool read_protected();
    void writeln(const std::string& aText);
    void progress(int32_t aCurrent, int32_t aMax);
    bool send(const uint8_t* aData, int32_t aCount);
    // Waits until at least aCount bytes are waiting, aTimeout ms passed or the client was
    // cancelled; true when they are there.
    bool wait_input(int32_t aCount, uint32_t aTimeout);
    // Reads the reply of Get or Get ID: its length byte announces the rest (and an ACK ends it).
    void read_reply();
    void pause(uint32_t aMs);
    void fail_at(const char* aStep);

    TKRCOMPort& fComPort;
    const TFlasherTimeouts fTimeouts;
    int32_t fbytes_read = 0;
    int32_t fext_erase = 0;
    int32_t fflash_size = 0;
    int32_t fpid = 0;
    uint32_t fTimeout = 100;
    TFlasherMessage fOnWriteln;
    TFlasherProgress fOnProgress;
    std::vector<uint8_t> fTx;  // 258 bytes
    std::vector<uint8_t> fRx;  // 256 bytes; fRx[0] is also the last byte seen by wait_ack
    std::atomic<bool> fCancelled{false};
    int fCancelFd = -1;
    bool fActivated = false;
    bool fEraseSent = false;
    bool fErased = false;
    int32_t fBytesWritten = 0;
    int32_t fFileSize = 0;
    TFlashContent fFlashBefore = fcUnknown;
    bool fToldActive = false;
    TFlasherFailure fFailure = ffNone;
    std::string fFailedStep;
    bool fStartAgain = false;
    bool fStartedAgain = false;
};
