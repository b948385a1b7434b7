// charge: a battery charged by the plan of its chemistry (constant current, then constant voltage
// until the current tapers), printed first and refused before anything is written when the model
// cannot deliver it. The live preset's OVP and OCP are raised a little above the plan for the run
// and put back at its end, whatever ends it (the run's protections, shared with the window).

#include <optional>

#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "cli/cli_plan_run.h"
#include "session/preset_rules.h"
#include "session/presets.h"
#include "session/range_checks.h"
#include "session/session_core.h"
#include "tools/core/charge_flow.h"
#include "tools/core/charge_plan.h"
#include "tools/core/run_protections.h"

namespace {

class TChargeCommand : public TPlanRunCommand {
public:
    using TPlanRunCommand::TPlanRunCommand;
    ~TChargeCommand() override {
        fProtections.reset();
        fPresets.reset();
    }

    QString Prepare() override {
        const TChargeOptions& r = fCtx.Request().Of<TChargeOptions>();
        fSettings.Chemistry = r.Chemistry;
        fSettings.Cells = r.Cells;
        fSettings.CapacityMah = static_cast<uint32_t>(ToUnits(*r.Capacity, 3));
        if (r.Current) fSettings.Milliamps = static_cast<uint32_t>(ToUnits(*r.Current, 3));
        if (r.Termination)
            fSettings.TerminationMa = static_cast<uint32_t>(ToUnits(*r.Termination, 3));
        OpenLog();
        return {};
    }

    void SessionCreated() override {
        fPresets = std::make_unique<TPresetLogic>(fCtx.Core(), fView);
        fProtections = std::make_unique<TRunProtections>(fCtx.Core(), *fPresets);
    }

    // The plan is made for the identified model, printed, and refused before the key lock when
    // the model cannot deliver it.
    QString CheckLimits() override {
        const uint32_t div = fCtx.Core().Limits().CurrentDiv;
        fCharge = MakeChargePlan(fSettings, div);
        if (!fCharge.Error.isEmpty()) return "charge: " + fCharge.Error;
        const TPlanStep& step = fCharge.Plan.Steps[0];
        if (fCtx.Request().Json)
            fCtx.Print(
                JsonObject({StringField("chemistry", fSettings.Chemistry),
                            NumberField("cells", QString::number(fSettings.Cells), ""),
                            NumberField("capacity", FormatUnits(fSettings.CapacityMah, 3), "Ah"),
                            NumberField("voltage", FormatUnits(step.Centivolts, 2), "V"),
                            NumberField("current", Amperes(step.Milliamps), "A"),
                            NumberField("termination", Amperes(fCharge.TerminationMa), "A"),
                            StringField("until", UntilText(step)),
                            NumberField("max_seconds", QString::number(step.MaxSeconds), "s")}) +
                "\n");
        else
            fCtx.Print("charge " + ChargePlanText(fSettings, fCharge, div) + "\n" +
                       QString::fromUtf8(PlanCsvText(fCharge.Plan)));
        QString error = CheckPlanLimits(fCharge.Plan, fCtx.Core().Limits().MaxUset,
                                        fCtx.Core().Limits().MaxIset, div, fCtx.Core().Data().UIN);
        if (!error.isEmpty())
            return "charge: " + ModelName(fCtx.Core()) +
                   " cannot deliver this plan: " + error.mid(error.indexOf(": ") + 2);
        fLevels = ChargeProtections(fCharge, fCtx.Core().Limits());
        return {};
    }

protected:
    void Ready() override {
        TSessionCore& core = fCtx.Core();
        if (fState == stStart) {
            // The output goes off before the preset (which becomes the live setting) changes.
            if (core.PowerOn()) core.OnOffBtnClick();
            fState = stWaitOff;
        }
        if (fState != stWaitOff || core.Data().ONOFF != 0) return;
        fState = stRaising;
        const QString why =
            fProtections->Raise(fLevels, [this](TRaiseResult AResult, const QString& AError) {
                if (AResult != TRaiseResult::Raised) {
                    fCtx.Fail(AResult == TRaiseResult::NotRead   ? ceLink
                              : AResult == TRaiseResult::Invalid ? ceUsage
                                                                 : ceRefused,
                              AResult == TRaiseResult::Invalid ? "charge: " + AError : AError);
                    return;
                }
                const TProtectionLevels& old = fProtections->Old();
                const int amps = fCtx.Core().Limits().CurrentDecimals();
                if (!fCtx.Request().Json)
                    fCtx.Print("OVP " + FormatUnits(fLevels.Ovp, 2) + " V and OCP " +
                               FormatUnits(fLevels.Ocp, amps) + " A on " +
                               PresetName(fProtections->Memory()) + " for the run (they were " +
                               FormatUnits(old.Ovp, 2) + " V and " + FormatUnits(old.Ocp, amps) +
                               " A)\n");
                fState = stRunning;
                fFlow.emplace(fCharge.TerminationMa, fCtx.Core().Limits().CurrentDiv);
                BeginPlan(fCharge.Plan);
            });
        if (!why.isEmpty()) fCtx.Fail(ceLink, why);
    }

