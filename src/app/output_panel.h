#pragma once
// The output panel on its gradient: output voltage and current (large), power, time, charge and
// energy read-outs with their unit labels, the CV, CC, protection and input-voltage lamps, the
// on/off button, the counter reset and the "Keys locked" panel. It owns the read-out indicators
// and their value cells.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "controls/gradient_panel.h"

class QLabel;
class QPushButton;
class TIndicator;
class TSegmentReadout;
class TdsLed;
struct TCounterDisplay;
struct TPanelState;

class TOutputPanel : public TLWGradientPanel {
public:
    explicit TOutputPanel(QWidget* AParent);
    ~TOutputPanel() override;

    void ShowLimits(uint32_t ACurrentPointPos);
    void ShowOutput(uint32_t AUout, uint32_t AIout, uint32_t APower);
    void ShowRegulation(bool ACV, bool ACC);
    void ShowProtection(bool ALit, const QString& ALabel);
    void ShowVinWarning(bool ALit);
    void ShowOutColor(TColor AColor);
    void ShowTime(uint32_t ASeconds, const QString& AUnit);
    void ShowCharge(const TCounterDisplay& ACharge);
    void ShowEnergy(const TCounterDisplay& AEnergy);
    void ApplyPanel(const TPanelState& AState);

    std::function<void()> OnOnOffClick;
    std::function<void()> OnResetCountersClick;

    TSegmentReadout* UoutReadout() const { return fUout; }
    TSegmentReadout* IoutReadout() const { return fIout; }
    TSegmentReadout* PoutReadout() const { return fPout; }
    TSegmentReadout* TimeReadout() const { return fTime; }
    TSegmentReadout* AHReadout() const { return fAH; }
    TSegmentReadout* WHReadout() const { return fWH; }
    TdsLed* CVLed() const { return fCVLed; }
    TdsLed* CCLed() const { return fCCLed; }
    TdsLed* ProtectLed() const { return fProtectLed; }
    TdsLed* VinLed() const { return fVinLed; }
    QLabel* ProtectLabel() const { return fProtectLabel; }
    QLabel* TimeUnit() const { return fTimeUnit; }
    QLabel* AHUnit() const { return fAHUnit; }
    QLabel* WHUnit() const { return fWHUnit; }
    QLabel* KeysLocked() const { return fKeysLocked; }
    QPushButton* OnOffBtn() const { return fOnOffBtn; }
    QPushButton* ResetCountersButton() const { return fResetBtn; }
    TIndicator& UoutInd() { return *fUoutInd; }
    TIndicator& IoutInd() { return *fIoutInd; }
    TIndicator& PoutInd() { return *fPoutInd; }

private:
    TSegmentReadout* MakeReadout(int ADigits, bool ALarge, QPoint APos, const QString& AName);
    QLabel* MakeUnit(const QString& AText, QRect AGeometry, bool ALarge);
    QLabel* MakeCaption(const QString& AText, QPoint APos);
    TdsLed* MakeLamp(const QString& AName, TColor AOn, QPoint APos, const QString& ACaption,
                     const QString& AHint);

    TColor fOutColor = 0;
    bool fOutColorShown = false;
    uint32_t fUoutCell = 0;
    uint32_t fIoutCell = 0;
    uint32_t fPoutCell = 0;
    uint32_t fTimeCell = 0;
    uint32_t fAHCell = 0;
    uint32_t fWHCell = 0;
    std::unique_ptr<TIndicator> fUoutInd, fIoutInd, fPoutInd, fTimeInd, fAHInd, fWHInd;

    TSegmentReadout* fUout = nullptr;
    TSegmentReadout* fIout = nullptr;
    TSegmentReadout* fPout = nullptr;
    TSegmentReadout* fTime = nullptr;
    TSegmentReadout* fAH = nullptr;
    TSegmentReadout* fWH = nullptr;
    TdsLed* fUoutPoint = nullptr;
    TdsLed* fIoutPoint = nullptr;
    TdsLed* fPoutPoint = nullptr;
    TdsLed* fAHPoint = nullptr;
    TdsLed* fWHPoint = nullptr;
    QLabel* fOutUnits[4] = {nullptr, nullptr, nullptr, nullptr};  // V, A, W, time
    QLabel* fTimeUnit = nullptr;
    QLabel* fAHUnit = nullptr;
    QLabel* fWHUnit = nullptr;
    TdsLed* fCVLed = nullptr;
    TdsLed* fCCLed = nullptr;
    TdsLed* fProtectLed = nullptr;
    TdsLed* fVinLed = nullptr;
    QLabel* fProtectLabel = nullptr;
    QLabel* fKeysLocked = nullptr;
    QPushButton* fOnOffBtn = nullptr;
    QPushButton* fResetBtn = nullptr;
};
