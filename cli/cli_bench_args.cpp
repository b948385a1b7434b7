#include "cli/cli_bench_args.h"

#include "cli/cli_args.h"
#include "cli/cli_suggest.h"

namespace {
const QStringList kActions = {"read", "watch", "on", "off", "all-on", "all-off"};
}

QString ParseBench(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.size() < 2)
        return "bench: FILE and read, watch, on NAME, off NAME, all-on or all-off";
    AReq.BenchFile = AArgs[0];
    AReq.BenchAction = AArgs[1];
    if (!kActions.contains(AArgs[1]))
        return WithSuggestion("bench: unknown action " + AArgs[1], AArgs[1], kActions);
    const bool named = AArgs[1] == "on" || AArgs[1] == "off";
    if (named && AArgs.size() != 3) return "bench " + AArgs[1] + ": the name of one supply";
    if (!named && AArgs.size() != 2)
        return "bench " + AArgs[1] + ": unexpected argument " + AArgs[2];
    if (named) AReq.BenchSupply = AArgs[2];
    return {};
}

QString CheckBenchRequest(const TCliRequest& AReq) {
    if (AReq.Command != "bench") return {};
    if (AReq.Link.Serial() || AReq.Link.Tcp())
        return "bench: the supplies' links come from the bench file (no --port or --tcp)";
    const TCliRequest plain;
    const bool watchOptions =
        AReq.IntervalMs != plain.IntervalMs || AReq.Count || !AReq.CsvPath.isEmpty();
    if (watchOptions && AReq.BenchAction != "watch")
        return "--interval, --count and --csv apply to bench FILE watch only";
    return {};
}
