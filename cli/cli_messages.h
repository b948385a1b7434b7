#pragma once
// English texts of link and device failures for the command line. The window shows the system's
// own texts; the command line names the failure and its cause in English only:
//   device exception 2: illegal data address
//   cannot connect to 127.0.0.1:1: connection refused

#include <QString>
#include <cstdint>

// A master's completion code (exception code, processing error or transport failure).
QString ResultText(int32_t ACode);
// The same text (the name says so where a caller must never pass on another language).
QString ResultEnglish(int32_t ACode);
// Its English part alone, without the system's text (which may be in another language).
QString ResultEnglish(int32_t ACode);

// AText with its control characters (an escape sequence in a garbled file quoted in a message)
// shown as \xNN, so nothing a file holds reaches the terminal as a command; line ends are kept.
QString EscapeControls(const QString& AText);

// The refusal of ACommand on a supply whose keys another program holds: the likely cause and
// the way out.
QString KeysHeldText(const QString& ACommand);

// Why a running session was lost, from the failure that came ARepeats times in a row before the
// end: exception replies and garbled replies are named with their count ("the supply answered
// exception 4 (slave device failure), 3 in a row", "reply with a bad checksum (3 in a row)"); on
// TCP a connection the bridge closed and a reconnect it refused; anything else means the supply
// stopped answering.
struct TLossFacts {
    bool Tcp = false;
    bool PeerClosed = false;  // the bridge closed the connection since the last good reply
    int ConnectErrno = 0;     // of the last reconnect, 0 when it succeeded
};
QString LostText(int32_t ALastFailure, int ARepeats, const TLossFacts& AFacts = {});

// "connection refused", "no route to host", "timed out", or the system's text for the errno of
// a failed TCP connect.
QString ConnectErrnoText(int AErrno);

// Why the serial port at APath cannot be used before it is opened: "APath: no such serial port",
// "APath: not a serial port"; empty when it is a terminal device.
QString SerialPathProblem(const QString& APath);

// Why opening the serial port at APath failed with AErrno: no such port, busy (another program),
// permission (with the advice how to get access), or the system's reason.
QString SerialOpenFailure(const QString& APath, int AErrno);

// Whether APath names something that exists but is no terminal (a regular file, a directory,
// /dev/null): such a path is "not a serial port".
bool ExistsButIsNoTerminal(const QString& APath);
