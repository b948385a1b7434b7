#pragma once
// The options of each command of benchlordctl, one record per command; a request holds the one
// of its command (cli_args.h), made when the command is named (its entry in cli_options.h).
// Options that several commands take stand in each of their records.

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

#include "session/typed_values.h"

// --metrics ADDRESS:PORT (watch, serve-scpi, serve-mqtt): empty host for none.
struct TMetricsAddress {
    QString Host;
    uint16_t Port = 0;
};

// ports, info, read, on, off, calibration
struct TNoOptions {};

struct TSetOptions {
    std::optional<TDecimal> Voltage;
    std::optional<TDecimal> Current;
};

struct TWatchOptions {
    int32_t IntervalMs = 1000;
    std::optional<int64_t> Count;
    QString CsvPath;
    // --stats: link figures in each JSON row, or a summary line on standard error every
    // StatsEverySeconds (10 when not given)
    bool Stats = false;
    std::optional<int32_t> StatsEverySeconds;
    TMetricsAddress Metrics;
};

struct TStatsOptions {
    int32_t Seconds = 10;
};

enum TPresetAction { paNone, paList, paShow, paSelect, paSave };

struct TPresetOptions {
    TPresetAction Action = paNone;
    uint32_t Num = 0;
    // save: the values given
    std::optional<TDecimal> Voltage;
    std::optional<TDecimal> Current;
    std::optional<TDecimal> Ovp;
    std::optional<TDecimal> Ocp;
    std::optional<TDecimal> Opp;
    std::optional<uint32_t> TimerMinutes;
};

// sequence show, or run [FILE]
struct TSequenceOptions {
    QString Action;
    QString StepFile;   // CSV step file; empty: the saved table
    QString LogPath;    // --log FILE
    QString LogFormat;  // --format txt|csv|xlsx; empty: by the log's extension, else txt
    std::optional<int32_t> LogEverySeconds;  // --log-every S
    // --log-on-change VPCT,IPCT: the voltage and current threshold entries (0 any change,
    // 1..5 more than that percentage, 6 never).
    std::optional<std::pair<int, int>> LogOnChange;
};

// sweep voltage|current FROM TO STEP
struct TSweepOptions {
    QString Quantity;  // "voltage" or "current"
    TDecimal From;
    TDecimal To;
    TDecimal Step;
    std::optional<TDecimal> Limit;
    uint32_t DwellMs = 1000;
    QString CsvPath;
    QString PngPath;
};

// What plan run and charge share: the log and the readings in a row that end a step on a
// condition.
struct TStepRunOptions {
    QString LogPath;
    int32_t Readings = 3;
};

// plan run FILE
struct TPlanOptions {
    QString Action;
    QString File;
    TStepRunOptions Run;
};

struct TChargeOptions {
    QString Chemistry;  // li-ion, lifepo4, lead-acid, nimh
    uint32_t Cells = 0;
    std::optional<TDecimal> Capacity;     // Ah
    std::optional<TDecimal> Current;      // A
    std::optional<TDecimal> Termination;  // A
    TStepRunOptions Run;
};

struct TFlashOptions {
    QString File;
    bool NoVerify = false;
    bool NoJump = false;  // the supply already waits in its boot loader
};

// serve-scpi: the address listened on (0: any free port), the switch-off at exit, and the
// seconds after which a client that sends nothing loses its place (0: never).
struct TServeScpiOptions {
    QString ListenHost = "127.0.0.1";
    uint16_t ListenPort = 5025;
    bool OffOnExit = false;
    int32_t IdleTimeout = 0;
    TMetricsAddress Metrics;
};

// serve-mqtt: broker, credentials, TLS, topics, rate, control and its caps.
struct TServeMqttOptions {
    QString BrokerHost = "127.0.0.1";
    uint16_t BrokerPort = 1883;
    QString ClientId;  // empty: benchlord-NAME
    QString User;
    QString PasswordFile;
    QString CaFile;
    QString CaPath;
    QString CertFile;
    QString KeyFile;
    bool TlsInsecure = false;
    int32_t KeepaliveSeconds = 60;
    QString Prefix;  // empty: benchlord/NAME
    QString Name;    // empty: from the link (ttyUSB0, 127.0.0.1-502)
    QString DiscoveryPrefix = "homeassistant";
    std::optional<TDecimal> Rate;  // readings per second at most; none: every reading
    bool AllowControl = false;
    std::optional<TDecimal> MaxVoltage;
    std::optional<TDecimal> MaxCurrent;
    bool OffOnExit = false;
    TMetricsAddress Metrics;
};

// bench FILE ACTION [NAME]: read, watch, on, off, all-on, all-off; NAME for on and off; the
// rows of watch every IntervalMs, Count of them at most, into CsvPath too.
struct TBenchCommandOptions {
    QString File;
    QString Action;
    QString Supply;
    int32_t IntervalMs = 1000;
    std::optional<int64_t> Count;
    QString CsvPath;
};

using TCommandOptions =
    std::variant<TNoOptions, TSetOptions, TWatchOptions, TStatsOptions, TPresetOptions,
                 TSequenceOptions, TSweepOptions, TPlanOptions, TChargeOptions, TFlashOptions,
                 TServeScpiOptions, TServeMqttOptions, TBenchCommandOptions>;
