// Output control: set values from the knobs and set indicators, switching the output, the set
// lock, counter reset and automatic reset. Each action changes the records first and then marks a
// scheduler job; the write happens when the scheduler serves it.

#include <algorithm>

#include "session/session_core.h"

void TSessionCore::U_KnobChange(uint32_t APosition) {
    if (APosition < 10 || APosition > MaxUset()) return;
    fView.EndSetEditing();
    gData.USET = APosition;
    fView.ShowSetValues(gData.USET, gData.ISET);
    SetValueChange();
}

void TSessionCore::I_KnobChange(uint32_t APosition) {
    if (APosition < 1 || APosition > MaxIset()) return;
    fView.EndSetEditing();
    gData.ISET = APosition;
    fView.ShowSetValues(gData.USET, gData.ISET);
    SetValueChange();
}

void TSessionCore::UsetIndChange(uint32_t AValue) {
    if (AValue < 10 || AValue > MaxUset()) return;
    gData.USET = AValue;
    fView.ShowSetValues(gData.USET, gData.ISET);
    SetValueChange();
}

void TSessionCore::IsetIndChange(uint32_t AValue) {
    if (AValue < 1 || AValue > MaxIset()) return;
    gData.ISET = AValue;
    fView.ShowSetValues(gData.USET, gData.ISET);
    SetValueChange();
}

void TSessionCore::SetValueChange() {
    if (fConnected && gData.LOCK == 1 && !fObserver) fTaskMgr->WriteSetData();
    RefreshSetPower();
}

void TSessionCore::ForceSetDataWrite() {
    // The pair differs from the last written one, so the next WriteSetData is sent.
    fPrevUset = gData.USET + 1;
    fTaskMgr->WriteSetData();
}

void TSessionCore::SetPoints(uint32_t AUset, uint32_t AIset) {
    fView.EndSetEditing();
    gData.USET = std::min(AUset, MaxUset());
    gData.ISET = std::min(AIset, MaxIset());
    fView.ShowSetValues(gData.USET, gData.ISET);
    SetValueChange();
}

void TSessionCore::WriteSetDataJob() {
    // Many knob steps may come before the job is served; only the latest pair is written, and
    // nothing when it equals the last one. Then the job is complete at once, so the scheduler
    // goes on after its pause instead of waiting out the response time-out.
    if (gData.USET == fPrevUset && gData.ISET == fPrevIset) {
        fTaskMgr->Callback();
        return;
    }
    fPrevUset = gData.USET;
    fPrevIset = gData.ISET;
    WriteRegisters(hreg::USET,
                   {static_cast<uint16_t>(gData.USET), static_cast<uint16_t>(gData.ISET)});
}

void TSessionCore::OnOffBtnClick() {
    if (!fConnected || gData.LOCK != 1 || fObserver) return;
    const bool wasOn = fPowerOn;
    fPowerOn = !fPowerOn;
    // Until the write of this click is acknowledged, a reading taken before it (a poll already
    // on its way) must not be taken for the device switching off and undo the click.
    fWriteOnOffAccepted = false;
    if (!fModel.RCNT) {
        // The time continues from where it stood.
        fTimePowerStart = fClock.TickCount();
        fTimePrevious = fTime;
    } else if (!wasOn && fPowerOn) {
        ResetCounters();
        RepaintCounters();
    }
    fTaskMgr->WriteOnOff();
    ConnectedState(fPowerOn);
}

void TSessionCore::WriteOnOffJob() {
    fWriteOnOffAccepted = false;
    const bool on = fPowerOn;
    if (!on) {
        WriteRegister(hreg::ONOFF, 0);
        return;
    }
    WriteRegister(hreg::ONOFF, 1, [this] {
        fWriteOnOffAccepted = true;
        fTaskMgr->Callback();
    });
}

void TSessionCore::UnlockSetBtnClick() {
    const bool usable = !fPanel.KnobsEnabled;
    fPanel.KnobsEnabled = usable;
    fPanel.SetLockCaption = usable ? "Lock SET" : "Unlock SET";
    PushPanel();
}

void TSessionCore::ResetCountersButtonClick() {
    ResetCounters();
    RepaintCounters();
    if (!fConnected) return;
    gData.CMD = kCmdResetCounters;
    if (fModel.Version >= ver_43) fTaskMgr->WriteCommand();
}

void TSessionCore::P_ResetCountersCheckBoxClick(bool AChecked) {
    fResetCountersChecked = AChecked;
    if (fModel.Version == ver_18) fModel.RCNT = AChecked;
}

void TSessionCore::ApplyOutputState(bool AOutputOn) {
    const bool editable = fConnected && !AOutputOn;
    fPanel.KnobsEnabled = editable;
    fPanel.SetLockCaption = editable ? "Lock SET" : "Unlock SET";
    fPanel.StepArrowsEnabled = editable;
    fPanel.UsetIndEnabled = editable && gData.MEM < 10;
    fPanel.IsetIndEnabled = editable;
    fPanel.SetLockEnabled = !editable;
    fPanel.AutotestStartEnabled = editable;
    fPanel.PresetControlsEnabled = editable;
    fPanel.MemoryButtonsEnabled = editable;
    fPanel.HandCursor = editable;
    // Without a session the button looks off, whatever the output was.
    fPanel.OnOffShowsOn = fConnected && AOutputOn;
    PushPanel();
    if (editable) {
        ApplySetColor(fCLR1);
        ApplyOutColor(fCLR1);
        fView.EndAutotest();
    } else {
        ApplySetColor(fCLR1);
        ApplyOutColor(fCLR2);
        RepaintCounters();
    }
}

void TSessionCore::SetPresetControlsEnabled(bool AEnabled) {
    fPanel.PresetControlsEnabled = AEnabled;
    // The voltage set indicator follows the selected preset: editable only for M presets and
    // with the output off, whether or not the preset controls are enabled.
    fPanel.UsetIndEnabled = fConnected && !fPowerOn && gData.MEM < 10;
    PushPanel();
}

void TSessionCore::SetMemoryButtons(int32_t AVisible, bool AEnabled, int32_t ADown) {
    fPanel.MemoryButtonsVisible = AVisible;
    fPanel.MemoryButtonsEnabled = AEnabled;
    fPanel.MemoryButtonDown = ADown;
    PushPanel();
}
