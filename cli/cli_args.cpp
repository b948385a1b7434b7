#include "cli/cli_args.h"

#include <arpa/inet.h>

#include <map>

#include <QRegularExpression>

#include "cli/cli_plan_args.h"
#include "cli/cli_sequence_args.h"
#include "cli/cli_suggest.h"
#include "cli/cli_sweep_args.h"
#include "link/ipv4_address.h"
#include "session/session_core.h"

namespace {

const QStringList kCommands = {"ports", "info",   "read",        "set",        "on",        "off",
                               "watch", "stats",  "preset",      "flash",      "sequence",  "sweep",
                               "plan",  "charge", "calibration", "serve-scpi", "serve-mqtt"};

// Command options and the commands (or "preset save") that take them.
const std::map<QString, QStringList> kCommandOptions = {
    {"--voltage", {"set", "preset save"}},
    {"--current", {"set", "preset save", "charge"}},
    {"--ovp", {"preset save"}},
    {"--ocp", {"preset save"}},
    {"--opp", {"preset save"}},
    {"--timer", {"preset save"}},
    {"--interval", {"watch"}},
    {"--count", {"watch"}},
    {"--csv", {"watch", "sweep"}},
    {"--stats-every", {"watch"}},
    {"--seconds", {"stats"}},
    {"--log", {"sequence", "plan", "charge"}},
    {"--readings", {"plan", "charge"}},
    {"--chemistry", {"charge"}},
    {"--cells", {"charge"}},
    {"--capacity", {"charge"}},
    {"--termination", {"charge"}},
    {"--format", {"sequence"}},
    {"--log-every", {"sequence"}},
    {"--log-on-change", {"sequence"}},
    {"--listen", {"serve-scpi"}},
    {"--idle-timeout", {"serve-scpi"}},
    {"--dwell", {"sweep"}},
    {"--limit", {"sweep"}},
    {"--png", {"sweep"}},
    {"--metrics", {"serve-mqtt", "serve-scpi", "watch"}},
};

const QStringList kValueOptions = {
    "--port",         "--tcp",         "--baud",    "--addr",      "--voltage",       "--current",
    "--ovp",          "--ocp",         "--opp",     "--timer",     "--interval",      "--count",
    "--csv",          "--log",         "--format",  "--log-every", "--log-on-change", "--listen",
    "--idle-timeout", "--stats-every", "--seconds", "--dwell",     "--limit",         "--png",
    "--readings",     "--chemistry",   "--cells",   "--capacity",  "--termination"};

bool TakesValue(const QString& AName) {
    return kValueOptions.contains(AName) || MqttValueOptions().contains(AName) ||
           AName == "--metrics";
}

bool IsCommandOption(const QString& AName) {
    return kCommandOptions.count(AName) != 0 || MqttValueOptions().contains(AName);
}

// Every option, for "did you mean …?".
QStringList AllOptions() {
    return kValueOptions + MqttValueOptions() + MqttFlags() +
           QStringList{"--help",        "--version", "--json",      "--keep-lock", "--take-over",
                       "--off-on-exit", "--metrics", "--no-verify", "--no-jump"};
}

struct TRawOption {
    QString Name;
    QString Value;
};

// True for a host that the resolver would read as a number (only digits and dots, or the short,
// octal and hexadecimal forms such as "127.1" or "0x7f.0.0.1"): such a host is an address typed
// by the user and must pass the strict reading, never be dialled as something else.
bool LooksNumeric(const QString& AHost) {
    static const QRegularExpression digitsAndDots(R"(^[0-9.]+$)");
    in_addr unused{};
    return digitsAndDots.match(AHost).hasMatch() ||
           inet_aton(AHost.toLatin1().constData(), &unused) != 0;
}

QString ParseTcp(const QString& AValue, TLinkOptions& ALink) {
    QString host = AValue;
    const qsizetype colon = AValue.lastIndexOf(':');
    if (colon >= 0) {
        host = AValue.left(colon);
        const auto port = ParseWhole(AValue.mid(colon + 1), 1, 65535);
        if (!port) return "--tcp: the port must be a number from 1 to 65535";
        ALink.TcpPort = static_cast<uint16_t>(*port);
    }
    if (host.isEmpty()) return "--tcp: a host is required";
    if (const auto octets = ParseIPv4(host.toStdString())) {
        ALink.TcpHost = QString::fromStdString(FormatIPv4(*octets));
        return {};
    }
    if (LooksNumeric(host))
        return "--tcp: " + host + " is not a valid IPv4 address (four decimal numbers 0 to 255)";
    ALink.TcpHost = host;
    return {};
}

QString ApplyGlobal(const TRawOption& AOpt, TCliRequest& AReq) {
    TLinkOptions& link = AReq.Link;
    if (AOpt.Name == "--port") {
        if (AOpt.Value.isEmpty()) return "--port: a port name is required";
        link.Port = AOpt.Value;
        return {};
    }
    if (AOpt.Name == "--tcp") return ParseTcp(AOpt.Value, link);
    if (AOpt.Name == "--baud") {
        const auto baud = ParseWhole(AOpt.Value, 1, 10000000);
        bool listed = false;
        for (int32_t rate : kBaudRates)
            listed = listed || (baud && rate == *baud);
        if (!listed) return "--baud: one of 2400, 4800, 9600, 19200, 38400, 57600, 115200";
        link.Baud = static_cast<int32_t>(*baud);
        return {};
    }
    if (AOpt.Name == "--addr") {
        const auto addr = ParseWhole(AOpt.Value, 1, 127);
        if (!addr) return "--addr: an address from 1 to 127";
        link.Addr = static_cast<uint8_t>(*addr);
        return {};
    }
    return "unknown option " + AOpt.Name;
}

QString ApplyDecimal(const TRawOption& AOpt, std::optional<TDecimal>& ATarget) {
    ATarget = ParseDecimal(AOpt.Value);
    if (IsNegativeDecimal(AOpt.Value)) return AOpt.Name + " " + AOpt.Value + ": out of range";
    if (!ATarget) return AOpt.Name + ": not a number: " + AOpt.Value;
    return {};
}

QString ApplyCommandOption(const TRawOption& AOpt, TCliRequest& AReq) {
    if (AOpt.Name == "--voltage") return ApplyDecimal(AOpt, AReq.Voltage);
    if (AOpt.Name == "--current") return ApplyDecimal(AOpt, AReq.Current);
    if (AOpt.Name == "--ovp") return ApplyDecimal(AOpt, AReq.Ovp);
    if (AOpt.Name == "--ocp") return ApplyDecimal(AOpt, AReq.Ocp);
    if (AOpt.Name == "--opp") return ApplyDecimal(AOpt, AReq.Opp);
    if (AOpt.Name == "--timer") {
        AReq.TimerMinutes = ParseHoursMinutes(AOpt.Value);
        if (!AReq.TimerMinutes) return "--timer: H:MM expected, e.g. 1:30";
        return {};
    }
    if (AOpt.Name == "--interval") {
        const auto seconds = ParseDecimal(AOpt.Value);
        const uint64_t ms = seconds ? ToUnits(*seconds, 3) : 0;
        if (ms < 10 || ms > 86400000) return "--interval: seconds from 0.01 to 86400";
        AReq.IntervalMs = static_cast<int32_t>(ms);
        return {};
    }
    if (AOpt.Name == "--count") {
        AReq.Count = ParseWhole(AOpt.Value, 1, 1000000000);
        if (!AReq.Count) return "--count: a number of rows from 1";
        return {};
    }
    if (AOpt.Name == "--log" || AOpt.Name == "--format" || AOpt.Name == "--log-every" ||
        AOpt.Name == "--log-on-change")
        return ApplySequenceOption(AOpt.Name, AOpt.Value, AReq);
    if (AOpt.Name == "--dwell" || AOpt.Name == "--limit" || AOpt.Name == "--png")
        return ApplySweepOption(AOpt.Name, AOpt.Value, AReq);
    if (AOpt.Name == "--readings" || AOpt.Name == "--chemistry" || AOpt.Name == "--cells" ||
        AOpt.Name == "--capacity" || AOpt.Name == "--termination")
        return ApplyPlanOption(AOpt.Name, AOpt.Value, AReq);
    if (AOpt.Name == "--listen") {
        // ADDRESS:PORT, ADDRESS or :PORT; port 0 takes any free one.
        const qsizetype colon = AOpt.Value.lastIndexOf(':');
        const QString host = colon < 0 ? AOpt.Value : AOpt.Value.left(colon);
        if (colon >= 0) {
            const auto port = ParseWhole(AOpt.Value.mid(colon + 1), 0, 65535);
            if (!port) return "--listen: the port must be a number from 0 to 65535";
            AReq.ListenPort = static_cast<uint16_t>(*port);
        }
        if (host == "localhost") {
            AReq.ListenHost = "127.0.0.1";
        } else if (!host.isEmpty()) {
            const auto octets = ParseIPv4(host.toStdString());
            if (!octets)
                return "--listen: " + host +
                       " is not a valid IPv4 address (four decimal numbers 0 to 255)";
            AReq.ListenHost = QString::fromStdString(FormatIPv4(*octets));
        }
        return {};
    }
    if (AOpt.Name == "--idle-timeout") {
        const auto seconds = ParseWhole(AOpt.Value, 1, 86400);
        if (!seconds) return "--idle-timeout: seconds from 1 to 86400";
        AReq.IdleTimeout = static_cast<int32_t>(*seconds);
        return {};
    }
    if (AOpt.Name == "--stats-every" || AOpt.Name == "--seconds") {
        const auto seconds = ParseWhole(AOpt.Value, 1, 86400);
        if (!seconds) return AOpt.Name + ": whole seconds from 1 to 86400";
        (AOpt.Name == "--seconds" ? AReq.StatsSeconds : AReq.StatsEverySeconds) =
            static_cast<int32_t>(*seconds);
        return {};
    }
    if (AOpt.Name == "--metrics") return ApplyMetricsOption(AOpt.Value, AReq);
    if (MqttValueOptions().contains(AOpt.Name)) return ApplyMqttOption(AOpt.Name, AOpt.Value, AReq);
    if (AOpt.Name == "--csv") {
        if (AOpt.Value.isEmpty()) return "--csv: a file name is required";
        AReq.CsvPath = AOpt.Value;
        return {};
    }
    return "unknown option " + AOpt.Name;
}

// The positional arguments of "preset".
QString ParsePreset(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.isEmpty()) return "preset: list, show N, select N or save N";
    const QString& action = AArgs[0];
    if (action == "list") {
        if (AArgs.size() != 1) return "preset list: no further arguments";
        AReq.Preset = paList;
        return {};
    }
    if (action == "show")
        AReq.Preset = paShow;
    else if (action == "select")
        AReq.Preset = paSelect;
    else if (action == "save")
        AReq.Preset = paSave;
    else
        return WithSuggestion("preset: unknown action " + action, action,
                              {"list", "show", "select", "save"});
    if (AArgs.size() != 2) return "preset " + action + ": one preset number (0-19, M0-M9, C0-C9)";
    const auto num = ParsePresetNumber(AArgs[1]);
    if (!num) return "preset " + action + ": not a preset: " + AArgs[1] + " (0-19, M0-M9, C0-C9)";
    AReq.PresetNum = *num;
    return {};
}

}  // namespace

