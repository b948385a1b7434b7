#pragma once
// Result codes of a connector exchange and their texts.

#include <cstdint>
#include <string>

enum TKRConnectorError : int32_t {
    cerNoError = 0,
    cerQueueOverflow = 1,   // Send found 255 packets waiting
    cerNotConnected = 2,    // transport not connected when the packet's turn came
    cerSendFailed = 3,      // short write or failure while writing
    cerNoAnswer = 4,        // no reply byte / empty receive
    cerSendTimeout = 5,     // socket not writable within the write time-out
    cerReceiveTimeout = 6,  // no reply within the read time-out
    cerNotActive = 7,       // packet dropped because the connector is (or became) inactive
};

// Text for a connector result code; unknown codes give "Неизвестная ошибка.".
std::string KRConnectorErrorMsg(int32_t AError);
