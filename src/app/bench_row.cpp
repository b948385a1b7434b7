#include "app/bench_row.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <cmath>

namespace {

QLabel* AddLabel(QGridLayout& AGrid, int ARow, int AColumn, Qt::Alignment AAlign = Qt::AlignLeft) {
    auto* label = new QLabel;
    label->setAlignment(AAlign | Qt::AlignVCenter);
    AGrid.addWidget(label, ARow, AColumn);
    return label;
}

// A style sheet is set only when it changes: setting one repolishes and repaints the widget.
void SetStyle(QWidget* AWidget, const QString& ASheet) {
    if (AWidget->styleSheet() != ASheet) AWidget->setStyleSheet(ASheet);
}

uint32_t Scaled(double AValue, int ADecimals) {
    return static_cast<uint32_t>(std::lround(AValue * std::pow(10.0, ADecimals)));
}

}  // namespace

QStringList TBenchRow::Headings() {
    return {"Supply",     "Model",  "Link",  "Voltage", "Current", "Power",    "Mode",
            "Protection", "Output", "Set V", "Set A",   "Order",   "Tracking", ""};
}

TBenchRow::TBenchRow(const QString& AName, const QString& AOrder, QGridLayout& AGrid, int ARow,
                     QObject* AParent)
    : QObject(AParent) {
    int column = 0;
    fName = AddLabel(AGrid, ARow, column++);
    fName->setText(AName);
    fName->setObjectName(QStringLiteral("BenchName"));
    fModel = AddLabel(AGrid, ARow, column++);
    fLink = AddLabel(AGrid, ARow, column++);
    fUout = AddLabel(AGrid, ARow, column++, Qt::AlignRight);
    fIout = AddLabel(AGrid, ARow, column++, Qt::AlignRight);
    fPower = AddLabel(AGrid, ARow, column++, Qt::AlignRight);
    fMode = AddLabel(AGrid, ARow, column++, Qt::AlignCenter);
    fProtection = AddLabel(AGrid, ARow, column++, Qt::AlignCenter);
    fOutput = new QPushButton(QStringLiteral("OFF"));
    fOutput->setObjectName(QStringLiteral("BenchOutput"));
    fOutput->setCheckable(true);
    fOutput->setToolTip(QStringLiteral("Switches this supply's output (after its delay)"));
    AGrid.addWidget(fOutput, ARow, column++);
    fUset = new QDoubleSpinBox;
    fUset->setDecimals(2);
    fUset->setSuffix(QStringLiteral(" V"));
    fUset->setKeyboardTracking(false);
    AGrid.addWidget(fUset, ARow, column++);
    fIset = new QDoubleSpinBox;
    fIset->setSuffix(QStringLiteral(" A"));
    fIset->setKeyboardTracking(false);
    AGrid.addWidget(fIset, ARow, column++);
    fOrder = AddLabel(AGrid, ARow, column++);
    fOrder->setText(AOrder);
    fTracking = AddLabel(AGrid, ARow, column++);
    fPanel = new QPushButton(QStringLiteral("Panel..."));
    fPanel->setToolTip(QStringLiteral("Opens this supply's full panel"));
    AGrid.addWidget(fPanel, ARow, column++);

    // The button shows the output as read; a click asks for the other state.
    connect(fOutput, &QPushButton::clicked, this, [this] {
        fOutput->setChecked(fState.OutputOn);
        emit SwitchClicked(!fState.OutputOn);
    });
    connect(fUset, &QDoubleSpinBox::editingFinished, this, &TBenchRow::Entered);
    connect(fIset, &QDoubleSpinBox::editingFinished, this, &TBenchRow::Entered);
    connect(fPanel, &QPushButton::clicked, this, &TBenchRow::PanelClicked);
    Show({});
}

void TBenchRow::Entered() {
    if (!fState.Editable) return;
    const uint32_t uset = Scaled(fUset->value(), 2);
    const uint32_t iset = Scaled(fIset->value(), fState.CurrentDecimals);
    if (uset == fState.Uset && iset == fState.Iset) return;
    emit SetPointsEntered(uset, iset);
}

void TBenchRow::Show(const TBenchRowState& AState) {
    fState = AState;
    fModel->setText(AState.Model);
    fLink->setText(AState.Link);
    const QString dash = QStringLiteral("-");
    fUout->setText(AState.Live ? AState.Uout : dash);
    fIout->setText(AState.Live ? AState.Iout : dash);
    fPower->setText(AState.Live ? AState.Power : dash);
    fMode->setText(AState.Live ? AState.Mode : QString());
    fProtection->setText(AState.Live ? AState.Protection : QString());
    const QString alarm = QStringLiteral("color: #e03030; font-weight: bold;");
    SetStyle(fProtection, AState.Tripped ? alarm : QString());
    SetStyle(fLink, AState.Link == QLatin1String("lost") ? alarm : QString());
    fOutput->setEnabled(AState.Live);
    fOutput->setChecked(AState.OutputOn);
    fOutput->setText(AState.OutputOn ? QStringLiteral("ON") : QStringLiteral("OFF"));
    fTracking->setText(AState.Tracking);
    // An editor the user is typing in keeps what is typed until it is entered. A spin box
    // repaints on every setter, so only what changed is set.
    const auto showSet = [&](QDoubleSpinBox* ABox, int ADecimals, uint32_t AMax, uint32_t AValue,
                             bool AEditable) {
        ABox->setEnabled(AEditable);
        if (ABox->hasFocus() && AEditable) return;
        const QSignalBlocker block(ABox);
        const double scale = std::pow(10.0, ADecimals);
        if (ABox->decimals() != ADecimals) {
            ABox->setDecimals(ADecimals);
            ABox->setSingleStep(ADecimals == 3 ? 0.01 : 0.1);
        }
        if (ABox->maximum() != AMax / scale) ABox->setRange(0.0, AMax / scale);
        if (ABox->value() != AValue / scale) ABox->setValue(AValue / scale);
    };
    showSet(fUset, 2, AState.MaxUset, AState.Uset, AState.Editable);
    showSet(fIset, AState.CurrentDecimals, AState.MaxIset, AState.Iset, AState.Editable);
}
