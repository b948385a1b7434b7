#include "cli/cli_sequence_args.h"

#include "cli/cli_args.h"
#include "cli/cli_suggest.h"
#include "session/typed_values.h"

QString ParseSequence(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.isEmpty()) return "sequence: show, or run [FILE]";
    TSequenceOptions& sequence = AReq.Of<TSequenceOptions>();
    sequence.Action = AArgs[0];
    if (AArgs[0] == "show") {
        if (AArgs.size() != 1) return "sequence show: no further arguments";
        return {};
    }
    if (AArgs[0] != "run")
        return WithSuggestion("sequence: unknown action " + AArgs[0], AArgs[0], {"show", "run"});
    if (AArgs.size() > 2) return "sequence run: at most one step file";
    if (AArgs.size() == 2) sequence.StepFile = AArgs[1];
    return {};
}

namespace {
// "-" (never), or a whole percentage 0..5 (0: any change).
bool ParseThreshold(const QString& AText, int& AEntry) {
    const QString t = AText.trimmed();
    if (t == "-") {
        AEntry = 6;
        return true;
    }
    const auto value = ParseWhole(t, 0, 5);
    if (!value) return false;
    AEntry = static_cast<int>(*value);
    return true;
}
}  // namespace

QString ApplySequenceOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    if (AName == "--log") {
        if (AValue.isEmpty()) return "--log: a file name is required";
        if (auto* plan = AReq.If<TPlanOptions>())
            plan->Run.LogPath = AValue;
        else if (auto* charge = AReq.If<TChargeOptions>())
            charge->Run.LogPath = AValue;
        else
            AReq.Of<TSequenceOptions>().LogPath = AValue;
        return {};
    }
    TSequenceOptions& sequence = AReq.Of<TSequenceOptions>();
    if (AName == "--format") {
        if (AValue != "txt" && AValue != "csv" && AValue != "xlsx")
            return "--format: txt, csv or xlsx";
        sequence.LogFormat = AValue;
        return {};
    }
    if (AName == "--log-every") {
        const auto seconds = ParseWhole(AValue, 1, 86400);
        if (!seconds) return "--log-every: whole seconds from 1 to 86400";
        sequence.LogEverySeconds = static_cast<int32_t>(*seconds);
        return {};
    }
    if (AName == "--log-on-change") {
        const QStringList parts = AValue.split(',');
        int u = 0;
        int i = 0;
        if (parts.size() != 2 || !ParseThreshold(parts[0], u) || !ParseThreshold(parts[1], i))
            return "--log-on-change: VPCT,IPCT, each a percentage 0 to 5 (0: any change) or - "
                   "(never), e.g. 1,2";
        sequence.LogOnChange = std::make_pair(u, i);
        return {};
    }
    return "unknown option " + AName;
}

QString CheckSequenceRequest(const TCliRequest& AReq) {
    const TSequenceOptions& sequence = AReq.Of<TSequenceOptions>();
    if (sequence.LogEverySeconds && sequence.LogOnChange)
        return "sequence run: --log-every and --log-on-change exclude each other";
    if (sequence.Action == "show" &&
        (!sequence.LogPath.isEmpty() || !sequence.LogFormat.isEmpty() || sequence.LogEverySeconds ||
         sequence.LogOnChange))
        return "sequence show: the log options belong to 'sequence run'";
    return {};
}
