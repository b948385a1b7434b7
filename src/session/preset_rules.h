#pragma once
// Pure rules of the preset and parameter panels: captions, enabled states per firmware class and
// preset, flag-word encodings, editor ranges, the long-press confirmation text and the
// Celsius/Fahrenheit conversion of the over-heat limit.

#include <QString>
#include <cstdint>

#include "device/device_records.h"
#include "device/model_table.h"
#include "session/preset_view.h"

// Editor tags of the preset panel (also the index into the window's editor array); the parameter
// panel's over-heat and maximum-memory editors follow as 6 and 7.
enum TPresetEditor : int {
    peUset = 0,
    peIset,
    peOvp,
    peOcp,
    peOpp,
    peTimer,
    peCount,
    peOverHeat = peCount,
    peMaxMemory,
};

// "M3" or "C2" for preset 0..19.
QString PresetName(uint32_t AMem);

// "M3 Profile" for ver_43 and later and ver_4Z, "M3 Settings" for the other classes.
QString PresetPanelCaption(TVersion AVersion, uint32_t AMem);

// What the enabled states depend on.
struct TPresetRuleInputs {
    bool Enabled = false;  // preset and parameter controls enabled as a whole
    TVersion Version = ver_18;
    bool Korad = false;
    uint32_t Mem = 0;  // selected preset
    bool CursorButtons = false;
    // Output on with "Unlock SET" showing: the live set values may not change, and saving the
    // selected (live) preset would change them.
    bool SetLocked = false;
};
TPresetControls PresetControlStates(const TPresetRuleInputs& AIn);

// Editors' values, decimals and ranges for a block with the current model limits.
TPresetEditors PresetEditorsOf(const TMemorySet& AMem, TVersion AVersion, uint32_t AMaxUset,
                               uint32_t AMaxIset, uint32_t AMaxPower, uint32_t ACurrentDiv);

// Check boxes as the block says; the trigger boxes only where the class has triggers.
TPresetChecks PresetChecksOf(const TMemorySet& AMem, TVersion AVersion);

// Status panels: hidden below ver_45, else from the flag bits.
TPresetStatus PresetStatusOf(uint32_t APRFS, TVersion AVersion);

// Flag word written with a preset: 0x8000 + flag for ver_36 to ver_4Z, else 1 or 0; from ver_45
// on plus 2 and 4 for the OVP and OCP triggers.
uint32_t EncodePRFS(TVersion AVersion, bool ADefaultOnStart, bool AOvpTrigger, bool AOcpTrigger);

// Classes whose flag words carry the 0x8000 write mark.
constexpr bool MarkedFlagClass(TVersion AVersion) {
    return AVersion >= ver_36 && AVersion <= ver_4Z;
}

// A value of the confirmation box: four digits with the point before the last ADecimals, a blank
// in place of a leading zero of a two-digit integer part; above 9999 "-----".
QString FormatConfirmValue(uint32_t AValue, uint32_t ADecimals);

// "Save M3 profile ?\rU set =  5.00 V\rI set = 1.000 A".
QString LongPressConfirmText(uint32_t ATag, uint32_t AUset, uint32_t AIset, uint32_t ACurrentDiv);

// Range of an editor (tags 0..7) with the current model limits.
struct TEditorRange {
    uint32_t Min = 0;
    uint32_t Max = 0;
};
TEditorRange EditorRange(int ATag, uint32_t AMaxUset, uint32_t AMaxIset, uint32_t AMaxPower,
                         uint32_t ACurrentDiv);
inline TEditorRange EditorRange(int ATag, const TModelLimits& ALimits) {
    return EditorRange(ATag, ALimits.MaxUset, ALimits.MaxIset, ALimits.MaxPower,
                       ALimits.CurrentDiv);
}

// Over-heat limit in the unit shown: Celsius as is, Fahrenheit as C * 9 / 5 + 32.
uint32_t OverHeatShown(uint32_t AOHP, bool AFahrenheit);
// Back to Celsius: (F * 5 - 160) / 9, never below 0.
uint32_t OverHeatCelsius(uint32_t AShown, bool AFahrenheit);

// Parameter flags into the global block: ver_42 and later PARAM bits 1 (auto reset) and 0
// (Fahrenheit); ver_36 to ver_4Z PVER and BCKL as 0x8000 + flag. ver_18 changes nothing.
void EncodeParameterFlags(TVersion AVersion, bool ARCNT, bool ACF, TCurrentSet& ASet);

// Before a global-block write on ver_36 to ver_4Z: PVER, BCKL and PARAM carry their flag with
// the write mark 0x8000 (the firmware reads back the bare flag).
void MarkFlagWords(TVersion AVersion, TCurrentSet& ASet);

// Battery-source option into PARAM: bit 3 from ver_42 on, 0x8000 + flag for ver_36 to ver_4Z.
void EncodeBatterySource(TVersion AVersion, bool ABSRC, TCurrentSet& ASet);
