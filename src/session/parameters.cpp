// The parameter panel: over-heat limit, maximum preset number, backlight, counter reset, Save
// and the advanced window's colours and battery source.

#include "session/parameters.h"

#include "session/preset_rules.h"
#include "session/presets.h"
#include "session/session_core.h"

TParameterLogic::TParameterLogic(TSessionCore& ACore, TPresetLogic& APresets, TPresetView& AView)
    : fCore(ACore), fPresets(APresets), fView(AView) {
    ChainEvent<>(fCore.fOnGlobalDataRead, fAlive, [this] { GlobalDataRead(); });
    ChainEvent<>(fCore.fOnSessionStarted, fAlive, [this] { SessionStarted(); });
    std::weak_ptr<int> alive = fAlive;
    fPresets.fOnPanelUpdate = [this, alive] {
        if (!alive.expired()) OverHeatCommit();
    };
    fFahrenheitChoice = fCore.Model().CF;
}

TParameterLogic::~TParameterLogic() = default;

uint32_t* TParameterLogic::MaxMemoryCell() {
    return &fCore.Data().MMAX;
}

void TParameterLogic::SessionStarted() {
    // Until the global block is read (or for good on a ver_18 unit) the editor shows the record.
    OverHeatDisplay();
    ShowEditors();
}

void TParameterLogic::GlobalDataRead() {
    if (fCore.Model().Version == ver_18) return;
    fFahrenheitChoice = fCore.Model().CF;
    OverHeatDisplay();
}

void TParameterLogic::OverHeatDisplay() {
    fOHPFahrenheit = fCore.Model().CF;
    fOHP = OverHeatShown(fCore.Data().OHP, fOHPFahrenheit);
    fOHPShown = fOHP;
    fView.ShowOverHeat(fOHP, OverHeatUnit());
}

void TParameterLogic::OverHeatCommit() {
    // Only an edited value goes back: converting an untouched Fahrenheit value to Celsius could
    // lose a degree to rounding (81 C shows as 177 F, which reads back as 80 C).
    if (fOHP != fOHPShown) {
        fCore.Data().OHP = OverHeatCelsius(fOHP, fOHPFahrenheit);
        fOHPShown = fOHP;
    }
    ShowEditors();
}

void TParameterLogic::ShowEditors() {
    fView.ShowOverHeat(fOHP, OverHeatUnit());
    fView.ShowMaxMemory(fCore.Data().MMAX);
}

void TParameterLogic::CF_RadioGroupClick(bool AFahrenheit) {
    fFahrenheitChoice = AFahrenheit;
}

void TParameterLogic::P_BacklightTrackBarChange(uint32_t APosition) {
    fPresets.SetBacklightPosition(APosition);
}

void TParameterLogic::P_ResetCountersCheckBoxClick(bool AChecked) {
    fCore.P_ResetCountersCheckBoxClick(AChecked);
}

void TParameterLogic::UpDownCheckBoxClick(bool AChecked) {
    fPresets.SetCursorButtons(AChecked);
}

void TParameterLogic::P_SaveBtnClick() {
    if (!fCore.Connected()) return;
    TCurrentSet& d = fCore.Data();
    TModel& model = fCore.Model();
    // 1. Backlight.
    d.BLED = fPresets.BacklightPosition();
    fCore.TaskMgr().WriteBled();
    // 2.-3. Flags into the global block per class.
    model.RCNT = fCore.ResetCountersChecked();
    model.CF = fFahrenheitChoice;
    EncodeParameterFlags(model.Version, model.RCNT, model.CF, d);
    // 4. The temperature label (on the next temperature reply) and the over-heat editor follow
    //    the chosen unit.
    if (model.Temp) {
        fCore.TaskMgr().ReadTemperature();
        OverHeatDisplay();
    }
    // 5. A ver_18 unit gets only the backlight: its global block was never read, and writing
    //    the record's guesses would overwrite the supply's own settings.
    if (model.Version == ver_18) return;
    MarkFlagWords(model.Version, d);
    fCore.TaskMgr().WriteGlobalData();
}

void TParameterLogic::AdvancedSaved(TColor AClr1, TColor AClr2, TColor AClr3, bool ABatterySource) {
    fCore.SetDeviceColors(AClr1, AClr2, AClr3);
    fCore.RepaintSetColors();
    TModel& model = fCore.Model();
    if (!fCore.Connected() || model.Version == ver_18) return;
    TCurrentSet& d = fCore.Data();
    d.CLR1 = ColorToRGB565(AClr1);
    d.CLR2 = ColorToRGB565(AClr2);
    d.CLR3 = ColorToRGB565(AClr3);
    if (model.BatterySourceEnable) {
        model.BSRC = ABatterySource;
        EncodeBatterySource(model.Version, ABatterySource, d);
    }
    MarkFlagWords(model.Version, d);
    fCore.TaskMgr().WriteGlobalData();
}

// --- command line -------------------------------------------------------------------------------

QString TParameterLogic::CheckValues(const TParameterValues& AValues) const {
    const TModel& model = fCore.Model();
    const bool extended = model.Version != ver_18;
    if (AValues.Fahrenheit && !model.Temp) return "This unit shows no temperature";
    if (AValues.OverHeatCelsius) {
        if (!extended || model.Korad) return "The over-heat limit cannot be set on this unit";
        const bool f = AValues.Fahrenheit.value_or(model.CF);
        const uint32_t shown = OverHeatShown(*AValues.OverHeatCelsius, f);
        const TEditorRange r = EditorRange(peOverHeat, 0, 0, 0, 1);
        if (shown < r.Min || shown > r.Max) {
            // The Celsius values whose shown value lies in the editor's range.
            uint32_t lo = 0;
            while (OverHeatShown(lo, f) < r.Min)
                ++lo;
            uint32_t hi = lo;
            while (OverHeatShown(hi + 1, f) <= r.Max)
                ++hi;
            return "Over-heat limit must be " + QString::number(lo) + " to " + QString::number(hi) +
                   " C";
        }
    }
    if (AValues.MaxMemory) {
        if (!extended) return "The number of presets cannot be set on this unit";
        const TEditorRange r = EditorRange(peMaxMemory, 0, 0, 0, 1);
        if (*AValues.MaxMemory < r.Min || *AValues.MaxMemory > r.Max)
            return "Number of presets must be 1 to 20";
    }
    if (AValues.Backlight) {
        if (model.Korad) return "The backlight cannot be set on this unit";
        if (*AValues.Backlight < 1 ||
            *AValues.Backlight > static_cast<uint32_t>(model.BacklightMax))
            return "Backlight must be 1 to " + QString::number(model.BacklightMax);
    }
    return {};
}

QString TParameterLogic::SaveParameters(const TParameterValues& AValues) {
    if (!fCore.Connected()) return "Not connected";
    const QString error = CheckValues(AValues);
    if (!error.isEmpty()) return error;
    TCurrentSet& d = fCore.Data();
    if (AValues.OverHeatCelsius) d.OHP = *AValues.OverHeatCelsius;
    if (AValues.MaxMemory) d.MMAX = *AValues.MaxMemory;
    if (AValues.Backlight) fPresets.SetBacklightPosition(*AValues.Backlight);
    if (AValues.Fahrenheit) fFahrenheitChoice = *AValues.Fahrenheit;
    if (AValues.AutoResetCounters) fCore.P_ResetCountersCheckBoxClick(*AValues.AutoResetCounters);
    OverHeatDisplay();
    P_SaveBtnClick();
    // The preset buttons follow the new number of presets.
    fPresets.PanelUpdate(false);
    return {};
}
