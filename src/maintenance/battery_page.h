#pragma once
// The "Battery Source" tab: "Use Battery Source", the cell presets, the full and empty voltages
// (four-digit entry pop-up on the supply's MAXS and MINS), the charge gauge, "Save" and
// "Cancel". Edits change the session's register mirror at once; the supply receives them when
// the window closes with "Save".

#include <QWidget>
#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class TEnterFormBase;
class TIndicator;
class TSessionCore;
class TValuePanel;

class TBatteryPage : public QWidget {
public:
    TBatteryPage(TSessionCore& ACore, QWidget* AParent);
    ~TBatteryPage() override;

    // The four-digit entry pop-up the value panels open.
    void SetPopup(TEnterFormBase* APopup) { fPopup = APopup; }

    // The check box from the session's battery-source flag, then a refresh.
    void UpdateBattery();
    // Refresh after a change caused by ACause (the cell choice keeps its own selection).
    void BatteryDataChanged(QObject* ACause = nullptr);
    // A cell preset chosen (0..4).
    void CellChosen(int AIndex);

    QCheckBox* UseBattery() const { return fUse; }
    QGroupBox* CellGroup() const { return fCellBox; }
    // Selected cell preset, -1 none.
    int SelectedCell() const;
    TValuePanel* MaxsPanel() const { return fMaxsPanel; }
    TValuePanel* MinsPanel() const { return fMinsPanel; }
    TIndicator* MaxsInd() const { return fMaxsInd.get(); }
    TIndicator* MinsInd() const { return fMinsInd.get(); }
    QWidget* Gauge() const { return fGauge; }
    QProgressBar* GaugeBar() const { return fGaugeBar; }
    QLabel* GaugeCaption() const { return fGaugeCaption; }
    QPushButton* SaveBtn() const { return fSave; }
    QPushButton* CancelBtn() const { return fCancel; }

    void PanelClick(TValuePanel* APanel);

    std::function<void()> OnSave;
    std::function<void()> OnCancel;

private:
    TSessionCore& fCore;
    TEnterFormBase* fPopup = nullptr;
    QCheckBox* fUse;
    QGroupBox* fCellBox;
    QButtonGroup* fCells;
    TValuePanel* fMaxsPanel;
    TValuePanel* fMinsPanel;
    QWidget* fGauge;
    QProgressBar* fGaugeBar;
    QLabel* fGaugeCaption;
    QPushButton* fSave;
    QPushButton* fCancel;
    std::unique_ptr<TIndicator> fMaxsInd;
    std::unique_ptr<TIndicator> fMinsInd;
};
