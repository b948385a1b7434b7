#pragma once
// TKRCOMPort: a thin synchronous wrapper of one serial port (a tty) over POSIX termios.
//
// The properties keep the Windows communications values (parity 0..4, stop bits 0..2, DTR/RTS
// control modes, the five time-out fields); Open translates them into termios settings. Settings
// take effect at the next Open. The port keeps its own record of what it applied (Applied()),
// because some ttys (pseudo-terminals) accept settings such as parity without keeping them.
//
// Linux meaning of the fields without a direct termios equivalent:
//  - InputBuffer/OutputBuffer: the kernel's queues have fixed sizes; the values must be positive
//    and the buffer step discards whatever waits in both queues.
//  - OutDSRFlow, DSRSensitivity, TxContinueOnXoff, EventChar: recorded, no effect.
//  - ControlDTR/ControlRTS: 0 drops the line, 1 and 3 raise it, 2 raises it (DTR) or selects
//    RTS/CTS hardware handshake (RTS, as OutCTSFlow does). Lines a tty cannot drive (ptys) are
//    left as they are.
//  - ParityReplace: a byte with a parity error reads as 0 (the kernel's replacement), so only a
//    ParityReplaceChar of 0 can be honoured.
//  - DiscardNull: Read drops zero bytes.
//  - Read time-outs follow the Windows rules: interval all-ones with both totals 0 (the value
//    after creation) returns at once with what has arrived; otherwise a read waits for Count
//    bytes at most Multiplier * Count + Constant ms in total (0 = no total limit) and at most
//    Interval ms between bytes (0 = no interval limit).
//  - Write time-outs bound a write to Multiplier * Count + Constant ms (both 0 = no limit); a
//    write that runs out of time returns the bytes written so far.
//
// Exclusive use: the port is opened with TIOCEXCL and an exclusive flock, so a second opener
// (also one with root rights, which TIOCEXCL alone does not stop) fails at step 1.
//
// Threads: property setters and getters may be called from any thread (a lock guards them);
// Open, Close, Read, Write and InputCount must not run on two threads at once.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class TKRCOMPort;
using TKRCOMNotifyEvent = std::function<void(TKRCOMPort* Sender)>;

// What the last successful Open applied to the line.
struct TKRCOMLineSettings {
    int32_t BaudRate = 0;
    int32_t DataBits = 0;
    int32_t Parity = 0;
    int32_t StopBits = 0;
    bool HardwareFlow = false;  // CRTSCTS
    bool XonXoffOut = false;    // IXON
    bool XonXoffIn = false;     // IXOFF
    bool ParityCheck = false;   // INPCK
};

class TKRCOMPort {
public:
    // LastError values: the step of Open that failed.
    enum : int32_t { leNone = 0, leOpen = 1, leSettings = 3, leTimeouts = 4, leBuffers = 9 };
    static constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

    TKRCOMPort();
    ~TKRCOMPort();
    TKRCOMPort(const TKRCOMPort&) = delete;
    TKRCOMPort& operator=(const TKRCOMPort&) = delete;

    // Opens and configures the port; true when connected (also when it already was). On failure
    // LastError names the step and the port stays closed.
    bool Open();
    void Close();
    // Bytes read into Buffer (at most Count), 0 on failure or when nothing arrived in time.
    int32_t Read(void* Buffer, int32_t Count);
    // Bytes written (at most Count), 0 on failure.
    int32_t Write(const void* Buffer, int32_t Count);
    // Bytes waiting in the input queue, 0 on failure.
    int32_t InputCount() const;
    // Waits up to ATimeout ms until input arrives or AWakeFd (when >= 0) becomes readable.
    // Returns true when input may be waiting. A port that reports a hang-up without data does not
    // end the wait early, so callers never spin on a dead line.
    bool WaitForInput(int32_t ATimeout, int AWakeFd = -1) const;

    bool Connected() const { return FConnected.load(); }
    int Handle() const { return FHandle.load(); }
    int32_t LastError() const { return FLastError.load(); }
    // errno of the last failed open of the device: EBUSY also when another program holds the
    // exclusive lock; 0 when the open itself succeeded.
    int OpenErrno() const { return FOpenErrno.load(); }
    TKRCOMLineSettings Applied() const;

    // Port name: a kernel name ("ttyUSB0", opened in /dev) or a path ("/dev/pts/5").
    std::string Port() const;
    void SetPort(const std::string& Value);

