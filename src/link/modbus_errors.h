#pragma once
// Texts and categories of the result codes that Modbus completion handlers receive.
//
//   0            success
//   1..255       exception code sent by the device
//   -1..-99      processing error of the link (refused request, bad checksum, short reply, ...)
//   -101..       transport failure: connector error code c delivered as -100 - c

#include <cstdint>
#include <string>

// Processing error codes of the Modbus layer.
enum TMBProcessError : int32_t {
    mbeNoConnector = -1,   // master has no connector
    mbeBadID = -2,         // TCP transaction byte differs
    mbePacketLength = -3,  // reply too short to hold its frame
    mbeCRC = -4,           // CRC or LRC wrong
    mbeFunction = -5,      // reply's function code differs
    mbeModbusLength = -6,  // request cannot be framed (reply length beyond 8 bits)
    mbeDataLength = -7,    // reply's data runs past the bytes received
    mbeQueueFull = -8,     // master's queue check
    mbeTimeout = -9,       // not produced by the link
    mbeRuntime = -10,      // request could not be sent (exception while framing or queueing)
    mbeNotActive = -11,    // connector not active
    mbeClientOff = -12,    // not produced by the link
};

// Offset of transport failures: connector error c reaches completion handlers as -(100 + c).
constexpr int32_t kMBTransportBase = -100;

// Completion code for connector error code AConnectorError.
constexpr int32_t MBTransportError(int32_t AConnectorError) {
    return kMBTransportBase - AConnectorError;
}

// Category texts.
extern const char* const kMBLevelDevice;     // "Ошибка прибора"
extern const char* const kMBLevelProcess;    // "Ошибка обработки данных"
extern const char* const kMBLevelTransport;  // "Ошибка передачи данных"

// Message of a completion code; ALevel receives its category (empty for 0 and -100).
// Transport failures are worded with the connector's texts.
std::string ModbusErrorMsg(int32_t AError, std::string& ALevel);
