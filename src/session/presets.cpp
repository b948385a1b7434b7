// Preset selection, the "Profile" panel, Save, Refresh and the long press.

#include "session/presets.h"

#include <algorithm>

#include "device/register_codec.h"
#include "session/preset_rules.h"
#include "session/session_core.h"

TPresetLogic::TPresetLogic(TSessionCore& ACore, TPresetView& AView) : fCore(ACore), fView(AView) {
    BindJobs();
    BindEvents();
    fBacklight = fCore.Data().BLED;
    RefreshControls();
}

TPresetLogic::~TPresetLogic() {
    // Nobody waits for an answer any more; the handlers are dropped unanswered.
    fOps.clear();
    fSelectDone = nullptr;
}

void TPresetLogic::BindEvents() {
    ChainEvent<bool>(fCore.fOnMemNumWritten, fAlive, [this](bool AOk) { MemNumWritten(AOk); });
    ChainEvent<uint32_t>(fCore.fOnMemNumRead, fAlive, [this](uint32_t) { RefreshControls(); });
    ChainEvent<>(fCore.fOnGlobalDataRead, fAlive, [this] { RefreshControls(); });
    ChainEvent<>(fCore.fOnSessionStarted, fAlive, [this] { SessionStarted(); });
    ChainEvent<>(fCore.fOnSessionEnded, fAlive, [this] { SessionEnded(); });
}

uint32_t TPresetLogic::PresetCount() const {
    return std::min<uint32_t>(fCore.Data().MMAX, kMemoryCount);
}

// --- selection ----------------------------------------------------------------------------------

bool TPresetLogic::Unsaved() const {
    const TMemorySet& m = fCore.Memory();
    const TMemorySet& s = fStoredBlock;
    return m.USET != s.USET || m.ISET != s.ISET || m.SOVP != s.SOVP || m.SOCP != s.SOCP ||
           m.SOPP != s.SOPP || m.OTIM != s.OTIM || !(fChecks == fStoredChecks);
}

void TPresetLogic::ToolButtonClick(int ATag) {
    if (!fCore.Connected() || ATag < 0 || ATag >= kMemoryCount) return;
    const uint32_t shown = fCore.Data().MEM;
    if (static_cast<uint32_t>(ATag) != shown && !fPending && Unsaved()) {
        const QString text = PresetName(shown) + " has changes that are not saved." + "\r" +
                             "Switch to " + PresetName(static_cast<uint32_t>(ATag)) +
                             " and drop them?";
        if (!fView.Confirm(text) || !fCore.Connected()) {
            // The row shows the preset that is still selected.
            const TPanelState& p = fCore.Panel();
            fCore.SetMemoryButtons(p.MemoryButtonsVisible, p.MemoryButtonsEnabled,
                                   static_cast<int32_t>(fCore.Data().MEM));
            return;
        }
    }
    if (fSelectDone) FinishSelect(false);  // a newer choice replaces an unanswered one
    TCurrentSet& d = fCore.Data();
    d.MEM = static_cast<uint16_t>(ATag);
    TLN_TaskMgr& t = fCore.TaskMgr();
    t.WriteMemNum();
    t.ReadSetData();
    fPanelRead = true;
    t.ReadMemory();
    fPending = true;
    // The row waits for the memory-number write; the controls wait for the block.
    fCore.SetMemoryButtons(static_cast<int32_t>(PresetCount()), false, ATag);
    fCore.SetPresetControlsEnabled(false);
    RefreshControls();
}

void TPresetLogic::MemNumWritten(bool AOk) {
    fPending = false;
    // The row comes back after a failed write too, so the user can choose again; the button
    // stays as pressed until the next memory-number read.
    const TPanelState& p = fCore.Panel();
    fCore.SetMemoryButtons(p.MemoryButtonsVisible, fCore.Connected(), p.MemoryButtonDown);
    if (!AOk) FinishSelect(false);
}

void TPresetLogic::FinishSelect(bool AOk) {
    TDoneHandler done = std::move(fSelectDone);
    fSelectDone = nullptr;
    if (done) done(AOk);
}

void TPresetLogic::SessionStarted() {
    // The session start enabled the row and asked for the selected block.
    fPending = false;
    fPanelRead = true;
    fPanelWrite = false;
    SetBacklightPosition(fCore.Data().BLED);
    RefreshControls();
}

void TPresetLogic::SessionEnded() {
    fPending = false;
    fPanelRead = false;
    fPanelWrite = false;
    FinishSelect(false);
    FailAllOps();
    RefreshControls();
    // The idle look: the plain caption and no SF/OVP/OCP badges.
    fCaption = QStringLiteral("Profile");
    fView.ShowPresetCaption(fCaption);
    ShowStatus(TPresetStatus{});
}

// --- panel --------------------------------------------------------------------------------------

void TPresetLogic::PanelStateChanged() {
    RefreshControls();
}

void TPresetLogic::RefreshControls() {
    TPresetRuleInputs in;
    in.Enabled = fCore.Panel().PresetControlsEnabled;
    in.Version = fCore.Model().Version;
    in.Korad = fCore.Model().Korad;
    in.Mem = fCore.Data().MEM;
    in.CursorButtons = fCursorButtons;
    in.SetLocked = SetLocked();
    const TPresetControls c = PresetControlStates(in);
    if (fShownOnce && c == fControls) return;
    fShownOnce = true;
    fControls = c;
    fView.ShowPresetControls(fControls);
}

void TPresetLogic::ShowChecks() {
    fView.ShowPresetChecks(fChecks);
}

