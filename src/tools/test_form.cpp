#include "tools/test_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "controls/enter_form_base.h"
#include "controls/indicator.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "session/value_format.h"
#include "tools/core/log_files.h"
#include "tools/core/log_xlsx.h"
#include "tools/core/output_off.h"
#include "tools/core/save_file.h"

namespace {

constexpr int kEnabledRole = Qt::UserRole + 1;

// Column 0: a check box centred in the cell, checked as the step's Enabled.
class TCheckDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
               const QModelIndex& AIndex) const override {
        QStyleOptionViewItem back = AOption;
        initStyleOption(&back, AIndex);
        back.text.clear();
        const QWidget* widget = AOption.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &back, APainter, widget);
        QStyleOptionButton box;
        const int size = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget);
        box.rect = QRect(0, 0, size, size);
        box.rect.moveCenter(AOption.rect.center());
        box.state = QStyle::State_Enabled |
                    (AIndex.data(kEnabledRole).toBool() ? QStyle::State_On : QStyle::State_Off);
        if (!(AOption.state & QStyle::State_Enabled)) box.state &= ~QStyle::State_Enabled;
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, APainter, widget);
    }
};

QTableWidgetItem* Cell(QTableWidget* AGrid, int ARow, int AColumn) {
    QTableWidgetItem* item = AGrid->item(ARow, AColumn);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        AGrid->setItem(ARow, AColumn, item);
    }
    return item;
}

}  // namespace

TTestForm::TTestForm(TSessionCore& ACore, TSettingsStore& ASettings, QWidget* AMainWindow,
                     TTestFormOptions AOptions)
    : QWidget(AMainWindow, Qt::Window),
      fCore(ACore),
      fSettings(ASettings),
      fMain(AMainWindow),
      fOptions(std::move(AOptions)),
      fTablePath(fOptions.TablePath.isEmpty() ? TableFilePath() : fOptions.TablePath),
      fTarget(ACore),
      fRecovery(fOptions.RecoveryPath.isEmpty() ? TRecoveryLog::DefaultPath()
                                                : fOptions.RecoveryPath) {
    setObjectName(QStringLiteral("TestForm"));
    setWindowTitle(QStringLiteral("Auto Test"));
    fLogger = std::make_unique<TDataLogger>(fCore.LastReading());
    fLogger->fOnRecord = [this](const TLogRecord& ARecord) {
        if (!fRecoveryOpen) return;
        const QString error = fRecovery.Append(ARecord);
        if (error.isEmpty()) return;
        // The run and the log in memory go on; the box comes once, outside the logger.
        fRecoveryOpen = false;
        QTimer::singleShot(0, this, [this, error] { ShowError(error); });
    };
    fSequencer = std::make_unique<TSequencer>(
        fTarget, *fLogger, [this] { return CurrentLogOptions(); }, fOptions.Timings, this);
    fTarget.fOnStepLoaded = [this](int AStep) { fGrid->setCurrentCell(AStep, 0); };
    fTarget.fOnRunningChanged = [this](bool ARunning) { RunningChanged(ARunning); };

    BuildLayout();
    const TSavedTable saved = ReadSavedTable(fSettings, fTablePath);
    fSequencer->Table() = saved.Table;
    if (!saved.Problem.isEmpty()) SetBadTableAside(saved.Problem);

    fUsetInd = std::make_unique<TIndicator>(10, 100, 4, 3, nullptr, QStringLiteral("V"));
    fIsetInd = std::make_unique<TIndicator>(1, 100, 4, 3, nullptr, QStringLiteral("A"));
    fTimeInd = std::make_unique<TIndicator>(1, 3599, 4, 3, nullptr, QStringLiteral("s"));
    fTimeInd->SetHoursMinutes(true);
    for (TIndicator* editor : {fUsetInd.get(), fIsetInd.get(), fTimeInd.get()})
        editor->SetOnChange([this](TIndicator*) {
            if (fEditRow >= 0) UpdateRow(fEditRow);
        });
    UpdateGrid();
    if (fMain) fMain->installEventFilter(this);
}

TTestForm::~TTestForm() {
    if (fMain) fMain->removeEventFilter(this);
    for (TIndicator* editor : {fUsetInd.get(), fIsetInd.get(), fTimeInd.get()}) {
        if (fPopup && fPopup->Indicator() == editor) fPopup->SetIndicator(nullptr);
        if (TIndicator::Active() == editor) TIndicator::ResetActive();
    }
}

