#pragma once
// What the preset and parameter logic tells the window's "Profile" and "Parameters" panels, the
// preset-status panels and the set panel's arrows and voltage knob. The main window implements it
// with widgets; tests record it. Everything else (button row, set indicators, charge bar, backlight
// range, temperature unit) comes through the session view.

#include <QString>
#include <cstdint>

// The six preset editors in tag order: set voltage, set current, OVP, OCP, OPP, output timer.
struct TPresetEditors {
    uint32_t Values[6] = {};
    // Point position per editor (p shows p - 1 decimals); the timer shows hours:minutes.
    uint32_t PointPos[6] = {3, 3, 3, 3, 2, 1};
    uint32_t Min[6] = {};
    uint32_t Max[6] = {};
    // The OVP and OCP check boxes beside their levels (from ver_45 on, where the preset says
    // whether each protection is on).
    bool ProtectionTriggersShown = false;
    bool operator==(const TPresetEditors&) const = default;
};

struct TPresetChecks {
    bool DefaultOnStart = false;  // "Default on start" / "Soft Front"
    bool PowerOnStart = false;
    bool OvpTrigger = false;
    bool OcpTrigger = false;
    bool operator==(const TPresetChecks&) const = default;
};

// Visibility of the three preset-status panels ("SF" sits further left while "OVP" is shown).
struct TPresetStatus {
    bool SF = false;
    bool OVP = false;
    bool OCP = false;
    bool operator==(const TPresetStatus&) const = default;
};

// Enabled states and visibility of the controls the preset rules decide.
struct TPresetControls {
    // Preset panel.
    bool UsetEdit = false;
    bool IsetEdit = false;
    bool OvpEdit = false;
    bool OcpEdit = false;
    bool OppEdit = false;
    bool TimerEdit = false;
    bool PresetSave = false;
    bool Refresh = false;
    bool DefaultOnStart = false;
    bool PowerOnStart = false;
    bool OvpTrigger = false;
    bool OcpTrigger = false;
    // Parameter panel.
    bool Advanced = false;
    bool ParamSave = false;
    bool AutoReset = false;
    bool Backlight = false;
    bool OverHeatEdit = false;
    bool MaxMemoryEdit = false;
    // Set panel: voltage knob only for M presets; step and cursor arrows when "Show Cursor
    // Buttons" is checked, the voltage ones only for M presets.
    bool VoltageKnobVisible = true;
    bool VoltageArrowsVisible = false;
    bool CurrentArrowsVisible = false;
    bool operator==(const TPresetControls&) const = default;
};

class TPresetView {
public:
    virtual ~TPresetView() = default;

    // --- "Profile" panel ---
    virtual void ShowPresetEditors(const TPresetEditors& AEditors) = 0;
    virtual void ShowPresetChecks(const TPresetChecks& AChecks) = 0;
    // "M3 Profile" or "M3 Settings".
    virtual void ShowPresetCaption(const QString& ACaption) = 0;
    virtual void ShowPresetStatus(const TPresetStatus& AStatus) = 0;
    virtual void ShowPresetControls(const TPresetControls& AControls) = 0;

    // --- "Parameters" panel ---
    // Over-heat editor: the value in the unit shown and the unit name "C" or "F".
    virtual void ShowOverHeat(uint32_t AValue, const QString& AUnit) = 0;
    virtual void ShowMaxMemory(uint32_t AValue) = 0;
    // Backlight slider position (its maximum comes with the model features).
    virtual void ShowBacklight(uint32_t APosition) = 0;

    // Yes/No confirmation, modal and centred on the window; true for Yes. (Same signature as the
    // session view's, so a window implementing both answers both with one box.)
    virtual bool Confirm(const QString& AText) = 0;
};

// A view that shows nothing (command line, tools without panels).
class TNullPresetView : public TPresetView {
public:
    void ShowPresetEditors(const TPresetEditors&) override {}
    void ShowPresetChecks(const TPresetChecks&) override {}
    void ShowPresetCaption(const QString&) override {}
    void ShowPresetStatus(const TPresetStatus&) override {}
    void ShowPresetControls(const TPresetControls&) override {}
    void ShowOverHeat(uint32_t, const QString&) override {}
    void ShowMaxMemory(uint32_t) override {}
    void ShowBacklight(uint32_t) override {}
    bool Confirm(const QString&) override { return false; }
};
