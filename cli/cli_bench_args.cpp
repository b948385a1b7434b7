#include "cli/cli_bench_args.h"

#include "cli/cli_args.h"
#include "cli/cli_suggest.h"

namespace {
const QStringList kActions = {"read", "watch", "on", "off", "all-on", "all-off"};
}

QString ParseBench(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.size() < 2)
        return "bench: FILE and read, watch, on NAME, off NAME, all-on or all-off";
    TBenchCommandOptions& bench = AReq.Of<TBenchCommandOptions>();
    bench.File = AArgs[0];
    bench.Action = AArgs[1];
    if (!kActions.contains(AArgs[1]))
        return WithSuggestion("bench: unknown action " + AArgs[1], AArgs[1], kActions);
    const bool named = AArgs[1] == "on" || AArgs[1] == "off";
    if (named && AArgs.size() != 3) return "bench " + AArgs[1] + ": the name of one supply";
    if (!named && AArgs.size() != 2)
        return "bench " + AArgs[1] + ": unexpected argument " + AArgs[2];
    if (named) bench.Supply = AArgs[2];
    return {};
}

QString CheckBenchRequest(const TCliRequest& AReq) {
    if (AReq.Command != "bench") return {};
    if (AReq.Link.Serial() || AReq.Link.Tcp())
        return "bench: the supplies' links come from the bench file (no --port or --tcp)";
    const TBenchCommandOptions& bench = AReq.Of<TBenchCommandOptions>();
    const TBenchCommandOptions plain;
    const bool watchOptions =
        bench.IntervalMs != plain.IntervalMs || bench.Count || !bench.CsvPath.isEmpty();
    if (watchOptions && bench.Action != "watch")
        return "--interval, --count and --csv apply to bench FILE watch only";
    return {};
}
