#pragma once
// The set panel: the set-voltage and set-current displays (editable in place), their mismatch
// lamps, the two knobs with their step and cursor arrows, and the strip below with the set-power,
// input-voltage, temperature and preset-status panels, the battery-charge bar and the set-lock
// button. It owns the two set indicators and their value cells; what an edit or a knob turn means
// is decided by the session through the callbacks.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "controls/qcolor_convert.h"

class QLabel;
class QProgressBar;
class QPushButton;
class TIndicator;
class TLN_FocusedPanel;
class TLN_Knob;
class TSegmentReadout;
class TUpDownButtons;
class TdsLed;
struct TPanelState;

class TSetPanel : public QWidget {
public:
    explicit TSetPanel(QWidget* AParent);
    ~TSetPanel() override;

    // --- what the session shows ---
    void ShowLimits(uint32_t AMaxUset, uint32_t AMaxIset, uint32_t ACurrentPointPos);
    void ShowSetValues(uint32_t AUset, uint32_t AIset);
    void ShowSetPower(const QString& AText);
    void ShowMismatch(bool AVoltage, bool ACurrent);
    void EndSetEditing();
    void ShowInputVoltage(const QString& AText);
    void ShowVinWarning(bool ALit);
    void ShowSetColor(TColor AColor);
    void ShowTemperature(const QString& AText);
    void ShowDebugData(const QString& AText);
    void ShowChargeBar(bool AVisible, int APercent, const QString& ALabel);
    void ApplyPanel(const TPanelState& AState);
    // Preset-status panels "SF", "OVP", "OCP" ("SF" moves left while "OVP" is shown).
    void ShowPresetStatus(bool ASF, bool AOVP, bool AOCP);
    // Step and cursor arrows of the voltage and the current display.
    void SetArrowsVisible(bool AVoltage, bool ACurrent);
    void SetVoltageKnobVisible(bool AVisible);

    // --- forwarded actions ---
    std::function<void(uint32_t)> OnUKnobChange;
    std::function<void(uint32_t)> OnIKnobChange;
    std::function<void(uint32_t)> OnUsetChange;  // a set indicator was edited
    std::function<void(uint32_t)> OnIsetChange;
    std::function<void()> OnSetLockClick;

    // Input handlers (public so that the window and tests drive them).
    void UsetPanelClick();
    void IsetPanelClick();
    void SegmentClick(QObject* ASender);
    void CursorButton(bool AVoltage, bool ARight);
    // Keys on a set display: a digit, an arrow, Space or F2 starts the digit cursor as a click
    // on the display does (the display may have been reached with Tab); Return and Escape end
    // the editing.
    void PanelKeyDown(bool AVoltage, int AKey);
    void PanelKeyPress(bool AVoltage, QChar AKey);

    TIndicator& UsetInd() { return *fUsetInd; }
    TIndicator& IsetInd() { return *fIsetInd; }
    TLN_Knob* UKnob() const { return fUKnob; }
    TLN_Knob* IKnob() const { return fIKnob; }
    TLN_FocusedPanel* UsetPanel() const { return fUsetPanel; }
    TLN_FocusedPanel* IsetPanel() const { return fIsetPanel; }
    TSegmentReadout* UsetReadout() const { return fUsetReadout; }
    TSegmentReadout* IsetReadout() const { return fIsetReadout; }
    TUpDownButtons* UpDown1() const { return fUpDown1; }
    TUpDownButtons* UpDown2() const { return fUpDown2; }
    TUpDownButtons* CursorUpDown1() const { return fCursorUpDown1; }
    TUpDownButtons* CursorUpDown2() const { return fCursorUpDown2; }
    QPushButton* SetLockBtn() const { return fSetLockBtn; }
    QLabel* PowerLabel() const { return fPowerLabel; }
    QLabel* VinLabel() const { return fVinLabel; }
    QLabel* TempLabel() const { return fTempLabel; }
    QLabel* UsetUnit() const { return fUsetUnit; }
    TdsLed* UMismatchLed() const { return fUMismatch; }
    TdsLed* IMismatchLed() const { return fIMismatch; }
    QProgressBar* ChargeBar() const { return fChargeBar; }
    QLabel* ChargeLabel() const { return fChargeLabel; }
    QLabel* ChargePercent() const { return fChargePercent; }
    QLabel* StatusPanel(int AIndex) const { return fStatus[AIndex]; }  // 0 SF, 1 OVP, 2 OCP

private:
    void BuildGroup(int AX, const QString& ACaption, const QString& AUnit, bool AVoltage);
    void BuildStrip();

    std::unique_ptr<TIndicator> fUsetInd;
    std::unique_ptr<TIndicator> fIsetInd;
    uint32_t fUsetCell = 0;
    uint32_t fIsetCell = 0;

    TLN_FocusedPanel* fUsetPanel = nullptr;
    TLN_FocusedPanel* fIsetPanel = nullptr;
    TSegmentReadout* fUsetReadout = nullptr;
    TSegmentReadout* fIsetReadout = nullptr;
    TdsLed* fUsetPoint = nullptr;
    TdsLed* fIsetPoint = nullptr;
    TColor fSetColor = 0;
    bool fSetColorShown = false;
    QLabel* fUsetUnit = nullptr;
    QLabel* fIsetUnit = nullptr;
    TdsLed* fUMismatch = nullptr;
    TdsLed* fIMismatch = nullptr;
    TLN_Knob* fUKnob = nullptr;
    TLN_Knob* fIKnob = nullptr;
    TUpDownButtons* fUpDown1 = nullptr;
    TUpDownButtons* fUpDown2 = nullptr;
    TUpDownButtons* fCursorUpDown1 = nullptr;
    TUpDownButtons* fCursorUpDown2 = nullptr;
    QLabel* fPowerLabel = nullptr;
    QLabel* fVinLabel = nullptr;
    QLabel* fTempLabel = nullptr;
    QLabel* fDebugLabel = nullptr;
    QLabel* fStatus[3] = {nullptr, nullptr, nullptr};
    QProgressBar* fChargeBar = nullptr;
    QLabel* fChargeLabel = nullptr;
    QLabel* fChargePercent = nullptr;
    QPushButton* fSetLockBtn = nullptr;
};
