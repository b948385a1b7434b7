// charge: a battery charged by the plan of its chemistry (constant current, then constant voltage
// until the current tapers), printed first and refused before anything is written when the model
// cannot deliver it. The live preset's OVP and OCP are raised a little above the plan for the run
// and put back at its end, whatever ends it (the run's protections, shared with the window).

#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "cli/cli_plan_run.h"
#include "session/preset_rules.h"
#include "session/presets.h"
#include "session/range_checks.h"
#include "session/session_core.h"
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
        const TCliRequest& r = fCtx.Request();
        fSpec.Chemistry = r.Chemistry;
        fSpec.Cells = r.Cells;
        fSpec.CapacityMah = static_cast<uint32_t>(ToUnits(*r.Capacity, 3));
        if (r.Current) fSpec.Milliamps = static_cast<uint32_t>(ToUnits(*r.Current, 3));
        if (r.Termination) fSpec.TerminationMa = static_cast<uint32_t>(ToUnits(*r.Termination, 3));
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
        fCharge = MakeChargePlan(fSpec, div);
        if (!fCharge.Error.isEmpty()) return "charge: " + fCharge.Error;
        const TPlanStep& step = fCharge.Plan.Steps[0];
        if (fCtx.Request().Json)
            fCtx.Print(
                JsonObject({StringField("chemistry", fSpec.Chemistry),
                            NumberField("cells", QString::number(fSpec.Cells), ""),
                            NumberField("capacity", FormatUnits(fSpec.CapacityMah, 3), "Ah"),
                            NumberField("voltage", FormatUnits(step.Centivolts, 2), "V"),
                            NumberField("current", Amperes(step.Milliamps), "A"),
                            NumberField("termination", Amperes(fCharge.TerminationMa), "A"),
                            StringField("until", UntilText(step)),
                            NumberField("max_seconds", QString::number(step.MaxSeconds), "s")}) +
                "\n");
        else
            fCtx.Print("charge " + ChargePlanText(fSpec, fCharge, div) + "\n" +
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

    // A charge ends as charged only once its current has flowed: with no cell or an open
    // contact the current is 0 from the start, which the termination condition would take for
    // a full cell. Until the current has risen above the termination current the readings do
    // not count; without it for kNoCurrentMs after the output came on, the charge fails.
    bool Counts(const TCurrentSet& AData) override {
        if (fFlowing || AData.ONOFF == 0 || !Runner()->Progress().OutputSeen) return true;
        const uint32_t ma = fCtx.Core().Limits().CurrentDiv == 10 ? AData.IOUT : AData.IOUT * 10;
        if (ma > fCharge.TerminationMa) {
            fFlowing = true;
            return true;
        }
        const uint32_t now = Clock().TickCount();
        if (!fWaitingForCurrent) {
            fWaitingForCurrent = true;
            fOutputOnAt = now;
        }
        if (now - fOutputOnAt >= kNoCurrentMs)
            fCtx.Fail(ceRefused, "charge: no charge current: it stayed at " + Amperes(ma) +
                                     " A, not above the termination current of " +
                                     Amperes(fCharge.TerminationMa) + " A, for " +
                                     QString::number(kNoCurrentMs / 1000) +
                                     " s; is a cell connected, are the contacts closed?");
        return false;
    }

private:
    enum TState { stStart, stWaitOff, stRaising, stRunning };
    static constexpr uint32_t kNoCurrentMs = 10000;

    TChargeSettings fSpec;
    TChargePlan fCharge;
    TNullPresetView fView;
    std::unique_ptr<TPresetLogic> fPresets;
    std::unique_ptr<TRunProtections> fProtections;
    TProtectionLevels fLevels;
    TState fState = stStart;
    bool fFlowing = false;            // the charge current has risen above the termination
    bool fWaitingForCurrent = false;  // the output is on and no current has flowed yet
    uint32_t fOutputOnAt = 0;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeChargeCommand(TCliContext& AContext) {
    return std::make_unique<TChargeCommand>(AContext);
}
