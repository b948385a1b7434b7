#include "cli/cli_plan_args.h"

#include "cli/cli_args.h"
#include "cli/cli_suggest.h"
#include "session/typed_values.h"
#include "tools/core/charge_plan.h"

QString ParsePlan(const QStringList& AArgs, TCliRequest& AReq) {
    if (AArgs.isEmpty()) return "plan: run FILE";
    TPlanOptions& plan = AReq.Of<TPlanOptions>();
    plan.Action = AArgs[0];
    if (AArgs[0] != "run")
        return WithSuggestion("plan: unknown action " + AArgs[0], AArgs[0], {"run"});
    if (AArgs.size() != 2) return "plan run: one plan file";
    plan.File = AArgs[1];
    return {};
}

QString ApplyPlanOption(const QString& AName, const QString& AValue, TCliRequest& AReq) {
    if (AName == "--readings") {
        const auto count = ParseWhole(AValue, 1, 100);
        if (!count) return "--readings: a number of readings from 1 to 100";
        auto* plan = AReq.If<TPlanOptions>();
        (plan ? plan->Run : AReq.Of<TChargeOptions>().Run).Readings = static_cast<int32_t>(*count);
        return {};
    }
    TChargeOptions& charge = AReq.Of<TChargeOptions>();
    if (AName == "--chemistry") {
        if (!ChargeChemistries().contains(AValue))
            return WithSuggestion(
                "--chemistry: " + AValue + " is not one of " + ChargeChemistries().join(", "),
                AValue, ChargeChemistries());
        charge.Chemistry = AValue;
        return {};
    }
    if (AName == "--cells") {
        const auto cells = ParseWhole(AValue, 1, 100);
        if (!cells) return "--cells: a number of cells in series from 1 to 100";
        charge.Cells = static_cast<uint32_t>(*cells);
        return {};
    }
    if (AName == "--capacity" || AName == "--termination") {
        auto& target = AName == "--capacity" ? charge.Capacity : charge.Termination;
        target = ParseDecimal(AValue);
        if (!target || ToUnits(*target, 3) == 0)
            return AName + ": " + (AName == "--capacity" ? "ampere-hours" : "amperes") +
                   " above 0, e.g. 2.5";
        return {};
    }
    return "unknown option " + AName;
}

QString CheckPlanRequest(const TCliRequest& AReq) {
    const TChargeOptions& charge = AReq.Of<TChargeOptions>();
    if (charge.Current && ToUnits(*charge.Current, 3) == 0) return "--current: amperes above 0";
    if (charge.Current && charge.Termination &&
        ToUnits(*charge.Termination, 3) >= ToUnits(*charge.Current, 3))
        return "charge: --termination must be below --current";
    return {};
}