void TTestForm::BuildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    auto* buttons = new QHBoxLayout;
    fStart = new QPushButton(QStringLiteral("Start"), this);
    fStop = new QPushButton(QStringLiteral("Stop"), this);
    fStop->setToolTip(QStringLiteral("End the run: the output goes off, the log is kept"));
    fStop->hide();
    fSave = new QPushButton(QStringLiteral("Save"), this);
    fAdd = new QPushButton(QStringLiteral("+"), this);
    fDelete = new QPushButton(QStringLiteral("-"), this);
    fAdd->setFixedWidth(32);
    fDelete->setFixedWidth(32);
    fBusy = new QProgressBar(this);
    fBusy->setRange(0, 0);
    fBusy->setTextVisible(false);
    fBusy->setFixedHeight(10);
    fBusy->hide();
    buttons->addWidget(fStart);
    buttons->addWidget(fStop);
    buttons->addWidget(fSave);
    buttons->addStretch();
    buttons->addWidget(fAdd);
    buttons->addWidget(fDelete);
    layout->addLayout(buttons);
    layout->addWidget(fBusy);
    fStatus = new QLabel(this);
    fStatus->setObjectName(QStringLiteral("StatusLabel"));
    fStatus->setWordWrap(true);
    layout->addWidget(fStatus);

    fGrid = new QTableWidget(0, 5, this);
    fGrid->setHorizontalHeaderLabels({QString(), QStringLiteral("U set, V"),
                                      QStringLiteral("I set, A"), QStringLiteral("P set, W"),
                                      QStringLiteral("Time, s")});
    fGrid->verticalHeader()->hide();
    fGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    fGrid->setItemDelegateForColumn(0, new TCheckDelegate(fGrid));
    const int rowHeight = fGrid->verticalHeader()->defaultSectionSize();
    fGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    fGrid->setColumnWidth(0, rowHeight);
    for (int column = 1; column < 5; ++column)
        fGrid->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Stretch);
    layout->addWidget(fGrid);
    fSave->setEnabled(false);  // usable after the first run
    fStart->setEnabled(false);

    connect(fStart, &QPushButton::clicked, this, [this] { StartBtnClick(); });
    connect(fStop, &QPushButton::clicked, this, [this] { StopBtnClick(); });
    connect(fSave, &QPushButton::clicked, this, [this] { SaveBtnClick(); });
    connect(fAdd, &QPushButton::clicked, this, [this] { AddBtnClick(); });
    connect(fDelete, &QPushButton::clicked, this, [this] { DeleteBtnClick(); });
    connect(fGrid, &QTableWidget::cellClicked, this, [this](int ARow, int AColumn) {
        if (QGuiApplication::keyboardModifiers() != Qt::NoModifier && AColumn == 0) return;
        CellClick(ARow, AColumn);
    });
    resize(kPinnedWidth, 512);
}

TIndicator* TTestForm::Editor(int AColumn) const {
    switch (AColumn) {
        case 1:
            return fUsetInd.get();
        case 2:
            return fIsetInd.get();
        case 4:
            return fTimeInd.get();
        default:
            return nullptr;
    }
}

// --- grid --------------------------------------------------------------------------------------

void TTestForm::UpdateRow(int AStep) {
    const TStepRecord& step = Table().Steps[AStep];
    Cell(fGrid, AStep, 0)->setData(kEnabledRole, step.Enabled);
    Cell(fGrid, AStep, 1)->setText(FormatFixedPoint(step.Uset, 3));
    if (fCurDivider == 1 || fCurDivider == 10) {
        Cell(fGrid, AStep, 2)->setText(FormatFixedPoint(step.Iset, fCurDivider == 10 ? 4 : 3));
        const uint32_t power = step.Uset * step.Iset / (fCurDivider == 10 ? 1000 : 100);
        Cell(fGrid, AStep, 3)->setText(FormatFixedPoint(power, 3));
    }
    Cell(fGrid, AStep, 4)->setText(FormatHoursMinutes(step.Time));
}

void TTestForm::UpdateGrid() {
    fGrid->setRowCount(Table().Count);
    for (int step = 0; step < Table().Count; ++step)
        UpdateRow(step);
}

void TTestForm::CellClick(int ARow, int AColumn) {
    if (ARow < 0 || ARow >= Table().Count || !fGrid->isEnabled()) return;
    TStepRecord& step = Table().Steps[ARow];
    if (AColumn == 0) {
        step.Enabled = !step.Enabled;
        UpdateRow(ARow);
        return;
    }
    TIndicator* editor = Editor(AColumn);
    if (!editor || !fPopup) return;
    editor->ValuePtr = AColumn == 1 ? &step.Uset : AColumn == 2 ? &step.Iset : &step.Time;
    fEditRow = ARow;
    const QRect cell = fGrid->visualRect(fGrid->model()->index(ARow, AColumn));
    fPopup->move(fGrid->viewport()->mapToGlobal(cell.topLeft()) + QPoint(2, 2));
    fPopup->SetIndicator(editor);
    fPopup->Popup();
}

