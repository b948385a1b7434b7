#pragma once
// Link helpers of the command line: those that choose a link by name (session/link_choice.h) and
// recognising a device's exception reply in the raw bytes received.

#include <QString>
#include <cstdint>
#include <optional>

#include "link/kr_types.h"
#include "link/port_discovery.h"
#include "session/link_choice.h"

// The exception code of a device's exception reply (function code with bit 7 set) of ALength
// bytes as received on a link of type AType; 0 for any other reply, and for an RTU reply whose
// checksum is wrong.
uint8_t ReplyException(TMBType AType, const uint8_t* AReply, int32_t ALength);
