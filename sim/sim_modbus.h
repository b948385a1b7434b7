#pragma once
// The slave side of Modbus: executing a request PDU against the simulated device, and cutting
// requests out of an RTU byte stream or a Modbus TCP stream. Pure byte work, no descriptors.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class SimDevice;

// A write the device accepted, as the master sent it (function 6 or 16).
struct SimWrite {
    uint8_t function = 0;
    uint16_t start = 0;
    std::vector<uint16_t> values;
};

struct SimPduOutcome {
    std::vector<uint8_t> reply;     // reply PDU, function code first; empty: no reply
    std::optional<SimWrite> write;  // set when a write was accepted
    bool bootJump = false;          // the firmware left for the boot loader (no reply)
};

// Executes one request PDU (function code first). Functions 3, 6 and 16 are served; any other
// answers exception 1, a bad count or length exception 3, an address outside the map 2.
SimPduOutcome SimExecutePdu(SimDevice& dev, const uint8_t* pdu, size_t len, uint32_t nowMs);

std::vector<uint8_t> SimExceptionPdu(uint8_t function, uint8_t code);

// Address, PDU and CRC (low byte first). With corruptCrc the CRC bytes are inverted.
std::vector<uint8_t> SimRtuFrame(uint8_t address, const std::vector<uint8_t>& pdu,
                                 bool corruptCrc = false);

// Frames of an RTU byte stream. A request of a known function ends at its own length; anything
// else, and a request whose CRC does not check at that length, ends at a silence on the line.
// A frame whose CRC fails there too is dropped, as a slave drops noise.
class SimRtuFramer {
public:
    void Push(const uint8_t* data, size_t len);
    // The next complete frame (address and PDU, CRC removed), if one can be cut without waiting.
    std::optional<std::vector<uint8_t>> Next();
    // The line has been silent for the inter-frame gap: ends the pending bytes as one frame.
    std::optional<std::vector<uint8_t>> Silence();
    bool HasPending() const { return !buf_.empty(); }
    void Clear();

private:
    std::vector<uint8_t> buf_;
    bool untilSilence_ = false;  // the length rule failed; the frame ends at the next silence
};

struct SimTcpRequest {
    uint16_t transaction = 0;
    uint16_t protocol = 0;
    uint8_t unit = 0;
    std::vector<uint8_t> pdu;
};

// Requests of a Modbus TCP stream (MBAP header: transaction, protocol, length, unit).
class SimTcpFramer {
public:
    enum Result { needMore, request, broken };
    void Push(const uint8_t* data, size_t len);
    // broken: the length field cannot be valid, the stream cannot be resynchronised.
    Result Next(SimTcpRequest& out);

private:
    std::vector<uint8_t> buf_;
};

std::vector<uint8_t> SimTcpFrame(uint16_t transaction, uint8_t unit,
                                 const std::vector<uint8_t>& pdu);
