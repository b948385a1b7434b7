#include "device/firmware_version.h"

TVersionNumber SplitVersion(uint32_t AVERSION) {
    const uint32_t v = VersionValue(AVERSION);
    // A zero version has no leading digit; show it as 0.0 rather than divide by zero.
    if (v == 0) return {};
    uint32_t p = 1;
    while (v / p != 0)
        p *= 10;
    const uint32_t q = p / 10;
    return {v / q, v % q};
}

std::string VersionText(uint32_t AVERSION) {
    const TVersionNumber n = SplitVersion(AVERSION);
    return std::to_string(n.Major) + "." + std::to_string(n.Minor);
}

TVersion FirmwareClass(const TCurrentSet& ASet) {
    const uint32_t v = VersionValue(ASet.VERSION);
    if (v < 36 || ASet.MODEL != ASet.DVID) return ver_18;
    if (v < 40) return ver_36;
    if (v == 41 && ASet.MGIC == kMagic4Z) return ver_4Z;
    if (v < 42) return ver_40;
    if (v == 42) return ver_42;
    if (ASet.PVER < 45) return ver_43;
    if (ASet.PVER == 45) return ver_45;
    if (ASet.PVER == 46) return ver_46;
    return ver_New;
}

TClassification ClassifyFirmware(const TCurrentSet& ASet, TModel& AModel) {
    TClassification result;
    AModel.Version = FirmwareClass(ASet);
    const uint32_t v = VersionValue(ASet.VERSION);
    if (v < 36 || ASet.MODEL != ASet.DVID) return result;
    result.Extended = true;

    const TVersion cls = AModel.Version;
    const bool from42 = cls >= ver_42;
    if (from42) {
        AModel.Temp = (ASet.STATE & 7) != 0;
        result.Tmp2CalibEnabled = (ASet.STATE & 1) != 0;
    } else {
        AModel.Temp = AModel.TempSensorEnable;
        result.Tmp2CalibEnabled = AModel.TempSensorEnable;
    }
    AModel.Counters = cls > ver_42 || cls == ver_4Z;
    if (from42) {
        AModel.BSRC = (ASet.PARAM & 8) != 0;
        AModel.RCNT = (ASet.PARAM & 2) != 0;
        AModel.CF = (ASet.PARAM & 1) != 0;
        AModel.SMART = (ASet.PARAM & 4) != 0;
    } else {
        AModel.BSRC = (ASet.PARAM & 1) != 0;
        AModel.RCNT = (ASet.PVER & 1) != 0;
        AModel.CF = (ASet.BCKL & 1) != 0;
        AModel.SMART = (ASet.d25 & 1) != 0;
    }
    result.PresetTriggers = cls >= ver_45;
    AModel.BatterySourceEnable = cls != ver_18 && cls != ver_4Z;
    AModel.Korad = cls > ver_45 && (ASet.STATE & 0x20) != 0;
    if (AModel.Korad) AModel.BatterySourceEnable = false;
    result.InputVoltageShown = !AModel.Korad;
    result.CounterResetEnabled = cls >= ver_46;
    AModel.BacklightMax = from42 ? 6 : 5;
    return result;
}
