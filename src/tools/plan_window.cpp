#include "tools/plan_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "session/session_core.h"
#include "tools/core/log_xlsx.h"
#include "tools/core/save_file.h"
#include "tools/core/sequencer.h"
#include "tools/sweep_page.h"

namespace {

constexpr qint64 kMaxPlanFileBytes = 1 << 20;
const char kPlanFilter[] = "Plan files (*.csv);;All files (*)";

QPushButton* Button(const char* AText, const char* ATip, QWidget* AParent) {
    auto* button = new QPushButton(QString::fromUtf8(AText), AParent);
    button->setToolTip(QString::fromUtf8(ATip));
    return button;
}

}  // namespace

TPlanWindow::TPlanWindow(TSessionCore& ACore, TSettingsStore& ASettings, QWidget* AMainWindow,
                         TPlanWindowOptions AOptions)
    : QWidget(AMainWindow, Qt::Window),
      fCore(ACore),
      fSettings(ASettings),
      fOptions(std::move(AOptions)) {
    setObjectName(QStringLiteral("PlanWindow"));
    fLogger = std::make_unique<TDataLogger>(fCore.LastReading());
    BuildLayout();
    WireRunner();
    fEditor->SetRows(
        PlanRowsFromText("voltage,current,seconds,until,max_seconds\n"
                         "5.00,0.500,10\n"));
    SetModified(false);
    resize(820, 620);
}

TPlanWindow::~TPlanWindow() = default;

