#pragma once
// Decoding of Modbus replies into the data that completion handlers receive. Pure functions over
// the received bytes: nothing here reads past the reply's length.

#include <cstdint>

#include "link/kr_types.h"

// Data of one successful reply. Ptr() is what a completion handler gets as AData: a TKRRegisters,
// a TKRBytes, a single status byte, or null for replies that carry nothing.
struct TMBReplyData {
    enum TKind : uint8_t { rdNone, rdRegisters, rdBytes, rdStatus };
    TKind Kind = rdNone;
    TKRRegisters Registers;
    TKRBytes Bytes;
    uint8_t Status = 0;

    const void* Ptr() const;
};

// The binary body of a reply (address, function, data) without the TCP prefix, the checksum or
// the ASCII text form. ASCII pairs are converted with HexPairToByte.
struct TMBReplyBody {
    TKRBuffer Bytes{};
    int32_t Length = 0;
};

// Extracts the body of a reply of ALength received bytes. Fails with -3 (mbePacketLength) when the
// reply cannot hold an address and a function code in its framing, or, for an exception reply,
// the exception code.
int32_t ExtractReplyBody(TMBType AType, const uint8_t* AReply, int32_t ALength,
                         TMBReplyBody& ABody);

// Decodes the data of a checked, non-exception reply body for the request's function code and
// frame type. Fails with -7 (mbeDataLength) when the body is shorter than its function needs or
// its byte count runs past the bytes received.
int32_t DecodeReplyBody(TMBType AType, uint8_t AFunc, const TMBReplyBody& ABody,
                        TMBReplyData& AData);

// Checks a reply against its request (length, checksum, TCP transaction byte when ACheckID,
// function code, exception bit) and decodes it. Returns 0 with AData filled, a positive device
// exception code, or a negative processing error. A request of an unknown frame type gives 0 and
// no data.
int32_t CheckAndDecodeReply(const TMBPack& ARequest, bool ACheckID, const TKRBuffer& AReply,
                            int32_t ALength, TMBReplyData& AData);
