// plan run FILE: a plan file (steps that end on conditions or times) run against the supply,
// each step and why it ended printed as it happens.

#include "cli/cli_commands.h"
#include "cli/cli_files.h"
#include "cli/cli_plan_run.h"
#include "session/session_core.h"

namespace {

class TPlanFileCommand : public TPlanRunCommand {
public:
    using TPlanRunCommand::TPlanRunCommand;

    QString Prepare() override {
        const QString& path = fCtx.Request().Of<TPlanOptions>().File;
        const TInputFile file = ReadInputFile(path);
        if (!file.Error.isEmpty()) return file.Error;
        const TPlanFile parsed = ParsePlanCsv(file.Content);
        if (!parsed.Error.isEmpty()) return path + ": " + parsed.Error;
        fPlan = parsed.Plan;
        if (std::none_of(fPlan.Steps.begin(), fPlan.Steps.end(),
                         [](const TPlanStep& s) { return s.Enabled; }))
            return path + ": no step is enabled";
        OpenLog();
        return {};
    }

    // Before the key lock: nothing has been written when the plan does not fit the model.
    QString CheckLimits() override {
        const QString error =
            CheckPlanLimits(fPlan, fCtx.Core().Limits().MaxUset, fCtx.Core().Limits().MaxIset,
                            fCtx.Core().Limits().CurrentDiv, fCtx.Core().Data().UIN);
        return error.isEmpty() ? error : fCtx.Request().Of<TPlanOptions>().File + ": " + error;
    }

protected:
    void Ready() override { BeginPlan(fPlan); }

private:
    TPlan fPlan;
};

}  // namespace

std::unique_ptr<TCliCommand> MakePlanCommand(TCliContext& AContext) {
    return std::make_unique<TPlanFileCommand>(AContext);
}
