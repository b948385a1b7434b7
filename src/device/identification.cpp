#include "device/identification.h"

#include <algorithm>

#include "device/firmware_version.h"
#include "device/register_codec.h"

std::string ModelPrefix(uint32_t AVERSION, uint32_t ASTATE) {
    const uint32_t v = VersionValue(AVERSION);
    if (v >= 43 && (ASTATE & 0x10) != 0) return "WZ";
    if (v >= 45 && (ASTATE & 0x20) != 0) return "KORAD";
    return "DPS";
}

std::string ModelTitle(const std::string& APrefix, uint32_t AMODEL, uint32_t AVERSION,
                       uint32_t ASTATE) {
    std::string title = APrefix + std::to_string(AMODEL) + " ver. " + VersionText(AVERSION);
    if (VersionValue(AVERSION) >= 42) {
        if ((ASTATE & 4) != 0) title += "G";
        if ((ASTATE & 2) != 0) title += "T";
    }
    return title;
}

TIdentification Identify(const TRegisterValues& ARegs, bool AAutoResetCounters, TCurrentSet& ASet,
                         TModel& AModel, TModelLimits& ALimits) {
    // Only registers 0 to 14 belong to this read, whatever else the reply carried.
    TRegisterValues first(ARegs.begin(),
                          ARegs.begin() + std::min<size_t>(ARegs.size(), hreg::kIdentCount));
    StoreRegisters(ASet, 0, first);

    AModel.TempSensorEnable = ApplyModelRow(ASet.MODEL, ALimits);
    AModel.Version = ver_18;
    AModel.Temp = false;
    AModel.Counters = false;
    AModel.BSRC = false;
    AModel.BatterySourceEnable = false;
    AModel.BacklightMax = 5;
    AModel.RCNT = AAutoResetCounters;

    ALimits.ModelName = ModelPrefix(ASet.VERSION, ASet.STATE);

    TIdentification result;
    result.CurrentDecimals = ALimits.CurrentDiv == 10 ? 3 : 2;
    result.Title = ModelTitle(ALimits.ModelName, ASet.MODEL, ASet.VERSION, ASet.STATE);
    result.Accepted = IsAcceptedModel(ASet.MODEL);
    return result;
}
