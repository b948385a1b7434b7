#pragma once
// A session against the virtual supply with the preset and parameter logic bound to it and a
// view that records what the "Profile" and "Parameters" panels were told.

#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "session/parameters.h"
#include "session/preset_view.h"
#include "session/presets.h"
#include "sim/sim_device.h"
#include "tests/session/session_harness.h"

namespace presettest {

class TRecordingPresetView : public TPresetView {
public:
    TPresetEditors editors;
    TPresetChecks checks;
    QString caption;
    TPresetStatus status;
    TPresetControls controls;
    uint32_t overHeat = 0;
    QString overHeatUnit;
    uint32_t maxMemory = 0;
    uint32_t backlight = 0;
    int blockShows = 0;  // check boxes shown from a block
    QStringList confirms;
    bool confirmAnswer = true;

    void ShowPresetEditors(const TPresetEditors& A) override { editors = A; }
    void ShowPresetChecks(const TPresetChecks& A) override {
        checks = A;
        ++blockShows;
    }
    void ShowPresetCaption(const QString& A) override { caption = A; }
    void ShowPresetStatus(const TPresetStatus& A) override { status = A; }
    void ShowPresetControls(const TPresetControls& A) override { controls = A; }
    void ShowOverHeat(uint32_t AValue, const QString& AUnit) override {
        overHeat = AValue;
        overHeatUnit = AUnit;
    }
    void ShowMaxMemory(uint32_t A) override { maxMemory = A; }
    void ShowBacklight(uint32_t A) override { backlight = A; }
    bool Confirm(const QString& AText) override {
        confirms << AText;
        return confirmAnswer;
    }
};

// Supply of the given class and model, with ASetup run on its registers before connecting.
struct TPresetSession {
    explicit TPresetSession(const std::string& AClass, uint16_t AModel = 5015,
                            const std::function<void(VirtualSupply&)>& ASetup = {});
    // Connects and waits until the selected preset's block has been shown.
    bool Connect();
    // Selects a preset and waits until its block has been shown.
    bool Select(int ATag);
    // Index of the first logged write covering AReg at or after AFrom, -1 if none.
    int WriteIndex(uint16_t AReg, int AFrom = 0);
    // Value the logged write at AIndex put into AReg.
    uint16_t WrittenValue(int AIndex, uint16_t AReg);

    sessiontest::TSessionHarness h;
    TRecordingPresetView pv;
    std::unique_ptr<TPresetLogic> presets;
    std::unique_ptr<TParameterLogic> params;
};

// Register of offset AOffset in preset ANum.
constexpr uint16_t PresetReg(uint16_t ANum, uint16_t AOffset) {
    return static_cast<uint16_t>(simreg::kPresetBase + ANum * simreg::kPresetSize + AOffset);
}

}  // namespace presettest
