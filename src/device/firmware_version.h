#pragma once
// Firmware version number and firmware class of the connected unit.

#include <cstdint>
#include <string>

#include "device/device_records.h"

// MGIC of the ver_4Z firmware, which reports version 41.
constexpr uint32_t kMagic4Z = 19082;

// The version number: VERSION with its upper 4 bits cleared (0x102D -> 45).
constexpr uint16_t VersionValue(uint32_t AVERSION) {
    return static_cast<uint16_t>(AVERSION & 0x0FFF);
}

// Display split of a version number: 45 -> 4 and 5, 123 -> 1 and 23. The leading digit is the
// major number, the rest the minor. A number of 0 shows as 0.0.
struct TVersionNumber {
    uint32_t Major = 0;
    uint32_t Minor = 0;
};
TVersionNumber SplitVersion(uint32_t AVERSION);
// "4.5", "1.23", "0.0".
std::string VersionText(uint32_t AVERSION);

// What the view does after a classification, besides the model record itself.
struct TClassification {
    bool Extended = false;             // the global block was accepted (else only Version changed)
    bool Tmp2CalibEnabled = false;     // second temperature calibration point offered
    bool PresetTriggers = false;       // OVP/OCP trigger boxes instead of value editors (ver_45+)
    bool CounterResetEnabled = false;  // counter reset button (ver_46+)
    bool InputVoltageShown = true;     // false for a KORAD unit
};

// Classifies the firmware after a global-block read, from MODEL, VERSION, DVID, MGIC, PVER, STATE,
// PARAM, BCKL and d25 of ASet, and updates AModel. When the version is below 36 or DVID differs
// from MODEL only AModel.Version changes (to ver_18) and Extended is false.
TClassification ClassifyFirmware(const TCurrentSet& ASet, TModel& AModel);

// Class alone, without the side effects: ver_18 for a version below 36 or a foreign DVID.
TVersion FirmwareClass(const TCurrentSet& ASet);

// Whether the one-time version notice applies to this class (below ver_43, or ver_New).
constexpr bool VersionNoticeDue(TVersion AVersion) {
    return AVersion < ver_43 || AVersion == ver_New;
}
