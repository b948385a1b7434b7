#include "app/param_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include "app/edit_box.h"

namespace {

QLabel* FieldLabel(const QString& AText, QWidget* AParent) {
    auto* label = new QLabel(AText, AParent);
    label->setObjectName(QStringLiteral("FieldLabel"));
    return label;
}

}  // namespace

TParamPanel::TParamPanel(QWidget* AParent)
    : QWidget(AParent),
      fOhp(new TEditBox(this, kOhpTag, QStringLiteral("Overheating Protection"))),
      fMaxMem(new TEditBox(this, kMaxMemTag, QStringLiteral("Max Memory Number"))),
      fCelsius(new QRadioButton(QStringLiteral("C"), this)),
      fFahrenheit(new QRadioButton(QStringLiteral("F"), this)),
      fBacklight(new QSlider(Qt::Horizontal, this)),
      fResetCounters(new QCheckBox(QStringLiteral("Auto Reset Counters"), this)),
      fShowCursor(new QCheckBox(QStringLiteral("Show Cursor Buttons"), this)),
      fSave(new QPushButton(QStringLiteral("Save"), this)),
      fAdvanced(new QPushButton(QStringLiteral("Advanced"), this)) {
    setObjectName(QStringLiteral("ParamPanel"));
    fOhp->setObjectName(QStringLiteral("P_OHPEdit"));
    fMaxMem->setObjectName(QStringLiteral("P_MaxMemEdit"));
    fCelsius->setObjectName(QStringLiteral("CF_RadioGroup"));
    fFahrenheit->setObjectName(QStringLiteral("CF_RadioGroup"));
    fBacklight->setObjectName(QStringLiteral("P_BacklightTrackBar"));
    fResetCounters->setObjectName(QStringLiteral("P_ResetCountersCheckBox"));
    fShowCursor->setObjectName(QStringLiteral("UpDownCheckBox"));
    fSave->setObjectName(QStringLiteral("P_SaveBtn"));
    fAdvanced->setObjectName(QStringLiteral("P_AdvancedBtn"));
    fAdvanced->setToolTip(QStringLiteral("Colors, calibration, battery source, help"));
    fBacklight->setRange(1, 5);
    fBacklight->setPageStep(1);
    fBacklight->setToolTip(QStringLiteral("Backlight"));
    fSave->setToolTip(QStringLiteral("Write the parameters to the supply"));
    auto* units = new QButtonGroup(this);
    units->addButton(fCelsius, 0);
    units->addButton(fFahrenheit, 1);
    fCelsius->setChecked(true);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(7);
    grid->addWidget(FieldLabel(QStringLiteral("Temperature"), this), 0, 0);
    auto* unitRow = new QHBoxLayout();
    unitRow->addWidget(fCelsius);
    unitRow->addWidget(fFahrenheit);
    unitRow->addStretch(1);
    grid->addLayout(unitRow, 0, 1);
    grid->addWidget(FieldLabel(QStringLiteral("Over-heat"), this), 1, 0);
    grid->addWidget(fOhp, 1, 1);
    grid->addWidget(FieldLabel(QStringLiteral("Max memory"), this), 2, 0);
    grid->addWidget(fMaxMem, 2, 1);
    grid->addWidget(FieldLabel(QStringLiteral("Backlight"), this), 3, 0);
    grid->addWidget(fBacklight, 3, 1);
    grid->addWidget(fResetCounters, 4, 0, 1, 2);
    grid->addWidget(fShowCursor, 5, 0, 1, 2);
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(fAdvanced);
    buttonRow->addWidget(fSave);
    grid->addLayout(buttonRow, 6, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    for (TEditBox* box : {fOhp, fMaxMem}) {
        box->OnClick = [this](TEditBox* ABox) {
            if (OnEditClick) OnEditClick(ABox);
        };
    }
    connect(fResetCounters, &QCheckBox::clicked, this, [this](bool AOn) {
        if (OnResetCountersClick) OnResetCountersClick(AOn);
    });
    connect(fShowCursor, &QCheckBox::clicked, this, [this](bool AOn) {
        if (OnShowCursorClick) OnShowCursorClick(AOn);
    });
    connect(fFahrenheit, &QRadioButton::clicked, this, [this] {
        if (OnUnitClick) OnUnitClick(true);
    });
    connect(fCelsius, &QRadioButton::clicked, this, [this] {
        if (OnUnitClick) OnUnitClick(false);
    });
    connect(fSave, &QPushButton::clicked, this, [this] {
        if (OnSave) OnSave();
    });
    connect(fAdvanced, &QPushButton::clicked, this, [this] {
        if (OnAdvanced) OnAdvanced();
    });
}

void TParamPanel::ShowFahrenheit(bool AFahrenheit) {
    const QSignalBlocker blockC(fCelsius);
    const QSignalBlocker blockF(fFahrenheit);
    (AFahrenheit ? fFahrenheit : fCelsius)->setChecked(true);
}