void TTestForm::AddBtnClick() {
    TStepTable& table = Table();
    if (table.Count >= kMaxSteps) {
        QApplication::beep();
        return;
    }
    table.Steps[table.Count] = table.Steps[table.Count - 1];
    ++table.Count;
    UpdateGrid();
}

void TTestForm::DeleteBtnClick() {
    TStepTable& table = Table();
    if (table.Count < 2) {
        QApplication::beep();
        return;
    }
    // The last step goes whatever is selected; its record itself is left as it was.
    const int row = fGrid->currentRow();
    --table.Count;
    fGrid->setRowCount(table.Count);
    fGrid->setCurrentCell(std::min(std::max(row, 0), table.Count - 1), 0);
}

// --- running -----------------------------------------------------------------------------------

void TTestForm::SetStartAllowed(bool AAllowed) {
    fStartAllowed = AAllowed;
    UpdateStartEnabled();
}

void TTestForm::UpdateStartEnabled() {
    const bool running = fSequencer->Running();
    fStart->setEnabled(fStartAllowed && !running);
    // A disabled Start says why.
    QString hint = QStringLiteral("Run the table from the first step");
    if (running)
        hint += QStringLiteral("\nThe test is running");
    else if (!fStartAllowed)
        hint += QStringLiteral("\nStart needs a connection and the output off");
    if (fStart->toolTip() != hint) fStart->setToolTip(hint);
}

void TTestForm::StartBtnClick() {
    if (!fStartAllowed || fSequencer->Running()) return;
    if (fPopup && fPopup->isVisible()) fPopup->hide();
    fCurDivider = fCore.Limits().CurrentDiv;
    // The recovery copy starts with the run; records follow as the logger writes them.
    const QString error = fRecovery.Begin(fCurDivider);
    fRecoveryOpen = error.isEmpty();
    fKeepRecovery = false;
    if (!fRecoveryOpen) ShowError(error);
    fEndReason.clear();
    fSequencer->Start();
}

void TTestForm::StopBtnClick() {
    if (!fSequencer->Running()) return;
    fEndReason = QStringLiteral("Stopped by the user at step %1.").arg(fSequencer->TestStep() + 1);
    fSequencer->EndTest();
    if (fCore.PowerOn()) fCore.OnOffBtnClick();
}

void TTestForm::RunningChanged(bool ARunning) {
    fAdd->setEnabled(!ARunning);
    fDelete->setEnabled(!ARunning);
    fGrid->setEnabled(!ARunning);
    fSave->setVisible(!ARunning);
    fSave->setEnabled(!ARunning);
    fBusy->setVisible(ARunning);
    fStop->setVisible(ARunning);
    UpdateStartEnabled();
    if (ARunning) {
        fStatus->setText(QStringLiteral("Running"));
    } else if (!fEndReason.isEmpty()) {
        fStatus->setText(fEndReason);
    } else if (fSequencer->Completed()) {
        fStatus->setText(fSequencer->NeverConfirmedOn()
                             ? QStringLiteral("Ended without the output seen on.")
                             : QStringLiteral("Completed."));
    } else {
        // The main window's output switch ended it.
        fStatus->setText(QStringLiteral("Stopped: the output was switched off."));
    }
    fEndReason.clear();
    // A run that went through the table while its switch-on never reached the supply is no
    // finished run; the box comes outside the reading that ended it.
    if (!ARunning && fSequencer->NeverConfirmedOn())
        QTimer::singleShot(0, this, [this] { ShowError(kNeverConfirmedOnText); });
}

void TTestForm::EndTest() {
    fSequencer->EndTest();
}

void TTestForm::LinkLost() {
    const bool running = fSequencer->Running();
    if (running) fEndReason = QStringLiteral("Stopped: the connection was lost.");
    fLogger->Logging = false;
    fSequencer->EndTest();
    if (fRecoveryOpen) fRecovery.Close();
    fRecoveryOpen = false;
    // A run the loss cut short keeps its copy until its log is saved, also over a restart.
    if (running) fKeepRecovery = true;
}

void TTestForm::SampleLog() {
    fSequencer->SampleLog();
}

