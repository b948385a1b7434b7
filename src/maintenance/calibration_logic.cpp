#include "maintenance/calibration_logic.h"

#include <algorithm>

#include "device/register_codec.h"
#include "maintenance/advanced_rules.h"
#include "session/session_core.h"

namespace {

bool ValidPoint(int AIndex) {
    return AIndex >= 1 && AIndex <= kCalibPointCount;
}

}  // namespace

bool TCalibrationLogic::Applied(int AIndex) const {
    return ValidPoint(AIndex) && fApplied[static_cast<size_t>(AIndex)];
}

bool TCalibrationLogic::SaveEnabled() const {
    return std::any_of(fApplied.begin(), fApplied.end(), [](bool AApplied) { return AApplied; });
}

void TCalibrationLogic::DisableApplyButtons() {
    fArmed = 0;
    fRangeEnabled = true;
}

void TCalibrationLogic::Start(int AIndex, uint32_t ARangeCurrent) {
    if (!ValidPoint(AIndex)) return;
    DisableApplyButtons();
    fArmed = AIndex;
    fApplied[static_cast<size_t>(AIndex)] = false;  // its panel is white while armed
    fCalibrating = true;
    uint32_t data = 0;
    if (AIndex == cpIout2) {
        fRangeEnabled = false;
        data = ARangeCurrent;
    }
    fCore.DoWriteCalibCmd(calib_mode_start, static_cast<uint32_t>(AIndex), data);
}

void TCalibrationLogic::SetLimits(uint32_t AMaxUset, uint32_t AMaxIset) {
    fMaxUset = AMaxUset;
    fMaxIset = AMaxIset;
}

TCalibRange TCalibrationLogic::Range(int AIndex) const {
    return CalibPointRange(AIndex, fMaxUset, fMaxIset);
}

bool TCalibrationLogic::ValueInRange(int AIndex) const {
    if (!ValidPoint(AIndex)) return false;
    // What the fix command carries: the point's value as the session holds it.
    const uint32_t value = CalibPoint(fCore.Calib(), static_cast<uint16_t>(AIndex))->Value;
    const TCalibRange r = Range(AIndex);
    return value >= r.Min && value <= r.Max;
}

TCalibrationLogic::TApplyResult TCalibrationLogic::Apply(int AIndex) {
    // Only the armed point's Apply button is enabled.
    if (!ValidPoint(AIndex) || AIndex != fArmed) return arRefused;
    // A value the point cannot have (one the supply held, never typed) is never sent.
    if (!ValueInRange(AIndex)) return arRefused;
    fApplied[static_cast<size_t>(AIndex)] = true;
    DisableApplyButtons();
    fCore.DoWriteCalibCmd(calib_mode_fix, static_cast<uint32_t>(AIndex), 0);
    return AIndex == cpUout2 ? arSentWait : arSent;
}

void TCalibrationLogic::Save() {
    fCore.DoWriteCalibCmd(calib_mode_save, 0, 0);
    fCalibrating = false;
    DisableApplyButtons();
    AllWhite();
}

void TCalibrationLogic::Close() {
    if (!fCalibrating) return;
    fCore.DoWriteCalibCmd(calib_mode_exit, 0, 0);
    DisableApplyButtons();
    fCalibrating = false;
    AllWhite();
}
