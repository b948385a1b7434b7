#pragma once
// The memory presets of a session, without widgets: selecting one of the twenty presets (M0-M9,
// C0-C9), the "Profile" panel (editors, check boxes, caption, status panels, enabled states per
// firmware class and preset), Save, Refresh and the long press that stores the live set values.
// Bound to a TSessionCore: it serves the scheduler's preset-block jobs and follows the core's
// memory-number and session events. A command-line front end reads and stores blocks by number.
//
//     TPresetLogic presets(core, view);          // after the core, destroyed before or after it
//     window: bar click -> presets.ToolButtonClick(tag); pop-up closed -> presets.EditorClosed();
//             TSessionView::ShowPanelState -> presets.PanelStateChanged();
//
// Everything runs on the user-interface thread.

#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "device/device_records.h"
#include "session/event_chain.h"
#include "session/preset_view.h"

class TSessionCore;

// Values to store into a preset; fields left unset keep what the device holds.
struct TPresetValues {
    std::optional<uint32_t> Uset = std::nullopt;   // 0.01 V
    std::optional<uint32_t> Iset = std::nullopt;   // current unit
    std::optional<uint32_t> Ovp = std::nullopt;    // 0.01 V
    std::optional<uint32_t> Ocp = std::nullopt;    // current unit
    std::optional<uint32_t> Opp = std::nullopt;    // 0.1 W
    std::optional<uint32_t> Timer = std::nullopt;  // minutes, 0 for no timer
    std::optional<bool> DefaultOnStart = std::nullopt;
    std::optional<bool> PowerOnStart = std::nullopt;
    std::optional<bool> OvpTrigger = std::nullopt;
    std::optional<bool> OcpTrigger = std::nullopt;
};

class TPresetLogic {
public:
    // Completion of a block operation: success and the block as the device holds it.
    using TBlockHandler = std::function<void(bool AOk, const TMemorySet& ABlock)>;
    using TDoneHandler = std::function<void(bool AOk)>;

    TPresetLogic(TSessionCore& ACore, TPresetView& AView);
    ~TPresetLogic();
    TPresetLogic(const TPresetLogic&) = delete;
    TPresetLogic& operator=(const TPresetLogic&) = delete;

    // --- forwarded from the window ---
    // Preset button (tag 0..19): selects the preset on the device and reads its block.
    void ToolButtonClick(int ATag);
    // The long-press timer fired for the button that was already down: asks to store the live
    // set values into that M preset.
    void LongPress(int ATag);
    void M_SaveBtnClick();
    void M_RefreshBtnClick();
    // The value-entry pop-up closed (the editors edit the block of Memory() in place).
    void EditorClosed();
    void DefaultOnStartClick(bool AChecked);
    void PowerOnStartClick(bool AChecked);
    void OvpTriggerClick(bool AChecked);
    void OcpTriggerClick(bool AChecked);
    // The session pushed its panel state (the preset controls' overall enabled state).
    void PanelStateChanged();

    // Shared with the parameter panel: "Show Cursor Buttons" and the backlight slider.
    void SetCursorButtons(bool AShown);
    bool CursorButtons() const { return fCursorButtons; }
    void SetBacklightPosition(uint32_t APosition);
    uint32_t BacklightPosition() const { return fBacklight; }

    // Panel update: editors, check boxes (from the block when AFromBlock), parameter editors,
    // buttons below MMAX, caption, controls enabled, status panels.
    void PanelUpdate(bool AFromBlock);

    // --- state ---
    bool Pending() const { return fPending; }
    // The panel holds edits of the selected preset (editors or check boxes) that its last
    // read or Save did not put there; choosing another preset asks before dropping them.
    bool Unsaved() const;
    const TPresetChecks& Checks() const { return fChecks; }
    const TPresetControls& Controls() const { return fControls; }
    const TPresetStatus& Status() const { return fStatus; }
    const QString& Caption() const { return fCaption; }
    // Presets the unit offers (buttons shown): MMAX, at most 20.
    uint32_t PresetCount() const;

    // Runs inside the panel update, where the parameter panel refreshes its editors.
    std::function<void()> fOnPanelUpdate;

    // --- command line: each returns an empty text when accepted, else why not ---
    // Selects preset ANum; AOnDone(true) once its block has been read, false when the
    // memory-number write failed or the session ended first.
    QString SelectPreset(uint32_t ANum, TDoneHandler AOnDone = {});
    // Reads block ANum (0..19) without selecting it.
    QString ReadBlock(uint32_t ANum, TBlockHandler AOnDone);
    // Reads block ANum, applies AValues (checked against the model limits and what the firmware
    // class allows), writes it back and, from ver_43 on, sends the preset-saved command. Storing
    // into the selected preset also makes it the live setting, as the Save button does.
    QString SaveBlock(uint32_t ANum, const TPresetValues& AValues, TBlockHandler AOnDone);
    // Why AValues cannot go into preset ANum (empty when they can).
    QString CheckValues(uint32_t ANum, const TPresetValues& AValues) const;

private:
    struct TBlockOp {
        uint64_t Id = 0;
        uint16_t Num = 0;
        bool Write = false;
        bool InFlight = false;
        TMemorySet Block{};
        TBlockHandler Done;
    };

    // presets.cpp
    void BindEvents();
    void MemNumWritten(bool AOk);
    void SessionStarted();
    void SessionEnded();
    void RefreshControls();
    void ShowChecks();
    void ShowStatus(const TPresetStatus& AStatus);
    // Output on and the knobs locked: the live set values may not change.
    bool SetLocked() const;
    void MakeLive(const TMemorySet& ABlock);
    void FinishSelect(bool AOk);

    // preset_blocks.cpp
    void BindJobs();
    void ServeReadMemory();
    void ServeWriteMemory();
    void ServeHeadOp();
    void PanelBlockRead(const TMemorySet& ABlock);
    void KickOps();
    void FinishHead(uint64_t AId, bool AOk, const TMemorySet& ABlock);
    void FailAllOps();
    void Enqueue(uint16_t ANum, bool AWrite, const TMemorySet& ABlock, TBlockHandler ADone);
    void StoreMerged(uint16_t ANum, const TPresetValues& AValues, const TMemorySet& ARead,
                     TBlockHandler ADone);

    TSessionCore& fCore;
    TPresetView& fView;
    TAliveToken fAlive = MakeAliveToken();

    bool fPending = false;     // a preset change waits for its memory-number write
    bool fPanelRead = false;   // the ReadMemory job is wanted for the selected preset
    bool fPanelWrite = false;  // the WriteMemory job is wanted for the selected preset
    bool fCursorButtons = false;
    uint32_t fBacklight = 0;
    TDoneHandler fSelectDone;

    TPresetChecks fChecks;
    TMemorySet fStoredBlock;      // the block as last read or saved
    TPresetChecks fStoredChecks;  // the check boxes as the stored block has them
    TPresetControls fControls;
    TPresetStatus fStatus;
    TPresetEditors fEditors;
    QString fCaption;
    bool fShownOnce = false;

    std::deque<TBlockOp> fOps;
    uint64_t fNextOpId = 1;
};