TLogOptions TTestForm::CurrentLogOptions() const {
    if (fOptions.LogOptions) return fOptions.LogOptions();
    return TLogOptions::Load(fSettings, SpreadsheetOffered());
}

// --- saving ------------------------------------------------------------------------------------

bool TTestForm::SaveRecords(const TLogList& ARecords, uint32_t ACurrentDiv) {
    const QLocale locale = QLocale::system();
    const QString name = LogNameStamp(QDateTime::currentDateTime(), locale);
    const QString digits = QString(name).remove(QChar('_'));
    const bool workbook = CurrentLogOptions().Spreadsheet && SpreadsheetOffered();
    const QString suffix = workbook ? QStringLiteral("xlsx") : QStringLiteral("txt");
    const QString filter = workbook ? QStringLiteral("Excel workbook (*.xlsx)")
                                    : QStringLiteral("Text file format (*.txt)");
    const QString proposed = "Log_" + name + "." + suffix;
    QString path = fOptions.AskSaveFileName
                       ? fOptions.AskSaveFileName(proposed, filter)
                       : QFileDialog::getSaveFileName(this, QString(), proposed, filter);
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += "." + suffix;
    const QString error = workbook ? SaveXlsxLog(path, ARecords, ACurrentDiv, digits, locale)
                                   : SaveFile(path, TextLogBytes(ARecords, ACurrentDiv, locale));
    if (!error.isEmpty()) {
        ShowError(CannotWrite(path, error));
        return false;
    }
    if (workbook) {
        // The desktop's application for workbooks, when one is registered; nothing otherwise.
        if (fOptions.OpenFile)
            fOptions.OpenFile(path);
        else
            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    return true;
}

void TTestForm::SaveBtnClick() {
    if (fSequencer->Running()) return;
    if (!SaveRecords(fLogger->Records(), fCurDivider)) return;
    fRecoveryOpen = false;
    fRecovery.Remove();
}

void TTestForm::OfferRecovery() {
    if (!fRecovery.Exists()) return;
    const TParsedLog log = fRecovery.Read();
    if (log.Records.empty()) {
        fRecovery.Remove();
        return;
    }
    const QString text = "An autotest log of " + QString::number(log.Records.size()) +
                         " records was left by a run that did not end normally.\rSave it now?";
    // Only an explicit No discards it; Cancel, a closed box or a cancelled file dialog keep it
    // for the next start.
    switch (Ask(text)) {
        case TTestFormOptions::anNo:
            fRecovery.Remove();
            return;
        case TTestFormOptions::anCancel:
            return;
        case TTestFormOptions::anYes:
            break;
    }
    if (SaveRecords(log.Records, log.CurrentDiv)) fRecovery.Remove();
}

void TTestForm::SetBadTableAside(const QString& AProblem) {
    // Kept under another name, so that neither a run nor the save at close touches it.
    QString error;
    const QString aside = SetTableAside(fTablePath, error);
    fTableNotice = "The saved Auto Test table " + fTablePath + " fails its check (" + AProblem +
                   ") and was not used.\r";
    if (!aside.isEmpty()) {
        fTableNotice += "It is kept as " + aside + "; the table starts from the initial step.";
    } else {
        fTableNotice += "It could not be moved aside (" + error +
                        "), so changes to the table are not saved while it is there.";
        fKeepTableFile = true;
    }
}

void TTestForm::ReportTableProblem() {
    if (fTableNotice.isEmpty()) return;
    const QString text = fTableNotice;
    fTableNotice.clear();
    ShowError(text);
}

void TTestForm::SaveTableFile() {
    if (fKeepTableFile) return;
    const QString error = SaveTable(Table(), fSettings, fTablePath);
    if (!error.isEmpty()) ShowError(error);
}

// --- closing -----------------------------------------------------------------------------------

bool TTestForm::CloseQuery(bool AAsk) {
    if (fSequencer->Running()) {
        if (AAsk && !Confirm(QStringLiteral("Stop the autotest?"))) return false;
        StopForClose();
        // A close nobody was asked about (a signal) keeps the recovery copy for the next start.
        if (!AAsk) fKeepRecovery = true;
    }
    return true;
}

void TTestForm::MainWindowClosed() {
    close();
    fLogger->ClearLogData();
    fRecoveryOpen = false;
    if (fKeepRecovery)
        fRecovery.Close();
    else
        fRecovery.Remove();
}

void TTestForm::StopForClose() {
    const bool on = fCore.PowerOn();
    fLogger->Logging = false;
    fSequencer->EndTest();
    // The session closes next and drops pending jobs: the off write goes out now.
    if (on && fCore.Connected())
        SwitchOutputOffNow(fCore, static_cast<int>(fCore.Timings().ResponseTimeout));
}

void TTestForm::closeEvent(QCloseEvent* AEvent) {
    if (fSequencer->Running()) {
        if (AEvent->spontaneous() && !Confirm(QStringLiteral("Stop the autotest?"))) {
            AEvent->ignore();
            return;
        }
        // The session goes on: the output switch ends the test as usual.
        if (fCore.PowerOn()) fCore.OnOffBtnClick();
        fSequencer->EndTest();
    }
    if (fPopup && fPopup->isVisible()) fPopup->hide();
    SaveTableFile();
    AEvent->accept();
}

// --- docking -----------------------------------------------------------------------------------

QPoint TTestForm::DockedPosition() const {
    const QRect main = fMain->frameGeometry();
    return {main.x() + main.width(), main.y()};
}

void TTestForm::PinnedMove() {
    if (!fMain || fMain->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) return;
    fPinnedMoving = true;
    move(DockedPosition());
    resize(kPinnedWidth, fMain->height());
    fPinnedMoving = false;
}

void TTestForm::ShowFromMain() {
    fMaxU = fCore.Limits().MaxUset;
    fMaxI = fCore.Limits().MaxIset;
    fCurDivider = fCore.Limits().CurrentDiv;
    fPinned = true;
    UpdateGrid();
    fUsetInd->MaxValue = fMaxU;
    fIsetInd->MaxValue = fMaxI;
    fIsetInd->PointPos = fCurDivider == 10 ? 4 : 3;
    // Window systems that place windows themselves (Wayland) ignore the move; the window then
    // just opens beside.
    if (fPinned && fMain && !(fMain->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        const QScreen* screen = fMain->screen();
        const int screenWidth = screen ? screen->availableGeometry().right() + 1 : 1 << 20;
        const QRect main = fMain->frameGeometry();
        if (main.x() + main.width() + width() < screenWidth) {
            PinnedMove();
        } else {
            fPinnedMoving = true;
            move(main.topLeft());
            resize(330, fMain->height());
            fPinnedMoving = false;
        }
    }
    show();
    raise();
    activateWindow();
}

void TTestForm::moveEvent(QMoveEvent* AEvent) {
    QWidget::moveEvent(AEvent);
    if (fPinnedMoving || !isVisible() || !fPinned || !fMain) return;
    if (frameGeometry().topLeft() != DockedPosition()) fPinned = false;
}

bool TTestForm::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched == fMain && isVisible() && fPinned &&
        !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        if (AEvent->type() == QEvent::Move) {
            PinnedMove();
        } else if (AEvent->type() == QEvent::Resize) {
            const QRect main = fMain->frameGeometry();
            if (std::abs(frameGeometry().x() - (main.x() + main.width())) <= 50) PinnedMove();
        }
    }
    return QWidget::eventFilter(AWatched, AEvent);
}

