#include "cli/cli_plan_args.h"

#include "cli/cli_args.h"
#include "cli/cli_suggest.h"
#include "session/typed_values.h"
#include "tools/core/charge_plan.h"

QString ParsePlan(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.isEmpty()) return "plan: run FILE";
    AReq.PlanAction = AArgs[0];
    if (AArgs[0] != "run")
        return WithSuggestion("plan: unknown action " + AArgs[0], AArgs[0], {"run"});
    if (AArgs.size() != 2) return "plan run: one plan file";
    AReq.PlanFile = AArgs[1];
    return {};
}

QString ApplyPlanOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    if (AName == "--readings") {
        const auto count = ParseWhole(AValue, 1, 100);
        if (!count) return "--readings: a number of readings from 1 to 100";
        AReq.PlanReadings = static_cast<int32_t>(*count);
        return {};
    }
    if (AName == "--chemistry") {
        if (!ChargeChemistries().contains(AValue))
            return WithSuggestion(
                "--chemistry: " + AValue + " is not one of " + ChargeChemistries().join(", "),
                AValue, ChargeChemistries());
        AReq.Chemistry = AValue;
        return {};
    }
    if (AName == "--cells") {
        const auto cells = ParseWhole(AValue, 1, 100);
        if (!cells) return "--cells: a number of cells in series from 1 to 100";
        AReq.Cells = static_cast<uint32_t>(*cells);
        return {};
    }
    if (AName == "--capacity" || AName == "--termination") {
        auto& target = AName == "--capacity" ? AReq.Capacity : AReq.Termination;
        target = ParseDecimal(AValue);
        if (!target || ToUnits(*target, 3) == 0)
            return AName + ": " + (AName == "--capacity" ? "ampere-hours" : "amperes") +
                   " above 0, e.g. 2.5";
        return {};
    }
    return "unknown option " + AName;
}

QString CheckPlanRequest(const TCliRequest& AReq) {
    if (AReq.Current && ToUnits(*AReq.Current, 3) == 0) return "--current: amperes above 0";
    if (AReq.Current && AReq.Termination &&
        ToUnits(*AReq.Termination, 3) >= ToUnits(*AReq.Current, 3))
        return "charge: --termination must be below --current";
    return {};
}
