#pragma once
// The command line of benchlordctl:
//   benchlordctl [--port NAME | --tcp HOST[:PORT]] [--baud N] [--addr N] [--json] [--keep-lock]
//                [--take-over] COMMAND [ARGS]
// Global options may stand before or after the command; command options belong to the command.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "cli/cli_option_records.h"

// Exit codes of the tool.
enum TCliExit : int {
    ceOk = 0,
    ceUsage = 2,          // usage error or a value out of range
    ceLink = 3,           // cannot connect, or the connection was lost
    ceRefused = 4,        // the device refused a request (exception reply)
    ceBootloader = 5,     // flash: a boot loader step failed
    ceLocalIO = 6,        // a local file or standard output could not be written
    ceKeysHeld = 7,       // another program holds the supply's keys (nothing is written)
    ceInterrupted = 130,  // a signal ended a command other than watch
};

struct TLinkOptions {
    QString Port;     // ShortName or device path (serial link)
    QString TcpHost;  // host name or dotted address (TCP link)
    uint16_t TcpPort = 502;
    int32_t Baud = 9600;
    uint8_t Addr = 1;
    bool Serial() const { return !Port.isEmpty(); }
    bool Tcp() const { return !TcpHost.isEmpty(); }
};

struct TCliRequest {
    TLinkOptions Link;
    bool Json = false;
    bool KeepLock = false;
    bool TakeOver = false;  // keys another program locked are taken over (and released at the end)
    bool Help = false;      // --help: the tool's help, or the command's when one is named
    QString Command;        // one of CommandNames()
    TCommandOptions Options;  // the record of the command

    // The options of the command, which must be of that record.
    template <class T>
    const T& Of() const {
        return std::get<T>(Options);
    }
    template <class T>
    T& Of() {
        return std::get<T>(Options);
    }
    // The options of that record, or null when the command has another.
    template <class T>
    T* If() {
        return std::get_if<T>(&Options);
    }
    template <class T>
    const T* If() const {
        return std::get_if<T>(&Options);
    }
};

struct TParseResult {
    TCliRequest Request;
    QString Error;  // empty when the line was understood
};

// --port, --tcp, --baud, --addr; an error text or empty.
QString ApplyLinkOption(const QString& AName, const QString& AValue, TCliRequest& AReq);

// Parses the arguments after the program name (the options and commands of cli_options.h).
TParseResult ParseArguments(const QStringList& AArgs);

// Commands that talk to a supply (all but "ports").
bool NeedsLink(const QString& ACommand);
bool IsCommand(const QString& AName);
// Every command, in the order of the help.
const QStringList& CommandNames();