    // The old levels go back at the end, after the switch-off, also after a lost link.
    std::vector<TFinalWrite> FinalWrites() const override {
        if (!fProtections || !fProtections->Owed()) return {};
        const uint32_t mem = fProtections->Memory();
        const QString ovp = FormatUnits(fProtections->Old().Ovp, 2);
        const QString ocp =
            FormatUnits(fProtections->Old().Ocp, fCtx.Core().Limits().CurrentDecimals());
        const QString failure = "putting the OVP and OCP of " + PresetName(mem) + " back to " +
                                ovp + " V and " + ocp +
                                " A was not confirmed (%1); check them, or set them with "
                                "'benchlordctl LINK preset save " +
                                QString::number(mem) + " --ovp " + ovp + " --ocp " + ocp + "'";
        std::vector<TFinalWrite> writes;
        for (const TRegisterWrite& w : fProtections->RestoreWrites())
            writes.push_back({w.Start, w.Values, failure});
        return writes;
    }

    QString Summary(TPlanEnd AEnd) const override {
        if (AEnd != TPlanEnd::Completed) return TPlanRunCommand::Summary(AEnd);
        const TStepResult& last = LastStep();
        if (last.End == TStepEnd::MaxTime)
            return "stopped at its maximum time before the current fell to " +
                   Amperes(fCharge.TerminationMa) + " A";
        if (last.Condition == 1)
            return "charged: " + FormatUnits(fCharge.Plan.Steps[0].Until[1].Value, 3) +
                   " Ah went in";
        return "charged: the current fell to " + Amperes(fCharge.TerminationMa) + " A";
    }

    // Readings before the charge current has flowed do not count (an open load would read as
    // a full cell); without it for ten seconds the charge fails.
    bool Counts(const TCurrentSet& AData) override {
        const auto verdict =
            fFlow->Reading(AData, Runner()->Progress().OutputSeen, Clock().TickCount());
        if (verdict == TChargeFlowGuard::TVerdict::NoCurrent)
            fCtx.Fail(ceRefused, "charge: " + fFlow->Failure());
        return verdict == TChargeFlowGuard::TVerdict::Counts;
    }

private:
    enum TState { stStart, stWaitOff, stRaising, stRunning };

    TChargeSettings fSettings;
    TChargePlan fCharge;
    TNullPresetView fView;
    std::unique_ptr<TPresetLogic> fPresets;
    std::unique_ptr<TRunProtections> fProtections;
    TProtectionLevels fLevels;
    TState fState = stStart;
    std::optional<TChargeFlowGuard> fFlow;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeChargeCommand(TCliContext& AContext) {
    return std::make_unique<TChargeCommand>(AContext);
}
