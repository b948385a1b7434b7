#include "tools/test_logging_page.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "tools/core/log_xlsx.h"

TTestLoggingPage::TTestLoggingPage(QWidget* AParent) : QWidget(AParent) {
    setObjectName(QStringLiteral("TestLoggingPage"));
    auto* layout = new QVBoxLayout(this);

    auto* mode = new QGroupBox(this);
    auto* modeGrid = new QGridLayout(mode);
    fByTime = new QRadioButton(QStringLiteral("Log by time"), mode);
    fByEvent = new QRadioButton(QStringLiteral("Log by event"), mode);
    fInterval = new QComboBox(mode);
    for (int i = 0; i < kLogIntervalCount; ++i)
        fInterval->addItem(LogIntervalText(i));
    fVoltage = new QComboBox(mode);
    fVoltage->addItems(VoltageThresholdTexts());
    fCurrent = new QComboBox(mode);
    fCurrent->addItems(CurrentThresholdTexts());
    modeGrid->addWidget(fByTime, 0, 0);
    modeGrid->addWidget(fInterval, 0, 1);
    modeGrid->addWidget(fByEvent, 1, 0);
    modeGrid->addWidget(fVoltage, 1, 1);
    modeGrid->addWidget(fCurrent, 2, 1);
    auto* modeGroup = new QButtonGroup(this);
    modeGroup->addButton(fByTime);
    modeGroup->addButton(fByEvent);
    layout->addWidget(mode);

    auto* format = new QGroupBox(this);
    auto* formatLayout = new QVBoxLayout(format);
    fSpreadsheet = new QRadioButton(QStringLiteral("Save log in Excel format"), format);
    fText = new QRadioButton(QStringLiteral("Save log in text format"), format);
    fNotice = new QLabel(format);
    fNotice->setWordWrap(true);
    // The workbook is written by the program itself, so no spreadsheet application is needed.
    fNotice->setText(SpreadsheetOffered()
                         ? QStringLiteral("The Excel format is an .xlsx workbook written by "
                                          "Benchlord itself; no spreadsheet application is "
                                          "needed to create it.")
                         : QStringLiteral("This build of Benchlord cannot write .xlsx workbooks; "
                                          "logs are saved in text format."));
    formatLayout->addWidget(fSpreadsheet);
    formatLayout->addWidget(fText);
    formatLayout->addWidget(fNotice);
    auto* formatGroup = new QButtonGroup(this);
    formatGroup->addButton(fSpreadsheet);
    formatGroup->addButton(fText);
    layout->addWidget(format);
    fSpreadsheet->setEnabled(SpreadsheetOffered());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    fApply = new QPushButton(QStringLiteral("Apply"), this);
    buttons->addWidget(fApply);
    layout->addLayout(buttons);
    layout->addStretch();

    SetOptions(TLogOptions{});
    for (QRadioButton* radio : {fByTime, fByEvent, fSpreadsheet, fText})
        connect(radio, &QRadioButton::toggled, this, [this](bool AOn) {
            if (AOn) Changed();
        });
    for (QComboBox* box : {fInterval, fVoltage, fCurrent})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
    connect(fApply, &QPushButton::clicked, this, [this] {
        if (OnApply) OnApply();
    });
}

TLogOptions TTestLoggingPage::Options() const {
    TLogOptions options;
    options.ByEvent = fByEvent->isChecked();
    options.IntervalIndex = fInterval->currentIndex();
    options.VoltageEvent = fVoltage->currentIndex();
    options.CurrentEvent = fCurrent->currentIndex();
    options.Spreadsheet = fSpreadsheet->isChecked();
    return options;
}

void TTestLoggingPage::SetOptions(const TLogOptions& AOptions) {
    fLoading = true;
    (AOptions.ByEvent ? fByEvent : fByTime)->setChecked(true);
    fInterval->setCurrentIndex(AOptions.IntervalIndex);
    fVoltage->setCurrentIndex(AOptions.VoltageEvent);
    fCurrent->setCurrentIndex(AOptions.CurrentEvent);
    (AOptions.Spreadsheet && SpreadsheetOffered() ? fSpreadsheet : fText)->setChecked(true);
    fLoading = false;
    UpdateEnabled();
}

void TTestLoggingPage::Load(const TSettingsStore& AStore) {
    fStore.reset();
    SetOptions(TLogOptions::Load(AStore, SpreadsheetOffered()));
    fStore = AStore;
}

void TTestLoggingPage::Save(const TSettingsStore& AStore) const {
    Options().Save(AStore);
}

void TTestLoggingPage::Changed() {
    UpdateEnabled();
    if (!fLoading && fStore) Save(*fStore);
}

void TTestLoggingPage::UpdateEnabled() {
    const bool byEvent = fByEvent->isChecked();
    fInterval->setEnabled(!byEvent);
    fVoltage->setEnabled(byEvent);
    fCurrent->setEnabled(byEvent);
}
