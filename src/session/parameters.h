#pragma once
// The supply's global parameters, without widgets: over-heat limit shown in Celsius or
// Fahrenheit, maximum preset number, backlight, automatic counter reset, "Show Cursor Buttons",
// Save with the per-class encodings of the global block, and the hand-over from the advanced
// window (display colours, battery source). Works beside a TPresetLogic, whose panel update
// commits the over-heat value and which keeps the backlight position and cursor-button choice.
//
//     TParameterLogic params(core, presets, view);
//     window: over-heat editor cell -> params.OverHeatCell(), maximum-memory editor cell ->
//             params.MaxMemoryCell(); unit choice -> CF_RadioGroupClick; Save -> P_SaveBtnClick.
//
// Everything runs on the user-interface thread.

#include <QString>
#include <cstdint>
#include <optional>

#include "session/color_helpers.h"
#include "session/event_chain.h"
#include "session/preset_view.h"

class TSessionCore;
class TPresetLogic;

// Parameters to store from the command line; fields left unset keep their value.
struct TParameterValues {
    std::optional<bool> Fahrenheit = std::nullopt;
    std::optional<uint32_t> OverHeatCelsius = std::nullopt;  // whole degrees Celsius
    std::optional<uint32_t> MaxMemory = std::nullopt;        // 1..20
    std::optional<uint32_t> Backlight = std::nullopt;        // 1..BacklightMax
    std::optional<bool> AutoResetCounters = std::nullopt;
};

class TParameterLogic {
public:
    TParameterLogic(TSessionCore& ACore, TPresetLogic& APresets, TPresetView& AView);
    ~TParameterLogic();
    TParameterLogic(const TParameterLogic&) = delete;
    TParameterLogic& operator=(const TParameterLogic&) = delete;

    // Cells the window's over-heat (tag 6) and maximum-memory (tag 7) editors edit in place.
    uint32_t* OverHeatCell() { return &fOHP; }
    uint32_t* MaxMemoryCell();
    // Over-heat value in the unit shown, and that unit ("C" or "F").
    uint32_t OverHeat() const { return fOHP; }
    QString OverHeatUnit() const { return fOHPFahrenheit ? "F" : "C"; }

    // --- forwarded from the window ---
    void CF_RadioGroupClick(bool AFahrenheit);
    void P_BacklightTrackBarChange(uint32_t APosition);
    void P_ResetCountersCheckBoxClick(bool AChecked);
    void UpDownCheckBoxClick(bool AChecked);
    void P_SaveBtnClick();
    bool FahrenheitChosen() const { return fFahrenheitChoice; }

    // Over-heat value in the unit shown, from OHP (after classification and a unit change).
    void OverHeatDisplay();
    // Inside the panel update: an edited over-heat value goes back to OHP in Celsius; the
    // over-heat and maximum-memory editors are shown again.
    void OverHeatCommit();

    // The advanced window was closed with its save button: the program's colours take the chosen
    // ones and, for classes above ver_18, the colours and the battery-source option go to the
    // supply with the global block. Its colour boxes start from the session's SetColorCLR(1..3).
    void AdvancedSaved(TColor AClr1, TColor AClr2, TColor AClr3, bool ABatterySource);

    // --- command line: empty text when accepted, else why not ---
    QString CheckValues(const TParameterValues& AValues) const;
    // Applies AValues and saves as the Save button does. The writes are queued; the session's
    // polling resumes (LiveReading) only after every queued job has been served.
    QString SaveParameters(const TParameterValues& AValues);

private:
    void GlobalDataRead();
    void SessionStarted();
    void ShowEditors();

    TSessionCore& fCore;
    TPresetLogic& fPresets;
    TPresetView& fView;
    TAliveToken fAlive = MakeAliveToken();

    uint32_t fOHP = 0;            // over-heat limit in the unit shown
    uint32_t fOHPShown = 0;       // what OverHeatDisplay last put there (unedited value)
    bool fOHPFahrenheit = false;  // unit of fOHP
    bool fFahrenheitChoice = false;
};
