#pragma once
// Recognising a complete Modbus reply from the bytes received so far, before the expected
// length has arrived: a reply that is shorter than the expected one (an exception reply) or
// whose header announces its own length (Modbus TCP). The connectors call these on their worker
// thread after each read, so a short reply ends the read at once instead of after a time-out.

#include <cstdint>

#include "link/kr_types.h"

// True when the ALength bytes at AData form a whole reply of the framing:
//  RTU:   an exception frame at the start (address, function | 0x80, code, valid CRC);
//  TCP:   the 6-byte MBAP prefix and as many bytes as its length field announces;
//  ASCII: the text ends with CR LF.
bool ModbusRtuReplyComplete(const uint8_t* AData, int32_t ALength);
bool ModbusTcpReplyComplete(const uint8_t* AData, int32_t ALength);
bool ModbusAsciiReplyComplete(const uint8_t* AData, int32_t ALength);

// The test of a framing; null for an unknown frame type.
TKRReplyComplete ModbusReplyComplete(TMBType AType);
// Length of the shortest whole reply that test recognises at a fixed length (the RTU exception
// frame, 5 bytes); 0 where a reply's length is not fixed.
int32_t ModbusShortestReply(TMBType AType);
