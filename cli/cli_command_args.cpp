#include "cli/cli_command_args.h"

#include "cli/cli_args.h"
#include "cli/cli_suggest.h"
#include "link/ipv4_address.h"
#include "session/typed_values.h"

namespace {
QString ApplyDecimal(const QString& AName, const QString& AValue,
                     std::optional<TDecimal>& ATarget) {
    ATarget = ParseDecimal(AValue);
    if (IsNegativeDecimal(AValue)) return AName + " " + AValue + ": out of range";
    if (!ATarget) return AName + ": not a number: " + AValue;
    return {};
}
}  // namespace

QString ApplySetValueOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    if (auto* set = AReq.If<TSetOptions>())
        return ApplyDecimal(AName, AValue, AName == "--voltage" ? set->Voltage : set->Current);
    if (auto* charge = AReq.If<TChargeOptions>())
        return ApplyDecimal(AName, AValue, charge->Current);
    TPresetOptions& preset = AReq.Of<TPresetOptions>();
    if (AName == "--timer") {
        preset.TimerMinutes = ParseHoursMinutes(AValue);
        if (!preset.TimerMinutes) return "--timer: H:MM expected, e.g. 1:30";
        return {};
    }
    std::optional<TDecimal>& target = AName == "--voltage"   ? preset.Voltage
                                      : AName == "--current" ? preset.Current
                                      : AName == "--ovp"     ? preset.Ovp
                                      : AName == "--ocp"     ? preset.Ocp
                                                             : preset.Opp;
    return ApplyDecimal(AName, AValue, target);
}

QString CheckSetRequest(const TCliRequest& AReq) {
    const TSetOptions& set = AReq.Of<TSetOptions>();
    if (!set.Voltage && !set.Current) return "set: --voltage V and/or --current A";
    return {};
}

QString CheckWatchRequest(const TCliRequest& AReq) {
    // Said rather than ignored: JSON rows carry the figures, there are no summary lines.
    if (AReq.Of<TWatchOptions>().StatsEverySeconds && AReq.Json)
        return "--stats-every: not with --json (the figures are in every row)";
    return {};
}

QString ApplyWatchOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    if (AName == "--csv") {
        if (AValue.isEmpty()) return "--csv: a file name is required";
        if (auto* sweep = AReq.If<TSweepOptions>())
            sweep->CsvPath = AValue;
        else if (auto* bench = AReq.If<TBenchCommandOptions>())
            bench->CsvPath = AValue;
        else
            AReq.Of<TWatchOptions>().CsvPath = AValue;
        return {};
    }
    if (AName == "--seconds") {
        const auto seconds = ParseWhole(AValue, 1, 86400);
        if (!seconds) return AName + ": whole seconds from 1 to 86400";
        AReq.Of<TStatsOptions>().Seconds = static_cast<int32_t>(*seconds);
        return {};
    }
    // The rows of watch, or of a bench's watch.
    auto* bench = AReq.If<TBenchCommandOptions>();
    int32_t& intervalMs = bench ? bench->IntervalMs : AReq.Of<TWatchOptions>().IntervalMs;
    std::optional<int64_t>& count = bench ? bench->Count : AReq.Of<TWatchOptions>().Count;
    if (AName == "--interval") {
        const auto seconds = ParseDecimal(AValue);
        const uint64_t ms = seconds ? ToUnits(*seconds, 3) : 0;
        if (ms < 10 || ms > 86400000) return "--interval: seconds from 0.01 to 86400";
        intervalMs = static_cast<int32_t>(ms);
        return {};
    }
    if (AName == "--count") {
        count = ParseWhole(AValue, 1, 1000000000);
        if (!count) return "--count: a number of rows from 1";
        return {};
    }
    // --stats-every
    const auto seconds = ParseWhole(AValue, 1, 86400);
    if (!seconds) return AName + ": whole seconds from 1 to 86400";
    AReq.Of<TWatchOptions>().StatsEverySeconds = static_cast<int32_t>(*seconds);
    return {};
}

QString ApplyScpiOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    TServeScpiOptions& scpi = AReq.Of<TServeScpiOptions>();
    if (AName == "--listen") {
        // ADDRESS:PORT, ADDRESS or :PORT; port 0 takes any free one.
        const qsizetype colon = AValue.lastIndexOf(':');
        const QString host = colon < 0 ? AValue : AValue.left(colon);
        if (colon >= 0) {
            const auto port = ParseWhole(AValue.mid(colon + 1), 0, 65535);
            if (!port) return "--listen: the port must be a number from 0 to 65535";
            scpi.ListenPort = static_cast<uint16_t>(*port);
        }
        if (host == "localhost") {
            scpi.ListenHost = "127.0.0.1";
        } else if (!host.isEmpty()) {
            const auto octets = ParseIPv4(host.toStdString());
            if (!octets)
                return "--listen: " + host +
                       " is not a valid IPv4 address (four decimal numbers 0 to 255)";
            scpi.ListenHost = QString::fromStdString(FormatIPv4(*octets));
        }
        return {};
    }
    if (AName == "--idle-timeout") {
        const auto seconds = ParseWhole(AValue, 1, 86400);
        if (!seconds) return "--idle-timeout: seconds from 1 to 86400";
        scpi.IdleTimeout = static_cast<int32_t>(*seconds);
        return {};
    }
    return "unknown option " + AName;
}

QString ParsePreset(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.isEmpty()) return "preset: list, show N, select N or save N";
    const QString& action = AArgs[0];
    TPresetOptions& preset = AReq.Of<TPresetOptions>();
    if (action == "list") {
        if (AArgs.size() != 1) return "preset list: no further arguments";
        preset.Action = paList;
        return {};
    }
    if (action == "show")
        preset.Action = paShow;
    else if (action == "select")
        preset.Action = paSelect;
    else if (action == "save")
        preset.Action = paSave;
    else
        return WithSuggestion("preset: unknown action " + action, action,
                              {"list", "show", "select", "save"});
    if (AArgs.size() != 2) return "preset " + action + ": one preset number (0-19, M0-M9, C0-C9)";
    const auto num = ParsePresetNumber(AArgs[1]);
    if (!num) return "preset " + action + ": not a preset: " + AArgs[1] + " (0-19, M0-M9, C0-C9)";
    preset.Num = *num;
    return {};
}

QString ParseFlash(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.size() != 1) return "flash: one firmware file";
    AReq.Of<TFlashOptions>().File = AArgs[0];
    return {};
}
