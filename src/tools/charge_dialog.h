#pragma once
// The Plans window's "Charge..." dialog: the chemistry, cells, capacity, current and termination
// of a battery charge, as benchlordctl charge takes them. The plan itself is the charge plan
// builder's; the dialog only collects its inputs.

#include <QDialog>

#include "tools/core/charge_plan.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

class TChargeDialog : public QDialog {
public:
    // ACurrentDiv: the model's current unit (1: 0.01 A, 10: 0.001 A).
    TChargeDialog(uint32_t ACurrentDiv, QWidget* AParent = nullptr);

    // The charge as entered (a current or termination of 0: the chemistry's usual).
    TChargeSettings Settings() const;
    void SetSettings(const TChargeSettings& ASettings);

    QComboBox* Chemistry() const { return fChemistry; }
    QSpinBox* Cells() const { return fCells; }
    QDoubleSpinBox* Capacity() const { return fCapacity; }
    QDoubleSpinBox* Current() const { return fCurrent; }
    QDoubleSpinBox* Termination() const { return fTermination; }
    // The plan the entries make, or why none can be made.
    QLabel* Summary() const { return fSummary; }

private:
    void Refresh();

    uint32_t fCurrentDiv;
    QComboBox* fChemistry;
    QSpinBox* fCells;
    QDoubleSpinBox* fCapacity;
    QDoubleSpinBox* fCurrent;
    QDoubleSpinBox* fTermination;
    QLabel* fSummary;
    QPushButton* fOk = nullptr;
};
