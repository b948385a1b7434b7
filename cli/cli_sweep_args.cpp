#include "cli/cli_sweep_args.h"

#include "cli/cli_args.h"
#include "cli/cli_suggest.h"
#include "session/typed_values.h"

namespace {
QString Value(const QString& AName, const QString& AText, TDecimal& AValue) {
    if (IsNegativeDecimal(AText)) return "sweep: " + AName + " " + AText + ": out of range";
    const auto value = ParseDecimal(AText);
    if (!value) return "sweep: " + AName + ": not a number: " + AText;
    AValue = *value;
    return {};
}
}  // namespace

QString ParseSweep(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.isEmpty()) return "sweep: voltage or current, then FROM TO STEP";
    TSweepOptions& sweep = AReq.Of<TSweepOptions>();
    sweep.Quantity = AArgs[0];
    if (AArgs[0] != "voltage" && AArgs[0] != "current")
        return WithSuggestion("sweep: unknown quantity " + AArgs[0], AArgs[0],
                              {"voltage", "current"});
    const QString unit = AArgs[0] == "voltage" ? "V" : "A";
    if (AArgs.size() != 4)
        return "sweep " + AArgs[0] + ": FROM TO STEP, in " + unit + " (e.g. 0 3 0.05)";
    QString error = Value("FROM", AArgs[1], sweep.From);
    if (error.isEmpty()) error = Value("TO", AArgs[2], sweep.To);
    if (error.isEmpty()) error = Value("STEP", AArgs[3], sweep.Step);
    return error;
}

QString ApplySweepOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    TSweepOptions& sweep = AReq.Of<TSweepOptions>();
    if (AName == "--dwell") {
        const auto seconds = ParseDecimal(AValue);
        const uint64_t ms = seconds ? ToUnits(*seconds, 3) : 0;
        if (ms < 10 || ms > 3600000) return "--dwell: seconds from 0.01 to 3600";
        sweep.DwellMs = static_cast<uint32_t>(ms);
        return {};
    }
    if (AName == "--limit") {
        if (IsNegativeDecimal(AValue)) return "--limit " + AValue + ": out of range";
        sweep.Limit = ParseDecimal(AValue);
        if (!sweep.Limit) return "--limit: not a number: " + AValue;
        return {};
    }
    if (AName == "--png") {
        if (AValue.isEmpty()) return "--png: a file name is required";
        sweep.PngPath = AValue;
        return {};
    }
    return "unknown option " + AName;
}
