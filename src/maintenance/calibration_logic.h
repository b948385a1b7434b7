#pragma once
// The calibration tab's state, without widgets: which point is armed on the supply, which points
// were fixed in this calibration (their panels turn light green), whether a calibration is open,
// and the calibration commands sent through the session for Start, Apply, Save and closing the
// window.
//
//     TCalibrationLogic calib(core);
//     calib.Start(cpUout2, 0);           // calib_mode_start 4
//     if (calib.Apply(cpUout2)) ...      // calib_mode_fix 4; true: show the wait window
//     calib.Save();                      // calib_mode_save
//     calib.Close();                     // calib_mode_exit when a calibration is still open
//
// Everything runs on the user-interface thread.

#include <array>
#include <cstdint>

#include "maintenance/advanced_rules.h"

class TSessionCore;

class TCalibrationLogic {
public:
    explicit TCalibrationLogic(TSessionCore& ACore) : fCore(ACore) {}

    // Start button of point AIndex (1..7): arms it on the supply. For the high current point the
    // command carries ARangeCurrent (0.01 A), the range chosen before the range choice locks.
    void Start(int AIndex, uint32_t ARangeCurrent);
    // Apply button of the armed point: sends its value, when it lies within the point's range.
    enum TApplyResult { arRefused, arSent, arSentWait };
    // arSentWait: the supply changes its output by itself afterwards (the high output voltage
    // point), so the wait window is to be shown. arRefused: nothing sent, the point stays armed.
    TApplyResult Apply(int AIndex);
    // The model's highest set voltage (0.01 V) and current (current unit) bound the ranges.
    void SetLimits(uint32_t AMaxUset, uint32_t AMaxIset);
    TCalibRange Range(int AIndex) const;
    // The point's value as the supply would get it lies within its range.
    bool ValueInRange(int AIndex) const;
    // "Save": the supply keeps the fixed points; the panels go white.
    void Save();
    // The window closes, any way: an open calibration is ended without saving.
    void Close();

    bool Calibrating() const { return fCalibrating; }
    // The point whose panel and Apply button are enabled; 0 none.
    int Armed() const { return fArmed; }
    // The point's panel is light green (fixed in this calibration).
    bool Applied(int AIndex) const;
    // "Save" is enabled exactly when at least one panel is light green.
    bool SaveEnabled() const;
    // The current-range choice may be changed (not while the high current point is armed).
    bool RangeEnabled() const { return fRangeEnabled; }

private:
    void DisableApplyButtons();
    void AllWhite() { fApplied.fill(false); }

    TSessionCore& fCore;
    uint32_t fMaxUset = 5100;
    uint32_t fMaxIset = 2010;
    bool fCalibrating = false;
    int fArmed = 0;
    bool fRangeEnabled = true;
    std::array<bool, 8> fApplied{};  // index 1..7
};
