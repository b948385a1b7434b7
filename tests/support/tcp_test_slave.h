#pragma once
// A Modbus slave on 127.0.0.1 (ephemeral port) for link tests. It runs on its own thread,
// answers MBAP (Modbus TCP) and RTU-over-TCP requests from a register image, and can be told to
// misbehave request by request: stay silent, split or pad a reply, answer with an exception, a
// wrong transaction byte or a bad CRC, or close the connection.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

namespace testsupport {

enum class TSlaveAction {
    Answer,     // normal reply
    Silent,     // read the request, send nothing
    Split,      // send the first SplitAt bytes now, the rest on ReleaseSplit()
    Stale,      // send the reply followed by the stale bytes, in one segment
    Exception,  // exception reply with ExceptionCode
    WrongId,    // reply with transaction byte 0 inverted (MBAP)
    BadCrc,     // reply with its two CRC bytes swapped (RTU); MBAP: like WrongId
    Close,      // close the connection instead of replying
};

class TTcpTestSlave {
public:
    TTcpTestSlave();
    ~TTcpTestSlave();
    TTcpTestSlave(const TTcpTestSlave&) = delete;
    TTcpTestSlave& operator=(const TTcpTestSlave&) = delete;

    uint16_t Port() const { return FPort; }

    // Action for requests without a queued one (Answer at start).
    void SetDefaultAction(TSlaveAction AAction);
    // Actions for the next requests, in order; then the default applies again.
    void QueueActions(std::initializer_list<TSlaveAction> AActions);
    void SetExceptionCode(uint8_t ACode);
    void SetStaleBytes(std::vector<uint8_t> ABytes);
    void SetSplitAt(size_t ABytes);
    // Sends the held second segment of a split reply.
    void ReleaseSplit();
    // Stops (false) or resumes reading requests; with a small receive buffer a client's writes
    // then block.
    void SetReading(bool AReading);
    // Receive buffer for connections accepted from now on (0: system default).
    void SetReceiveBufferSize(int ABytes);
    // Closes the current connection now.
    void DropClient();

    // Register image: register i starts as i.
    void SetRegister(uint16_t AReg, uint16_t AValue);
    uint16_t Register(uint16_t AReg) const;

    std::vector<std::vector<uint8_t>> Requests() const;
    size_t RequestCount() const;
    size_t Connections() const;
    // Condition waits of the test thread (bounded by ATimeoutMs).
    bool WaitForRequests(size_t ACount, int ATimeoutMs) const;
    bool WaitForConnections(size_t ACount, int ATimeoutMs) const;
    bool WaitForSplitSent(int ATimeoutMs) const;
    // The first segment of a split reply has been written and the rest is held.
    bool WaitForSplitHeld(int ATimeoutMs) const;

    // A loopback port on which nothing listens (for refused connections).
    static uint16_t UnusedPort();

private:
    void Run();
    void Wake();
    void Accept();
    void ReadClient();
    void CloseClient();
    void HandleFrame(const std::vector<uint8_t>& AFrame);
    std::vector<uint8_t> BuildReply(const std::vector<uint8_t>& AFrame, bool& ATcp);
    void SendAll(const std::vector<uint8_t>& ABytes);

    int FListen = -1;
    int FClient = -1;
    int FWake = -1;
    uint16_t FPort = 0;
    std::thread FThread;

    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    bool FStop = false;
    bool FReading = true;
    bool FDropRequested = false;
    bool FReleaseSplit = false;
    bool FSplitSent = false;
    bool FSplitHeld = false;
    int FRcvBuf = 0;
    TSlaveAction FDefault = TSlaveAction::Answer;
    std::deque<TSlaveAction> FQueued;
    uint8_t FExceptionCode = 2;
    std::vector<uint8_t> FStale = {0xDE, 0xAD};
    size_t FSplitAt = 5;
    std::vector<uint8_t> FHeldSegment;
    std::vector<uint16_t> FRegisters;
    std::vector<std::vector<uint8_t>> FRequests;
    size_t FConnections = 0;
    std::vector<uint8_t> FInput;  // slave thread only
};

}  // namespace testsupport
