#pragma once
// The command line of benchlordctl:
//   benchlordctl [--port NAME | --tcp HOST[:PORT]] [--baud N] [--addr N] [--json] [--keep-lock]
//                [--take-over] COMMAND [ARGS]
// Global options may stand before or after the command; command options belong to the command.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "cli/cli_mqtt_args.h"
#include "session/typed_values.h"

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

enum TPresetAction { paNone, paList, paShow, paSelect, paSave };

struct TCliRequest {
    TLinkOptions Link;
    bool Json = false;
    bool KeepLock = false;
    bool TakeOver = false;  // keys another program locked are taken over (and released at the end)
    bool Help = false;      // --help: the tool's help, or the command's when one is named
    QString Command;  // "ports", "info", "read", "set", "on", "off", "watch", "stats", "preset",
                      // "sequence", "sweep", "plan", "charge", "flash", "calibration",
                      // "serve-scpi", "serve-mqtt", "bench"

    // set and preset save
    std::optional<TDecimal> Voltage;
    std::optional<TDecimal> Current;
    // preset save
    std::optional<TDecimal> Ovp;
    std::optional<TDecimal> Ocp;
    std::optional<TDecimal> Opp;
    std::optional<uint32_t> TimerMinutes;
    // watch
    int32_t IntervalMs = 1000;
    std::optional<int64_t> Count;
    QString CsvPath;
    // watch --stats: link figures in each JSON row, or a summary line on standard error every
    // StatsEverySeconds
    bool Stats = false;
    int32_t StatsEverySeconds = 10;
    // stats --seconds N
    int32_t StatsSeconds = 10;
    // preset
    TPresetAction Preset = paNone;
    uint32_t PresetNum = 0;
    // sequence: "show" or "run" [FILE]
    QString SequenceAction;
    QString StepFile;   // CSV step file; empty: the saved table
    QString LogPath;    // --log FILE
    QString LogFormat;  // --format txt|csv|xlsx; empty: by the log's extension, else txt
    std::optional<int32_t> LogEverySeconds;  // --log-every S
    // --log-on-change VPCT,IPCT: the voltage and current threshold entries (0 any change,
    // 1..5 more than that percentage, 6 never).
    std::optional<std::pair<int, int>> LogOnChange;
    // plan run FILE; plan and charge: readings in a row that end a step on a condition
    QString PlanAction;
    QString PlanFile;
    int32_t PlanReadings = 3;
    // charge
    QString Chemistry;  // li-ion, lifepo4, lead-acid, nimh
    uint32_t Cells = 0;
    std::optional<TDecimal> Capacity;     // Ah
    std::optional<TDecimal> Termination;  // A
    // flash
    QString FlashFile;
    bool NoVerify = false;
    bool NoJump = false;  // the supply already waits in its boot loader
    // serve-scpi: the address listened on (0: any free port), the switch-off at exit, and the
    // seconds after which a client that sends nothing loses its place (0: never).
    QString ListenHost = "127.0.0.1";
    uint16_t ListenPort = 5025;
    bool OffOnExit = false;
    int32_t IdleTimeout = 0;
    // sweep voltage|current FROM TO STEP [--dwell S] [--limit A|V] [--csv FILE] [--png FILE]
    QString SweepQuantity;  // "voltage" or "current"
    TDecimal SweepFrom;
    TDecimal SweepTo;
    TDecimal SweepStep;
    std::optional<TDecimal> SweepLimit;
    uint32_t DwellMs = 1000;
    QString PngPath;
    // serve-mqtt
    TMqttRequest Mqtt;
    // bench FILE ACTION [NAME]: read, watch, on, off, all-on, all-off; NAME for on and off.
    QString BenchFile;
    QString BenchAction;
    QString BenchSupply;
    // --metrics ADDRESS:PORT (serve-mqtt, serve-scpi, watch): empty host for none.
    QString MetricsHost;
    uint16_t MetricsPort = 0;
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
