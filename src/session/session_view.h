#pragma once
// What the session tells its view. The main window implements this with widgets; tests and the
// command-line front end implement it without. The view only shows and forwards: every decision
// is taken by the session (TSessionCore), which calls these operations on the user-interface
// thread. Values are the device's fixed-point cells (0.01 V, current unit, 0.01 W, ...); texts
// are final and shown as given.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "session/color_helpers.h"

// Animation of the busy indicator next to the connect button.
enum TBusyAnimation { baSector = 0, baDots = 1 };

// Traffic lamp: lit or dark, yellow or red. During normal polling it flickers yellow; it stays
// red after a failed or lost reply until the next successful one.
struct TTrafficLamp {
    bool Lit = false;
    bool Red = false;
    bool operator==(const TTrafficLamp&) const = default;
};

// One displayed counter: value with PointPos - 1 decimals and its unit label.
struct TCounterDisplay {
    uint32_t Value = 0;
    uint32_t PointPos = 3;
    QString Unit;
    bool operator==(const TCounterDisplay&) const = default;
};

// Enabled states and captions of the window's controls. The session pushes the whole record
// whenever any field changes; the view applies each field (controls store only what changed).
struct TPanelState {
    // Connection panel.
    bool ConnectEnabled = true;
    bool DisconnectEnabled = false;
    bool PortListEnabled = true;
    bool BaudListEnabled = true;     // serial entries only
    bool AddressListEnabled = true;  // serial entries only
    bool IpFieldEnabled = false;     // TCP entry only
    bool AutoConnect = false;        // state of the autoconnect toggle
    bool BusyRunning = false;
    TBusyAnimation BusyAnimation = baSector;
    bool OnlineLamp = false;

    // Output panel.
    bool OnOffEnabled = false;
    bool OnOffShowsOn = false;  // on/off button shows its "on" image
    bool CounterResetEnabled = false;
    bool KeysLockedVisible = false;  // "Keys locked" panel
    bool InputVoltageVisible = true;
    bool TemperatureVisible = false;
    bool TemperatureUnitEnabled = false;
    bool TemperatureFahrenheit = false;  // unit choice on its second item ("F")

    // Set panel.
    bool KnobsEnabled = false;  // usable and lit
    bool SetLockEnabled = false;
    QString SetLockCaption = "Unlock SET";  // "Lock SET" while the knobs are usable
    bool StepArrowsEnabled = false;         // step arrows of both set indicators, cursor arrows
    bool HandCursor = false;                // cursor arrows show a hand cursor
    bool UsetIndEnabled = false;
    bool IsetIndEnabled = false;

    // Presets, parameters and tools.
    bool AutotestEnabled = false;       // "Auto Test" button of the main window
    bool AutotestStartEnabled = false;  // start button of the autotest window
    bool PresetPanelEnabled = false;
    bool ParamPanelEnabled = false;
    bool PresetControlsEnabled = false;  // editors and buttons of both panels (detail by presets)
    bool MemoryButtonsEnabled = false;
    int32_t MemoryButtonsVisible = 10;  // buttons below MMAX are shown
    int32_t MemoryButtonDown = -1;      // pressed preset button, -1 none

    bool operator==(const TPanelState&) const = default;
};

// What identification and firmware classification tell the preset, parameter and advanced
// settings controls.
struct TModelFeatures {
    uint32_t Model = 0;                               // advanced window's current-range choice
    int32_t BacklightMax = 5;                         // backlight slider maximum
    uint32_t Backlight = 0;                           // backlight slider position (BLED)
    QString PresetCheckCaption = "Default on start";  // "Soft Front" after classification
    bool BatteryTab = false;                          // advanced window tabs
    bool CalibrationTab = false;
    bool PresetTriggers = false;  // OVP/OCP trigger boxes instead of value editors (ver_45+)
    bool Tmp2CalibEnabled = false;
    bool AutoResetCounters = false;  // "Auto Reset Counters" check box
    bool operator==(const TModelFeatures&) const = default;
};

class TSessionView {
public:
    virtual ~TSessionView() = default;

    // --- lamps and state ---
    virtual void ShowPanelState(const TPanelState& AState) = 0;
    virtual void ShowTraffic(const TTrafficLamp& ALamp) = 0;
    virtual void ShowTitle(const QString& ATitle) = 0;

