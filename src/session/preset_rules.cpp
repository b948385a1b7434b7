#include "session/preset_rules.h"

#include "session/color_helpers.h"

namespace {

uint32_t CurrentPointPos(uint32_t ACurrentDiv) {
    return ACurrentDiv == 10 ? 4 : 3;
}

}  // namespace

QString PresetName(uint32_t AMem) {
    if (AMem < 10) return "M" + QString::number(AMem);
    return "C" + QString::number(AMem - 10);
}

QString PresetPanelCaption(TVersion AVersion, uint32_t AMem) {
    const bool profile = AVersion >= ver_43 || AVersion == ver_4Z;
    return PresetName(AMem) + (profile ? " Profile" : " Settings");
}

TPresetControls PresetControlStates(const TPresetRuleInputs& AIn) {
    const bool en = AIn.Enabled;
    const TVersion v = AIn.Version;
    const bool charge = AIn.Mem >= 10;
    TPresetControls c;
    c.Advanced = c.ParamSave = c.AutoReset = c.Refresh = en;
    c.Backlight = en && !AIn.Korad;
    c.DefaultOnStart = en && !(charge && MarkedFlagClass(v));
    c.OverHeatEdit = en && v != ver_18 && !AIn.Korad;
    c.MaxMemoryEdit = en && v != ver_18;
    c.TimerEdit = en && !((charge || v == ver_18) && v < ver_42);
    c.PowerOnStart = en && v == ver_18;
    // Charge profiles of firmware before ver_42 cannot be edited.
    const bool values = en && !(charge && v < ver_42);
    c.UsetEdit = c.IsetEdit = c.OvpEdit = c.OcpEdit = c.OppEdit = values;
    c.PresetSave = values && !AIn.SetLocked;
    // The trigger boxes exist only from ver_45 on.
    c.OvpTrigger = c.OcpTrigger = values && v >= ver_45;
    c.VoltageKnobVisible = !charge;
    c.VoltageArrowsVisible = AIn.CursorButtons && !charge;
    c.CurrentArrowsVisible = AIn.CursorButtons;
    return c;
}

TPresetEditors PresetEditorsOf(const TMemorySet& AMem, TVersion AVersion, uint32_t AMaxUset,
                               uint32_t AMaxIset, uint32_t AMaxPower, uint32_t ACurrentDiv) {
    TPresetEditors e;
    const uint32_t values[6] = {AMem.USET, AMem.ISET, AMem.SOVP, AMem.SOCP, AMem.SOPP, AMem.OTIM};
    const uint32_t cur = CurrentPointPos(ACurrentDiv);
    const uint32_t points[6] = {3, cur, 3, cur, 2, 1};
    for (int i = 0; i < peCount; ++i) {
        e.Values[i] = values[i];
        e.PointPos[i] = points[i];
        const TEditorRange r = EditorRange(i, AMaxUset, AMaxIset, AMaxPower, ACurrentDiv);
        e.Min[i] = r.Min;
        e.Max[i] = r.Max;
    }
    e.ProtectionTriggersShown = AVersion >= ver_45;
    return e;
}

TPresetChecks PresetChecksOf(const TMemorySet& AMem, TVersion AVersion) {
    TPresetChecks c;
    c.DefaultOnStart = (AMem.PRFS & 1) != 0;
    c.PowerOnStart = AMem.SINI != 0;
    // Below ver_45 the trigger boxes are disabled and cleared.
    c.OvpTrigger = AVersion >= ver_45 && (AMem.PRFS & 2) != 0;
    c.OcpTrigger = AVersion >= ver_45 && (AMem.PRFS & 4) != 0;
    return c;
}

TPresetStatus PresetStatusOf(uint32_t APRFS, TVersion AVersion) {
    if (AVersion < ver_45) return {};
    return {(APRFS & 1) != 0, (APRFS & 2) != 0, (APRFS & 4) != 0};
}

uint32_t EncodePRFS(TVersion AVersion, bool ADefaultOnStart, bool AOvpTrigger, bool AOcpTrigger) {
    uint32_t prfs = ADefaultOnStart ? 1 : 0;
    if (MarkedFlagClass(AVersion)) prfs |= 0x8000;
    if (AVersion >= ver_45) {
        if (AOvpTrigger) prfs += 2;
        if (AOcpTrigger) prfs += 4;
    }
    return prfs;
}

QString FormatConfirmValue(uint32_t AValue, uint32_t ADecimals) {
    if (AValue > 9999) return "-----";
    const QString digits = QString("%1").arg(AValue, 4, 10, QChar('0'));
    const int whole = 4 - static_cast<int>(ADecimals);
    QString text = digits.left(whole) + "." + digits.mid(whole);
    if (whole == 2 && text[0] == '0') text[0] = ' ';
    return text;
}

QString LongPressConfirmText(uint32_t ATag, uint32_t AUset, uint32_t AIset, uint32_t ACurrentDiv) {
    const uint32_t curDecimals = ACurrentDiv == 10 ? 3 : 2;
    return "Save M" + QString::number(ATag) + " profile ?" + "\r" +
           "U set = " + FormatConfirmValue(AUset, 2) + " V" + "\r" +
           "I set = " + FormatConfirmValue(AIset, curDecimals) + " A";
}

TEditorRange EditorRange(int ATag, uint32_t AMaxUset, uint32_t AMaxIset, uint32_t AMaxPower,
                         uint32_t ACurrentDiv) {
    switch (ATag) {
        case peUset:
        case peOvp:
            return {10, AMaxUset};
        case peIset:
            return {1, AMaxIset};
        case peOcp:
            return {1, AMaxIset + ACurrentDiv * 10};
        case peOpp:
            return {1, AMaxPower};
        case peTimer:
            return {1, 5999};
        case peOverHeat:
            return {32, 300};
        case peMaxMemory:
            return {1, 20};
        default:
            return {};
    }
}

uint32_t OverHeatShown(uint32_t AOHP, bool AFahrenheit) {
    return AFahrenheit ? AOHP * 9 / 5 + 32 : AOHP;
}

uint32_t OverHeatCelsius(uint32_t AShown, bool AFahrenheit) {
    if (!AFahrenheit) return AShown;
    const int64_t c = (int64_t{AShown} * 5 - 160) / 9;
    return c < 0 ? 0 : static_cast<uint32_t>(c);
}

void EncodeParameterFlags(TVersion AVersion, bool ARCNT, bool ACF, TCurrentSet& ASet) {
    if (AVersion >= ver_42) {
        ASet.PARAM = SetFlagBit(SetFlagBit(ASet.PARAM, 2, ARCNT), 1, ACF);
    } else if (MarkedFlagClass(AVersion)) {
        ASet.PVER = 0x8000u | (ARCNT ? 1u : 0u);
        ASet.BCKL = 0x8000u | (ACF ? 1u : 0u);
    }
}

void MarkFlagWords(TVersion AVersion, TCurrentSet& ASet) {
    if (!MarkedFlagClass(AVersion)) return;
    ASet.PVER = 0x8000u | (ASet.PVER & 1u);
    ASet.BCKL = 0x8000u | (ASet.BCKL & 1u);
    ASet.PARAM = 0x8000u | (ASet.PARAM & 1u);
}

void EncodeBatterySource(TVersion AVersion, bool ABSRC, TCurrentSet& ASet) {
    if (AVersion >= ver_42)
        ASet.PARAM = SetFlagBit(ASet.PARAM, 8, ABSRC);
    else if (MarkedFlagClass(AVersion))
        ASet.PARAM = 0x8000u | (ABSRC ? 1u : 0u);
}
