#include "tools/charge_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace {

uint32_t Milli(double AValue) {
    return static_cast<uint32_t>(std::lround(AValue * 1000));
}

}  // namespace

TChargeDialog::TChargeDialog(uint32_t ACurrentDiv, QWidget* AParent)
    : QDialog(AParent),
      fCurrentDiv(ACurrentDiv),
      fChemistry(new QComboBox(this)),
      fCells(new QSpinBox(this)),
      fCapacity(new QDoubleSpinBox(this)),
      fCurrent(new QDoubleSpinBox(this)),
      fTermination(new QDoubleSpinBox(this)),
      fSummary(new QLabel(this)) {
    setObjectName(QStringLiteral("ChargeDialog"));
    setWindowTitle(QStringLiteral("Charge"));
    fChemistry->addItems(ChargeChemistries());
    fCells->setRange(1, 24);
    const int decimals = ACurrentDiv == 10 ? 3 : 2;
    fCapacity->setRange(0.001, 1000);
    fCapacity->setDecimals(3);
    fCapacity->setValue(2);
    fCapacity->setSuffix(QStringLiteral(" Ah"));
    for (QDoubleSpinBox* box : {fCurrent, fTermination}) {
        box->setRange(0, 100);
        box->setDecimals(decimals);
        box->setSingleStep(ACurrentDiv == 10 ? 0.01 : 0.1);
        box->setSuffix(QStringLiteral(" A"));
        // 0: the chemistry's usual share of the capacity.
        box->setSpecialValueText(QStringLiteral("usual"));
    }
    fCurrent->setToolTip(
        QStringLiteral("The charge current; \"usual\": C/2 for lithium, C/10 "
                       "for the others"));
    fTermination->setToolTip(QStringLiteral(
        "The charge ends once the current falls to this; \"usual\": C/10 for Li-ion, C/20 for "
        "LiFePO4, C/50 for lead-acid and NiMH"));
    fSummary->setObjectName(QStringLiteral("ChargeSummary"));
    fSummary->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Chemistry"), fChemistry);
    form->addRow(QStringLiteral("Cells"), fCells);
    form->addRow(QStringLiteral("Capacity"), fCapacity);
    form->addRow(QStringLiteral("Current"), fCurrent);
    form->addRow(QStringLiteral("Termination"), fTermination);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    fOk = buttons->button(QDialogButtonBox::Ok);
    fOk->setText(QStringLiteral("Put in the editor"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(fSummary);
    layout->addWidget(buttons);

    connect(fChemistry, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    connect(fCells, &QSpinBox::valueChanged, this, [this] { Refresh(); });
    for (QDoubleSpinBox* box : {fCapacity, fCurrent, fTermination})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { Refresh(); });
    Refresh();
}

TChargeSettings TChargeDialog::Settings() const {
    TChargeSettings wanted;
    wanted.Chemistry = fChemistry->currentText();
    wanted.Cells = static_cast<uint32_t>(fCells->value());
    wanted.CapacityMah = Milli(fCapacity->value());
    wanted.Milliamps = Milli(fCurrent->value());
    wanted.TerminationMa = Milli(fTermination->value());
    return wanted;
}

void TChargeDialog::SetSettings(const TChargeSettings& ASettings) {
    fChemistry->setCurrentText(ASettings.Chemistry);
    fCells->setValue(static_cast<int>(ASettings.Cells));
    fCapacity->setValue(ASettings.CapacityMah / 1000.0);
    fCurrent->setValue(ASettings.Milliamps / 1000.0);
    fTermination->setValue(ASettings.TerminationMa / 1000.0);
}

void TChargeDialog::Refresh() {
    const TChargeSettings wanted = Settings();
    const TChargePlan plan = MakeChargePlan(wanted, fCurrentDiv);
    fOk->setEnabled(plan.Error.isEmpty());
    fSummary->setText(plan.Error.isEmpty() ? ChargePlanText(wanted, plan, fCurrentDiv)
                                           : "No plan: " + plan.Error);
}