const QStringList& CommandNames() {
    return kCommands;
}

bool IsCommand(const QString& AName) {
    return kCommands.contains(AName);
}

bool NeedsLink(const QString& ACommand) {
    return ACommand != "ports";
}

TParseResult ParseArguments(const QStringList& AArgs) {
    TParseResult r;
    TCliRequest& req = r.Request;
    QStringList positional;
    std::vector<TRawOption> commandOptions;
    QStringList flashFlags;
    QStringList mqttFlags;
    bool offOnExit = false;
    bool stats = false;

    for (qsizetype i = 0; i < AArgs.size(); ++i) {
        const QString& arg = AArgs[i];
        if (arg == "--help" || arg == "-h") {
            req.Help = true;
            continue;
        }
        if (arg == "--off-on-exit") {
            offOnExit = true;
            continue;
        }
        if (arg == "--stats") {
            stats = true;
            continue;
        }
        if (arg == "--no-verify" || arg == "--no-jump") {
            flashFlags << arg;
            continue;
        }
        if (MqttFlags().contains(arg)) {
            mqttFlags << arg;
            continue;
        }
        if (arg == "--json" || arg == "--keep-lock" || arg == "--take-over") {
            (arg == "--json"        ? req.Json
             : arg == "--keep-lock" ? req.KeepLock
                                    : req.TakeOver) = true;
            continue;
        }
        if (!arg.startsWith("--") || arg == "--") {
            positional << arg;
            continue;
        }
        TRawOption opt{arg, {}};
        const qsizetype eq = arg.indexOf('=');
        if (eq > 0) {
            opt.Name = arg.left(eq);
            opt.Value = arg.mid(eq + 1);
        }
        if (!TakesValue(opt.Name)) {
            r.Error = WithSuggestion("unknown option " + opt.Name, opt.Name, AllOptions());
            return r;
        }
        if (eq < 0) {
            if (i + 1 >= AArgs.size()) {
                r.Error = opt.Name + ": a value is required";
                return r;
            }
            opt.Value = AArgs[++i];
        }
        if (IsCommandOption(opt.Name)) {
            commandOptions.push_back(opt);
            continue;
        }
        r.Error = ApplyGlobal(opt, req);
        if (!r.Error.isEmpty()) return r;
    }

    if (!positional.isEmpty() && positional[0] == "help") {
        req.Help = true;
        positional.removeFirst();
    }
    if (positional.isEmpty()) {
        if (!req.Help) r.Error = "no command given";
        return r;
    }
    req.Command = positional.takeFirst();
    if (!IsCommand(req.Command)) {
        r.Error = WithSuggestion("unknown command " + req.Command, req.Command, kCommands);
        return r;
    }
    if (req.Help) return r;

    if (!flashFlags.isEmpty() && req.Command != "flash") {
        r.Error = flashFlags[0] + " does not apply to " + req.Command;
        return r;
    }
    if (offOnExit && req.Command != "serve-scpi" && req.Command != "serve-mqtt") {
        r.Error = "--off-on-exit does not apply to " + req.Command;
        return r;
    }
    req.OffOnExit = offOnExit;
    if (!mqttFlags.isEmpty() && req.Command != "serve-mqtt") {
        r.Error = mqttFlags[0] + " does not apply to " + req.Command;
        return r;
    }
    req.Mqtt.AllowControl = mqttFlags.contains("--allow-control");
    req.Mqtt.TlsInsecure = mqttFlags.contains("--tls-insecure");
    if (stats && req.Command != "watch") {
        r.Error = "--stats does not apply to " + req.Command;
        return r;
    }
    req.Stats = stats;
    if (req.Command == "preset") {
        r.Error = ParsePreset(positional, req);
        if (!r.Error.isEmpty()) return r;
    } else if (req.Command == "sequence") {
        r.Error = ParseSequence(positional, req);
        if (!r.Error.isEmpty()) return r;
    } else if (req.Command == "sweep") {
        r.Error = ParseSweep(positional, req);
        if (!r.Error.isEmpty()) return r;
    } else if (req.Command == "plan") {
        r.Error = ParsePlan(positional, req);
        if (!r.Error.isEmpty()) return r;
    } else if (req.Command == "flash") {
        if (positional.size() != 1) {
            r.Error = "flash: one firmware file";
            return r;
        }
        req.FlashFile = positional[0];
        req.NoVerify = flashFlags.contains("--no-verify");
        req.NoJump = flashFlags.contains("--no-jump");
    } else if (!positional.isEmpty()) {
        r.Error = req.Command + ": unexpected argument " + positional[0];
        return r;
    }

    const QString scope =
        req.Command == "preset" && req.Preset == paSave ? "preset save" : req.Command;
    for (const TRawOption& opt : commandOptions) {
        const bool applies = kCommandOptions.count(opt.Name) != 0
                                 ? kCommandOptions.at(opt.Name).contains(scope)
                                 : scope == "serve-mqtt";
        if (!applies) {
            r.Error = opt.Name + " does not apply to " + scope;
            return r;
        }
        r.Error = ApplyCommandOption(opt, req);
        if (!r.Error.isEmpty()) return r;
    }

    if (req.Command == "set" && !req.Voltage && !req.Current) {
        r.Error = "set: --voltage V and/or --current A";
        return r;
    }
    if (req.Link.Serial() && req.Link.Tcp()) {
        r.Error = "--port and --tcp exclude each other";
        return r;
    }
    if (req.Command == "sequence") {
        r.Error = CheckSequenceRequest(req);
        if (!r.Error.isEmpty()) return r;
    }
    r.Error = CheckPlanRequest(req);
    if (!r.Error.isEmpty()) return r;
    const bool tableOnly = req.Command == "sequence" && req.SequenceAction == "show";
    if (NeedsLink(req.Command) && !tableOnly && !req.Link.Serial() && !req.Link.Tcp()) {
        r.Error = req.Command + ": a link is required: --port NAME or --tcp HOST[:PORT]";
        return r;
    }
    return r;
}
