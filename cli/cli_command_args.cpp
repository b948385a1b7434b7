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
    if (AName == "--voltage") return ApplyDecimal(AName, AValue, AReq.Voltage);
    if (AName == "--current") return ApplyDecimal(AName, AValue, AReq.Current);
    if (AName == "--ovp") return ApplyDecimal(AName, AValue, AReq.Ovp);
    if (AName == "--ocp") return ApplyDecimal(AName, AValue, AReq.Ocp);
    if (AName == "--opp") return ApplyDecimal(AName, AValue, AReq.Opp);
    if (AName == "--timer") {
        AReq.TimerMinutes = ParseHoursMinutes(AValue);
        if (!AReq.TimerMinutes) return "--timer: H:MM expected, e.g. 1:30";
        return {};
    }
    return "unknown option " + AName;
}

QString CheckSetRequest(const TCliRequest& AReq) {
    if (!AReq.Voltage && !AReq.Current) return "set: --voltage V and/or --current A";
    return {};
}

QString ApplyWatchOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    if (AName == "--interval") {
        const auto seconds = ParseDecimal(AValue);
        const uint64_t ms = seconds ? ToUnits(*seconds, 3) : 0;
        if (ms < 10 || ms > 86400000) return "--interval: seconds from 0.01 to 86400";
        AReq.IntervalMs = static_cast<int32_t>(ms);
        return {};
    }
    if (AName == "--count") {
        AReq.Count = ParseWhole(AValue, 1, 1000000000);
        if (!AReq.Count) return "--count: a number of rows from 1";
        return {};
    }
    if (AName == "--csv") {
        if (AValue.isEmpty()) return "--csv: a file name is required";
        AReq.CsvPath = AValue;
        return {};
    }
    if (AName == "--stats-every" || AName == "--seconds") {
        const auto seconds = ParseWhole(AValue, 1, 86400);
        if (!seconds) return AName + ": whole seconds from 1 to 86400";
        (AName == "--seconds" ? AReq.StatsSeconds : AReq.StatsEverySeconds) =
            static_cast<int32_t>(*seconds);
        return {};
    }
    return "unknown option " + AName;
}

QString ApplyScpiOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    if (AName == "--listen") {
        // ADDRESS:PORT, ADDRESS or :PORT; port 0 takes any free one.
        const qsizetype colon = AValue.lastIndexOf(':');
        const QString host = colon < 0 ? AValue : AValue.left(colon);
        if (colon >= 0) {
            const auto port = ParseWhole(AValue.mid(colon + 1), 0, 65535);
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
    if (AName == "--idle-timeout") {
        const auto seconds = ParseWhole(AValue, 1, 86400);
        if (!seconds) return "--idle-timeout: seconds from 1 to 86400";
        AReq.IdleTimeout = static_cast<int32_t>(*seconds);
        return {};
    }
    return "unknown option " + AName;
}

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

QString ParseFlash(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.size() != 1) return "flash: one firmware file";
    AReq.FlashFile = AArgs[0];
    return {};
}
