#pragma once
// Choosing a session's link by name: host name resolution, finding a port in the port list and
// the baud list index (the command line, the bench window).

#include <QString>
#include <cstdint>

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