    // --- connection panel ---
    // Port list items (friendly name + blank + remembered device) and the selected item.
    virtual void ShowPortList(const QStringList& AItems, int ASelected) = 0;
    virtual void ShowBaudIndex(int AIndex) = 0;
    virtual void ShowAddressIndex(int AIndex) = 0;
    virtual void ShowIpText(const QString& AText) = 0;

    // --- set panel ---
    // Limits after identification: knob ranges 10..AMaxUset and 1..AMaxIset, the set indicators'
    // maxima; ACurrentPointPos is 4 (three decimals) or 3 (two decimals) for every current
    // display; AMaxPower (0.1 W) bounds the preset power editor.
    virtual void ShowLimits(uint32_t AMaxUset, uint32_t AMaxIset, uint32_t AMaxPower,
                            uint32_t ACurrentDiv, uint32_t ACurrentPointPos) = 0;
    // Set values: the set indicators and both knobs.
    virtual void ShowSetValues(uint32_t AUset, uint32_t AIset) = 0;
    // "Power 24.00 W".
    virtual void ShowSetPower(const QString& AText) = 0;
    // Set-value mismatch lamps (device differs from the program).
    virtual void ShowMismatch(bool AVoltage, bool ACurrent) = 0;
    // Ends digit editing in both set indicators (a knob was turned).
    virtual void EndSetEditing() = 0;

    // --- output panel ---
    virtual void ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower) = 0;
    // "VIN 12.00 V".
    virtual void ShowInputVoltage(const QString& AText) = 0;
    // CV and CC lamps.
    virtual void ShowRegulation(bool ACV, bool ACC) = 0;
    // Protection lamp and its label ("Error" with the lamp dark for code 0).
    virtual void ShowProtection(bool ALit, const QString& ALabel) = 0;
    // Input-voltage warning lamp; the set-voltage unit label is hidden while it is lit.
    virtual void ShowVinWarning(bool ALit) = 0;
    // Colours of the set displays (with their unit labels) and of the output displays (voltage,
    // current, power and time with their labels).
    virtual void ShowSetColor(TColor AColor) = 0;
    virtual void ShowOutColor(TColor AColor) = 0;
    // Time in seconds with its label "S" or "h"; charge and energy as displayed.
    virtual void ShowTime(uint32_t ASeconds, const QString& AUnit) = 0;
    virtual void ShowCharge(const TCounterDisplay& ACharge) = 0;
    virtual void ShowEnergy(const TCounterDisplay& AEnergy) = 0;
    // "T 25C" or "T 77F".
    virtual void ShowTemperature(const QString& AText) = 0;
    virtual void ShowDebugData(const QString& AText) = 0;
    // Battery-charge bar: visible for charge profiles, percent 0..100 and its label.
    virtual void ShowChargeBar(bool AVisible, int APercent, const QString& ALabel) = 0;

    // --- message boxes (modal; centred on the window) ---
    virtual void ShowError(const QString& AText) = 0;
    // Changes the text of the error box that is open (the newest); nothing when none is.
    virtual void RetextError(const QString&) {}
    virtual void ShowInformation(const QString& AText) = 0;
    // Yes/No confirmation; true for Yes.
    virtual bool Confirm(const QString& AText) = 0;

    // --- preset, parameter and advanced-window features of the identified unit ---
    virtual void ShowModelFeatures(const TModelFeatures&) {}

    // --- side bar and tools (the window owns them) ---
    // All four side panels ("Parameters", "Profile", "Connection", "Oscilloscope") collapsed.
    virtual bool AllSidePanelsCollapsed() { return false; }
    virtual void ExpandConnectionPanel() {}
    // Preset and parameter panels collapsed (at disconnect).
    virtual void CollapsePresetAndParamPanels() {}
    // Oscilloscope reset with its toggle switched on (connect button).
    virtual void ResetOscilloscope() {}
    // One oscilloscope sample and one log sample per session tick.
    virtual void SampleOscilloscope() {}
    virtual void SampleLog() {}
    // A running autotest is ended.
    virtual void EndAutotest() {}
    // The link was lost: a running autotest is ended and its logging stopped before the loss is
    // shown, so that no record follows the last reading that came from the supply.
    virtual void AutotestLinkLost() { EndAutotest(); }
};
