#pragma once
// Byte-level types shared by the whole Modbus link: frame buffers, register and byte arrays,
// the frame type selector and the request record.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// Every frame is built in, sent from and received into one such buffer.
using TKRBuffer = std::array<uint8_t, 1024>;
using PKRBuffer = TKRBuffer*;
using TKRRegisters = std::vector<uint16_t>;
using TKRBytes = std::vector<uint8_t>;
// Tells whether the ALength bytes received so far form a whole reply (see modbus_reply_end.h).
using TKRReplyComplete = bool (*)(const uint8_t* AData, int32_t ALength);

// Frame type of a request. Unscoped on purpose: callers may pass any byte value, and builders
// answer 0 for values outside the three known types.
enum TMBType : uint8_t { mbtRTU = 0, mbtTCP = 1, mbtASCII = 2 };

// Completion handler of every request. AError: 0 success, positive a device exception code,
// negative a link error. AData points at decoded data (for register reads a TKRRegisters whose
// entry i is register Start + i) and is valid only while the handler runs.
using TMBMCallBack = std::function<void(int32_t AError, const void* AData)>;

// One request as it travels through the Modbus layer. Owned by the link from acceptance until its
// completion handler has returned.
struct TMBPack {
    uint16_t Addres = 0;  // slave (unit) address; only the low byte goes on the wire
    TMBType MBType = mbtRTU;
    uint8_t MBFunc = 0;
    uint16_t Start = 0;
    uint16_t Count = 0;  // coils/inputs/registers, or data bytes of a user function
    TKRRegisters Data;   // values to write (functions 6 and 16)
    TKRBytes DataBt;     // coil bytes to write (functions 5 and 15)
    TMBMCallBack CallBack;
    PKRBuffer pBuf = nullptr;  // caller-built raw frame, used when bLen != 0
    uint8_t bLen = 0;
    uint8_t bRLen = 0;            // expected reply length of the raw frame
    uint8_t id = 0;               // transaction counter stamped into a TCP frame
    const void* uData = nullptr;  // data bytes of a user function
    // Sent again by the link after each good reply until it ends (see TKRConnector::Send);
    // the handler then runs once per reply and a last time with the result that ended it.
    bool Repeat = false;
};