    // 0 none, 1 hardware (RTS handshake + CTS output flow), 2 software (XON/XOFF both ways),
    // 3 custom. Writing 3 changes nothing; other values clear the four settings first.
    int32_t FlowControl() const;
    void SetFlowControl(int32_t Value);

#define KR_COM_PROPERTY(Type, Name)              \
    Type Name() const {                          \
        std::lock_guard<std::mutex> lock(FLock); \
        return F##Name;                          \
    }                                            \
    void Set##Name(Type Value) {                 \
        std::lock_guard<std::mutex> lock(FLock); \
        F##Name = Value;                         \
    }
    KR_COM_PROPERTY(int32_t, OutputBuffer)
    KR_COM_PROPERTY(int32_t, InputBuffer)
    KR_COM_PROPERTY(char, EventChar)
    KR_COM_PROPERTY(bool, DiscardNull)
    KR_COM_PROPERTY(char, XonChar)
    KR_COM_PROPERTY(char, XoffChar)
    KR_COM_PROPERTY(bool, XonXoffOut)
    KR_COM_PROPERTY(bool, XonXoffIn)
    KR_COM_PROPERTY(bool, DSRSensitivity)
    KR_COM_PROPERTY(bool, OutDSRFlow)
    KR_COM_PROPERTY(bool, OutCTSFlow)
    KR_COM_PROPERTY(uint32_t, ControlDTR)
    KR_COM_PROPERTY(uint32_t, ControlRTS)
    KR_COM_PROPERTY(bool, TxContinueOnXoff)
    KR_COM_PROPERTY(int32_t, Parity)
    KR_COM_PROPERTY(bool, ParityCheck)
    KR_COM_PROPERTY(bool, ParityReplace)
    KR_COM_PROPERTY(char, ParityReplaceChar)
    KR_COM_PROPERTY(int32_t, StopBits)
    KR_COM_PROPERTY(int32_t, BaudRate)
    KR_COM_PROPERTY(int32_t, DataBits)
    KR_COM_PROPERTY(uint32_t, ReadTotalTimeoutMultiplier)
    KR_COM_PROPERTY(uint32_t, ReadTotalTimeoutConstant)
    KR_COM_PROPERTY(uint32_t, WriteTotalTimeoutMultiplier)
    KR_COM_PROPERTY(uint32_t, WriteTotalTimeoutConstant)
    KR_COM_PROPERTY(uint32_t, ReadIntervalTimeout)
    KR_COM_PROPERTY(TKRCOMNotifyEvent, OnConnected)
#undef KR_COM_PROPERTY

    // Discards bytes waiting in the input queue (a late reply to an earlier request).
    void PurgeInput();

    struct TSnapshot;  // the settings one Open works with

private:
    TSnapshot Snapshot() const;
    void Fail(int fd, int32_t AStep);

    mutable std::mutex FLock;  // guards the settings below and FApplied
    std::atomic<int> FHandle{-1};
    std::string FPort = "COM1";
    std::atomic<bool> FConnected{false};
    std::atomic<int32_t> FLastError{0};
    std::atomic<int> FOpenErrno{0};
    int32_t FOutputBuffer = 1024;
    int32_t FInputBuffer = 1024;
    char FEventChar = 0;
    bool FDiscardNull = false;
    char FXonChar = 17;
    char FXoffChar = 19;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FOutDSRFlow = false;
    bool FOutCTSFlow = false;
    uint32_t FControlDTR = 0;
    uint32_t FControlRTS = 0;
    bool FTxContinueOnXoff = false;
    int32_t FParity = 0;
    bool FParityCheck = false;
    bool FParityReplace = false;
    char FParityReplaceChar = 0;
    int32_t FStopBits = 0;
    int32_t FBaudRate = 4800;
    int32_t FDataBits = 8;
    uint32_t FReadTotalTimeoutMultiplier = 0;
    uint32_t FReadTotalTimeoutConstant = 0;
    uint32_t FWriteTotalTimeoutMultiplier = 100;
    uint32_t FWriteTotalTimeoutConstant = 1000;
    uint32_t FReadIntervalTimeout = kMaxDword;
    TKRCOMNotifyEvent FOnConnected;
    TKRCOMLineSettings FApplied;
    // Time-outs in force since the last Open (used by Read and Write).
    uint32_t FOpenReadInterval = kMaxDword, FOpenReadMult = 0, FOpenReadConst = 0;
    uint32_t FOpenWriteMult = 0, FOpenWriteConst = 0;
    bool FOpenDiscardNull = false;
};