void TPresetLogic::ShowStatus(const TPresetStatus& AStatus) {
    fStatus = AStatus;
    fView.ShowPresetStatus(fStatus);
}

void TPresetLogic::PanelUpdate(bool AFromBlock) {
    const TMemorySet& m = fCore.Memory();
    const TVersion v = fCore.Model().Version;
    // 1. Editors.
    const TPresetEditors e = PresetEditorsOf(m, v, fCore.Limits().MaxUset, fCore.Limits().MaxIset,
                                             fCore.Limits().MaxPower, fCore.Limits().CurrentDiv);
    if (!(e == fEditors)) {
        fEditors = e;
        fView.ShowPresetEditors(fEditors);
    }
    // 2. Check boxes from the block just read. After an edit in the pop-up they keep what the
    //    user ticked: only Save stores them.
    if (AFromBlock) {
        fChecks = PresetChecksOf(m, v);
        fStoredBlock = m;
        fStoredChecks = fChecks;
        ShowChecks();
    }
    // 3. Parameter editors and the buttons below MMAX.
    if (fOnPanelUpdate) fOnPanelUpdate();
    const TPanelState& p = fCore.Panel();
    fCore.SetMemoryButtons(static_cast<int32_t>(PresetCount()), p.MemoryButtonsEnabled,
                           p.MemoryButtonDown);
    // 4. Caption.
    fCaption = PresetPanelCaption(v, fCore.Data().MEM);
    fView.ShowPresetCaption(fCaption);
    // 5. Controls enabled, whatever the output state.
    fCore.SetPresetControlsEnabled(true);
    RefreshControls();
    // 6. Status panels.
    ShowStatus(PresetStatusOf(m.PRFS, v));
}

void TPresetLogic::EditorClosed() {
    PanelUpdate(false);
}

void TPresetLogic::DefaultOnStartClick(bool AChecked) {
    fChecks.DefaultOnStart = AChecked;
}

void TPresetLogic::PowerOnStartClick(bool AChecked) {
    fChecks.PowerOnStart = AChecked;
}

void TPresetLogic::OvpTriggerClick(bool AChecked) {
    fChecks.OvpTrigger = AChecked;
}

void TPresetLogic::OcpTriggerClick(bool AChecked) {
    fChecks.OcpTrigger = AChecked;
}

void TPresetLogic::SetCursorButtons(bool AShown) {
    fCursorButtons = AShown;
    RefreshControls();
}

void TPresetLogic::SetBacklightPosition(uint32_t APosition) {
    fBacklight = APosition;
    fView.ShowBacklight(fBacklight);
}

// --- save, refresh, long press ------------------------------------------------------------------

void TPresetLogic::MakeLive(const TMemorySet& ABlock) {
    // The stored preset becomes the live setting; the pair is written even when it equals the
    // last one sent.
    const uint32_t uset = std::clamp<uint32_t>(ABlock.USET, 10, fCore.Limits().MaxUset);
    const uint32_t iset = std::clamp<uint32_t>(ABlock.ISET, 1, fCore.Limits().MaxIset);
    fCore.UsetIndChange(uset);
    fCore.IsetIndChange(iset);
    fCore.ForceSetDataWrite();
}

bool TPresetLogic::SetLocked() const {
    return fCore.Connected() && fCore.PowerOn() && !fCore.Panel().KnobsEnabled;
}

void TPresetLogic::M_SaveBtnClick() {
    TCurrentSet& d = fCore.Data();
    // Saving makes the preset the live setting, so it obeys the set lock as the knobs do.
    if (!fCore.Connected() || d.MEM >= kMemoryCount || SetLocked()) return;
    TMemorySet& m = fCore.Memory();
    const TVersion v = fCore.Model().Version;
    m.PRFS = EncodePRFS(v, fChecks.DefaultOnStart, fChecks.OvpTrigger, fChecks.OcpTrigger);
    m.SINI = fChecks.PowerOnStart ? 1 : 0;
    m.BLED_ = fBacklight;
    fPanelWrite = true;
    fCore.TaskMgr().WriteMemory();
    fStoredBlock = m;
    fStoredChecks = fChecks;
    MakeLive(m);
    if (v >= ver_43) {
        d.CMD = kCmdPresetSaved;
        fCore.TaskMgr().WriteCommand();
    }
    ShowStatus(PresetStatusOf(m.PRFS, v));
}

void TPresetLogic::M_RefreshBtnClick() {
    if (!fCore.Connected()) return;
    fPanelRead = true;
    fCore.TaskMgr().ReadMemory();
}

void TPresetLogic::LongPress(int ATag) {
    // Only M presets, only the selected one, only in a session.
    TCurrentSet& d = fCore.Data();
    if (!fCore.Connected() || ATag < 0 || ATag > 9 || static_cast<uint32_t>(ATag) != d.MEM) return;
    const QString text = LongPressConfirmText(static_cast<uint32_t>(ATag), d.USET, d.ISET,
                                              fCore.Limits().CurrentDiv);
    if (!fView.Confirm(text)) return;
    // The session may have ended while the box was open.
    if (!fCore.Connected() || d.MEM != static_cast<uint32_t>(ATag)) return;
    TMemorySet& m = fCore.Memory();
    m.USET = d.USET;
    m.ISET = d.ISET;
    fPanelWrite = true;
    fCore.TaskMgr().WriteMemory();
    fPanelRead = true;
    fCore.TaskMgr().ReadMemory();
}
