#pragma once
// Link helpers of the command line: host name resolution, finding a port in the port list, the
// baud list index, and recognising a device's exception reply in the raw bytes received.

#include <QString>
#include <cstdint>
#include <optional>

#include "link/kr_types.h"
#include "link/port_discovery.h"

// Dotted IPv4 address of AHost (a dotted address is returned as it is); empty with a reason in
// AError when it cannot be resolved.
QString ResolveIPv4(const QString& AHost, QString* AError);

// Index of the entry whose ShortName (or device path) is AName; -1 when none.
int FindPortIndex(const TSerialPortList& AList, const QString& AName);

// The device path of a --port name: a name without '/' lives in /dev.
QString SerialPath(const QString& APort);

// Index of ABaud in the baud list; -1 when it is not listed.
int BaudIndexOf(int32_t ABaud);

// The exception code of a device's exception reply (function code with bit 7 set) of ALength
// bytes as received on a link of type AType; 0 for any other reply, and for an RTU reply whose
// checksum is wrong.
uint8_t ReplyException(TMBType AType, const uint8_t* AReply, int32_t ALength);
