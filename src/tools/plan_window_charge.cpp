// The Plans window's charge: "Charge..." puts the plan of benchlordctl charge in the editor, and
// that plan runs under the same raised OVP and OCP (the run's protections), put back at every
// end: through the preset logic when the run ends and the session goes on, at once when the
// session ends with it.

#include <QLabel>
#include <QListWidget>
#include <algorithm>

#include "device/register_map.h"

#include "session/preset_rules.h"
#include "session/session_core.h"
#include "tools/charge_dialog.h"
#include "tools/core/output_off.h"
#include "tools/plan_window.h"

namespace {

QString Levels(const TProtectionLevels& ALevels, uint32_t ACurrentDiv) {
    return QString::number(ALevels.Ovp / 100.0, 'f', 2) + " V and " +
           QString::number(ALevels.Ocp / (ACurrentDiv == 10 ? 1000.0 : 100.0), 'f',
                           ACurrentDiv == 10 ? 3 : 2) +
           " A";
}

}  // namespace

void TPlanWindow::ChargeClick() {
    if (Running() || !AllowDiscard() || !AllowDiscardLog()) return;
    const uint32_t div = fCore.Limits().CurrentDiv;
    std::optional<TChargeSettings> wanted;
    if (fOptions.AskCharge) {
        wanted = fOptions.AskCharge(fChargeSettings);
    } else {
        TChargeDialog dialog(div, this);
        dialog.SetSettings(fChargeSettings);
        if (dialog.exec() == QDialog::Accepted) wanted = dialog.Settings();
    }
    if (!wanted) return;
    const TChargePlan plan = MakeChargePlan(*wanted, div);
    if (!plan.Error.isEmpty()) {
        ShowError("No charge plan: " + plan.Error + ".");
        return;
    }
    fChargeSettings = *wanted;
    ClearLastRun();
    fEditor->SetRows(
        PlanRowsFromText(PlanCsvText(plan.Plan, "charge " + ChargePlanText(*wanted, plan, div))));
    fChargePlan = plan;
    fPath.clear();
    SetModified(true);
}

bool TPlanWindow::IsChargePlan(const TPlan& APlan) const {
    if (!fChargePlan) return false;
    // Built again for the model connected now; an edited plan is a plan of its own.
    TPlan built = MakeChargePlan(fChargeSettings, fCore.Limits().CurrentDiv).Plan;
    TPlan plan = APlan;
    for (TPlan* p : {&built, &plan})
        for (TPlanStep& step : p->Steps)
            step.Line = 0;
    return plan == built;
}

void TPlanWindow::Raised(TRaiseResult AResult, const QString& AError, const TPlan& APlan) {
    if (!fRaising) {
        // Stopped while the levels were on their way: they go back at once.
        if (!fSessionEnding && fProtections->Owed()) PutProtectionsBack(!fCore.Connected());
        return;
    }
    if (AResult != TRaiseResult::Raised) {
        fRaising = false;
        ShowError("The plan cannot run: " + AError + ".");
        if (fProtections->Owed()) PutProtectionsBack(false);
        UpdateButtons();
        if (OnRunningChanged) OnRunningChanged();
        return;
    }
    const uint32_t div = fCore.Limits().CurrentDiv;
    AddEvent("OVP and OCP " + Levels(fProtections->Raised(), div) + " on " +
             PresetName(fProtections->Memory()) + " for the run (they were " +
             Levels(fProtections->Old(), div) + ")");
    fFlow.emplace(MakeChargePlan(fChargeSettings, div).TerminationMa, div);
    StartRun(APlan);
}

bool TPlanWindow::SendEndingWrites(bool AOff, int ATimeoutMs, QString& AProtections) {
    AProtections.clear();
    std::vector<TRegisterWrite> writes;
    if (AOff) writes.push_back({hreg::ONOFF, {0}});
    const bool owed = fProtections && fProtections->Owed();
    if (owed)
        for (const TRegisterWrite& w : fProtections->RestoreWrites())
            writes.push_back(w);
    if (writes.empty()) return false;
    // One go: a supply that stopped answering may still take them all.
    const std::vector<bool> answered = WriteRegistersNow(fCore, writes, ATimeoutMs);
    if (owed) {
        const QString levels = Levels(fProtections->Old(), fCore.Limits().CurrentDiv);
        const QString preset = PresetName(fProtections->Memory());
        if (std::all_of(answered.begin() + (AOff ? 1 : 0), answered.end(),
                        [](bool A) { return A; })) {
            fProtections->Settled();
            AProtections = " The OVP and OCP of " + preset + " were put back to " + levels + ".";
        } else {
            AProtections = " Putting the OVP and OCP of " + preset + " back to " + levels +
                           " was not confirmed (no reply from the supply): check them on the "
                           "supply.";
        }
    }
    return AOff && answered.front();
}

void TPlanWindow::PutProtectionsBack(bool ANow) {
    if (!fProtections || !fProtections->Owed()) return;
    if (ANow) {
        QString told;
        SendEndingWrites(false, static_cast<int>(fCore.Timings().DrainTimeout), told);
        AddEvent(told.trimmed());
        if (fProtections->Owed()) ShowError(told.trimmed());
        return;
    }
    const QString levels = Levels(fProtections->Old(), fCore.Limits().CurrentDiv);
    const QString preset = PresetName(fProtections->Memory());
    fProtections->Restore([this, levels, preset](const QString& AError) {
        if (AError.isEmpty()) {
            AddEvent("The OVP and OCP of " + preset + " were put back to " + levels);
            return;
        }
        const QString text = "Putting the OVP and OCP of " + preset + " back to " + levels +
                             " was not confirmed (" + AError + "): check them on the supply.";
        AddEvent(text);
        ShowError(text);
    });
}