void TTestForm::changeEvent(QEvent* AEvent) {
    // Back in this window: the value-entry pop-up goes.
    if (AEvent->type() == QEvent::ActivationChange && isActiveWindow() && fPopup &&
        fPopup->isVisible())
        fPopup->hide();
    QWidget::changeEvent(AEvent);
}

// --- dialogs -----------------------------------------------------------------------------------

bool TTestForm::Confirm(const QString& AText) {
    if (fOptions.Confirm) return fOptions.Confirm(AText);
    QMessageBox box(QMessageBox::Question, windowTitle(), QString(AText).replace('\r', '\n'),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    // Top-left corner 100 pixels left of and 50 above the window's centre.
    box.move(frameGeometry().center() - QPoint(100, 50));
    return box.exec() == QMessageBox::Ok;
}

TTestFormOptions::TAnswer TTestForm::Ask(const QString& AText) {
    if (fOptions.Ask) return fOptions.Ask(AText);
    if (fOptions.Confirm)
        return fOptions.Confirm(AText) ? TTestFormOptions::anYes : TTestFormOptions::anCancel;
    QMessageBox box(QMessageBox::Question, windowTitle(), QString(AText).replace('\r', '\n'),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return TTestFormOptions::anYes;
        case QMessageBox::No:
            return TTestFormOptions::anNo;
        default:
            return TTestFormOptions::anCancel;
    }
}

void TTestForm::ShowError(const QString& AText) {
    if (fOptions.Error) {
        fOptions.Error(AText);
        return;
    }
    QMessageBox::critical(this, windowTitle(), AText);
}
