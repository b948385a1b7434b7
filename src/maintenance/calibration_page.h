#pragma once
// The "Calibration" tab: seven points, each with its Start button, value panel and Apply button,
// the current-range choice for the high current point, "Save", "Cancel" and "Help", the wiring
// picture with the hint for the chosen point and the supply input hint, and the wait window
// after the high output voltage point. The supply's firmware calibrates; this page arms a point,
// lets the operator type the reference meter's reading (five-digit entry pop-up) and sends it.

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "maintenance/calibration_logic.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TEnterFormBase;
class TIndicator;
class TSessionCore;
class TValuePanel;
class TWaitForm;

class TCalibrationPage : public QWidget {
public:
    // AWaitTickMs: the wait window's countdown step (1000; tests shorten it).
    TCalibrationPage(TSessionCore& ACore, QWidget* AParent, int AWaitTickMs = 1000);
    ~TCalibrationPage() override;

    // The five-digit entry pop-up the value panels open.
    void SetPopup(TEnterFormBase* APopup) { fPopup = APopup; }

    // Fills the current-range choice for the model (highest first) and selects the last entry.
    void FillIoutHighGroup(uint32_t AModel, uint32_t AMaxIset, uint32_t ACurrentDiv);
    void SelectLastRange();
    // Current point position of both current editors: 5 (four decimals) when the current scale
    // is 10, else 4.
    void SetCurrentDivider(uint32_t ACurrentDiv);
    void SetTmp2Enabled(bool AEnabled);
    // The model's highest set voltage (0.01 V) and current (current unit): the editors and
    // Apply keep every value within what its point can have.
    void SetModelLimits(uint32_t AMaxUset, uint32_t AMaxIset);
    // Refreshes the seven panels from the session's calibration data.
    void CalibDataChanged();
    // The window closes, any way.
    void FormClose();

    TCalibrationLogic& Logic() { return fLogic; }
    QPushButton* StartBtn(int AIndex) const { return fStart[Slot(AIndex)]; }
    QPushButton* ApplyBtn(int AIndex) const { return fApply[Slot(AIndex)]; }
    TValuePanel* Panel(int AIndex) const { return fPanel[Slot(AIndex)]; }
    TIndicator* Editor(int AIndex) const { return fEditor[Slot(AIndex)].get(); }
    QPushButton* SaveBtn() const { return fSave; }
    QPushButton* CancelBtn() const { return fCancel; }
    QPushButton* HelpBtn() const { return fHelp; }
    QGroupBox* RangeGroup() const { return fRangeBox; }
    QLabel* Picture() const { return fPicture; }
    QLabel* Thermometer() const { return fThermometer; }
    QLabel* SupplyHint() const { return fSupplyHint; }
    // Why the last Apply sent nothing (empty after a Start or an Apply that sent).
    QLabel* Notice() const { return fNotice; }
    // Current of the chosen range, 0.01 A (0 when the choice is empty).
    uint32_t RangeCurrent() const;
    QStringList RangeCaptions() const;
    // Bar position when the last wait window closed (0 when it ran out).
    int LastWaitPosition() const { return fLastWaitPosition; }

    // The page asks its window to close ("Save", "Cancel") or to show the calibration guide.
    std::function<void()> OnCloseWindow;
    std::function<void()> OnHelp;
    // Calibration data were shown (the window makes the tab visible).
    std::function<void()> OnDataShown;

    // Button handlers, public for tests and owners.
    void StartClick(int AIndex);
    void ApplyClick(int AIndex);
    void SaveClick();
    void PanelClick(int AIndex);

private:
    static size_t Slot(int AIndex) { return static_cast<size_t>(AIndex - 1); }
    void BuildRows();
    void Refresh();

    TSessionCore& fCore;
    TCalibrationLogic fLogic;
    int fWaitTickMs;
    TEnterFormBase* fPopup = nullptr;
    std::array<QPushButton*, 7> fStart{};
    std::array<TValuePanel*, 7> fPanel{};
    std::array<QPushButton*, 7> fApply{};
    std::array<std::unique_ptr<TIndicator>, 7> fEditor;
    QPushButton* fSave = nullptr;
    QPushButton* fCancel = nullptr;
    QPushButton* fHelp = nullptr;
    QGroupBox* fRangeBox = nullptr;
    QButtonGroup* fRangeGroup = nullptr;
    std::vector<uint32_t> fRangeCurrents;
    QLabel* fPicture = nullptr;
    QLabel* fThermometer = nullptr;
    QLabel* fSupplyHint = nullptr;
    QLabel* fNotice = nullptr;
    TWaitForm* fWaitForm = nullptr;
    int fLastWaitPosition = 0;
    uint32_t fCurrentPointPos = 4;
    bool fDataShown = false;
};