void TPlanWindow::BuildLayout() {
    fTabs = new QTabWidget(this);
    fTabs->addTab(BuildPlanPage(), QStringLiteral("Plan"));
    fSweep = new TSweepPage(fCore, this);
    fSweep->OnError = [this](const QString& AText) { ShowError(AText); };
    fSweep->AskSaveFileName = [this](const QString& AProposed, const QString& AFilter) {
        return fOptions.AskSaveFileName
                   ? fOptions.AskSaveFileName(AProposed, AFilter)
                   : QFileDialog::getSaveFileName(this, QString(), AProposed, AFilter);
    };
    fSweep->OnRunningChanged = [this] { UpdateButtons(); };
    fTabs->addTab(fSweep, QStringLiteral("Sweep"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(fTabs);
}

QWidget* TPlanWindow::BuildPlanPage() {
    auto* page = new QWidget(this);
    fOpen = Button("Open...", "Open a plan file (CSV)", page);
    fSave = Button("Save", "Save the plan to its file", page);
    fSaveAs = Button("Save as...", "Save the plan under another name", page);
    fAdd = Button("Add step", "Insert a copy of the step above after the selected row", page);
    fRemove = Button("Remove", "Remove the selected row", page);
    fCharge = Button("Charge...",
                     "Put the plan that charges a battery in the editor (as benchlordctl charge "
                     "makes it); it runs with OVP and OCP raised a little above it",
                     page);
    fRun = Button("Run", "Run the plan from its first step", page);
    fStop = Button("Stop", "Stop the plan; the output goes off", page);
    fSaveLog = Button("Save log...", "Save the log of the last run", page);
    fRun->setObjectName(QStringLiteral("PlanRun"));
    fStop->setObjectName(QStringLiteral("PlanStop"));
    fSaveLog->setEnabled(false);
    fInARow = new QSpinBox(page);
    fInARow->setRange(1, 50);
    fInARow->setValue(kPlanReadingsInARow);
    fInARow->setSuffix(QStringLiteral(" in a row"));
    fInARow->setToolTip(
        QStringLiteral("Readings in a row a condition must hold before it ends a step, so that "
                       "one noisy reading ends nothing"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {fOpen, fSave, fSaveAs})
        buttons->addWidget(b);
    buttons->addSpacing(12);
    buttons->addWidget(fAdd);
    buttons->addWidget(fRemove);
    buttons->addWidget(fCharge);
    buttons->addStretch(1);
    buttons->addWidget(fInARow);
    for (QPushButton* b : {fRun, fStop, fSaveLog})
        buttons->addWidget(b);

    fFileLabel = new QLabel(page);
    fFileLabel->setObjectName(QStringLiteral("FieldLabel"));
    fEditor = new TPlanEditor(page);
    fEditor->OnEdited = [this] { SetModified(true); };

    fStepLabel = new QLabel(page);
    fStepLabel->setObjectName(QStringLiteral("PlanStep"));
    fConditionLabel = new QLabel(page);
    fConditionLabel->setObjectName(QStringLiteral("PlanCondition"));
    fValuesLabel = new QLabel(page);
    fValuesLabel->setObjectName(QStringLiteral("PlanValues"));
    for (QLabel* label : {fStepLabel, fConditionLabel, fValuesLabel}) {
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    fStepLabel->setStyleSheet(QStringLiteral("font-weight: bold;"));
    fEvents = new QListWidget(page);
    fEvents->setObjectName(QStringLiteral("PlanEvents"));
    fEvents->setMaximumHeight(110);
    fEvents->setToolTip(QStringLiteral("How each step of the last run ended"));

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(buttons);
    layout->addWidget(fFileLabel);
    layout->addWidget(fEditor, 1);
    layout->addWidget(fStepLabel);
    layout->addWidget(fConditionLabel);
    layout->addWidget(fValuesLabel);
    layout->addWidget(fEvents);

    connect(fOpen, &QPushButton::clicked, this, [this] { OpenClick(); });
    connect(fSave, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(fSaveAs, &QPushButton::clicked, this, [this] { SaveAsClick(); });
    connect(fAdd, &QPushButton::clicked, this, [this] { fEditor->AddRow(); });
    connect(fRemove, &QPushButton::clicked, this, [this] { fEditor->RemoveRow(); });
    connect(fCharge, &QPushButton::clicked, this, [this] { ChargeClick(); });
    connect(fRun, &QPushButton::clicked, this, [this] { RunClick(); });
    connect(fStop, &QPushButton::clicked, this, [this] { StopClick(); });
    connect(fSaveLog, &QPushButton::clicked, this, [this] { SaveLogClick(); });
    return page;
}

// --- files -------------------------------------------------------------------------------------

void TPlanWindow::SetModified(bool AModified) {
    fModified = AModified;
    UpdateTitle();
}

void TPlanWindow::UpdateTitle() {
    const QString name = fPath.isEmpty() ? QStringLiteral("untitled plan") : fPath;
    fFileLabel->setText(name + (fModified ? QStringLiteral("  (changed, not saved)") : QString()));
    const QString title =
        "Plans - " + (fPath.isEmpty() ? QStringLiteral("untitled") : QFileInfo(fPath).fileName()) +
        (fModified ? QStringLiteral(" *") : QString());
    setWindowTitle(title);
}

bool TPlanWindow::AllowDiscard() {
    if (!fModified) return true;
    switch (
        Ask(QStringLiteral("The plan in the editor has changes that are not saved.\r"
                           "Save them first?"))) {
        case TPlanWindowOptions::anYes:
            return SaveClick();
        case TPlanWindowOptions::anNo:
            return true;
        case TPlanWindowOptions::anCancel:
            break;
    }
    return false;
}

bool TPlanWindow::AllowDiscardLog() {
    if (fLogSaved || fLogger->Records().empty()) return true;
    switch (Ask(QStringLiteral("The log of the last run is not saved.\rSave it first?"))) {
        case TPlanWindowOptions::anYes:
            return SaveLogClick();
        case TPlanWindowOptions::anNo:
            return true;
        case TPlanWindowOptions::anCancel:
            break;
    }
    return false;
}

void TPlanWindow::ClearLastRun() {
    fEvents->clear();
    fStepLabel->setText(QStringLiteral("Not running"));
    fConditionLabel->clear();
    fValuesLabel->clear();
    fLogger->ClearLogData();
    fLogSaved = true;
    fEditor->MarkRunningLine(-1);
    UpdateButtons();
}

void TPlanWindow::OpenClick() {
    if (Running() || !AllowDiscard() || !AllowDiscardLog()) return;
    const QString folder = fPath.isEmpty() ? QDir::homePath() : QFileInfo(fPath).absolutePath();
    const QString filter = QString::fromLatin1(kPlanFilter);
    const QString path =
        fOptions.AskOpenFileName
            ? fOptions.AskOpenFileName(folder, filter)
            : QFileDialog::getOpenFileName(this, QStringLiteral("Open plan"), folder, filter);
    if (!path.isEmpty()) LoadFile(path);
}

bool TPlanWindow::OpenFile(const QString& APath) {
    if (Running() || !AllowDiscard() || !AllowDiscardLog()) return false;
    return LoadFile(APath);
}

bool TPlanWindow::LoadFile(const QString& APath) {
    QByteArray text;
    const QString problem =
        ReadInputFile(APath, kMaxPlanFileBytes, QStringLiteral("a plan file"), text);
    if (!problem.isEmpty()) {
        ShowError("Cannot open " + APath + ": " + problem);
        return false;
    }
    // The status and log of a run of the plan before belong to that plan.
    ClearLastRun();
    fEditor->SetRows(PlanRowsFromText(text));
    fChargePlan.reset();
    fPath = QFileInfo(APath).absoluteFilePath();
    SetModified(false);
    return true;
}

bool TPlanWindow::SaveTo(const QString& APath) {
    const QString error = SaveFile(APath, fEditor->Text());
    if (!error.isEmpty()) {
        ShowError(CannotWrite(APath, error));
        return false;
    }
    fPath = QFileInfo(APath).absoluteFilePath();
    SetModified(false);
    return true;
}

bool TPlanWindow::SaveClick() {
    if (fPath.isEmpty()) return SaveAsClick();
    return SaveTo(fPath);
}

bool TPlanWindow::SaveAsClick() {
    const QString proposed =
        fPath.isEmpty() ? QDir::home().filePath(QStringLiteral("plan.csv")) : fPath;
    QString path = fOptions.AskSaveFileName
                       ? fOptions.AskSaveFileName(proposed, QString::fromLatin1(kPlanFilter))
                       : QFileDialog::getSaveFileName(this, QStringLiteral("Save plan"), proposed,
                                                      QString::fromLatin1(kPlanFilter));
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
    return SaveTo(path);
}

// --- main window -------------------------------------------------------------------------------

void TPlanWindow::ShowFromMain() {
    show();
    raise();
    activateWindow();
}

void TPlanWindow::SetRunAllowed(bool AAllowed) {
    if (fRunAllowed == AAllowed) return;
    fRunAllowed = AAllowed;
    UpdateButtons();
    // The model's limits count once a supply is connected.
    fEditor->Recheck();
}

bool TPlanWindow::CloseQuery(bool AAsk) {
    if (Running()) {
        if (AAsk && !Confirm(fSweep->Running() ? QStringLiteral("Stop the sweep?")
                                               : QStringLiteral("Stop the plan?")))
            return false;
        StopWithOutputOff();
    }
    // The editor goes with the main window: unsaved edits are offered first.
    if (AAsk && !AllowDiscard()) return false;
    // A charge that ended just now may still owe its OVP and OCP: they go out before the
    // session closes.
    PutProtectionsBack(true);
    return true;
}

void TPlanWindow::closeEvent(QCloseEvent* AEvent) {
    // The window only hides: the editor keeps its text for the next "Plans". A run does not go
    // on unseen: closing asks to stop it.
    if (Running()) {
        if (!Confirm(fSweep->Running() ? QStringLiteral("Stop the sweep?")
                                       : QStringLiteral("Stop the plan?"))) {
            AEvent->ignore();
            return;
        }
        StopClick();
    }
    AEvent->accept();
}

// --- dialogs -----------------------------------------------------------------------------------

TLogOptions TPlanWindow::CurrentLogOptions() const {
    if (fOptions.LogOptions) return fOptions.LogOptions();
    return TLogOptions::Load(fSettings, SpreadsheetOffered());
}

TPlanWindowOptions::TAnswer TPlanWindow::Ask(const QString& AText) {
    if (fOptions.Ask) return fOptions.Ask(AText);
    if (fOptions.Confirm)
        return fOptions.Confirm(AText) ? TPlanWindowOptions::anYes : TPlanWindowOptions::anCancel;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Plans"),
                    QString(AText).replace('\r', '\n'),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return TPlanWindowOptions::anYes;
        case QMessageBox::No:
            return TPlanWindowOptions::anNo;
        default:
            return TPlanWindowOptions::anCancel;
    }
}

bool TPlanWindow::Confirm(const QString& AText) {
    if (fOptions.Confirm) return fOptions.Confirm(AText);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Plans"),
                    QString(AText).replace('\r', '\n'), QMessageBox::Ok | QMessageBox::Cancel,
                    this);
    return box.exec() == QMessageBox::Ok;
}

void TPlanWindow::ShowError(const QString& AText) {
    if (fOptions.Error) {
        fOptions.Error(AText);
        return;
    }
    QMessageBox::critical(this, QStringLiteral("Plans"), QString(AText).replace('\r', '\n'));
}

void TPlanWindow::ShowInformation(const QString& AText) {
    if (fOptions.Information) {
        fOptions.Information(AText);
        return;
    }
    QMessageBox::information(this, QStringLiteral("Plans"), QString(AText).replace('\r', '\n'));
}
