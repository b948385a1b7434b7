#pragma once
// The "Auto Test" window: the step table in a grid (enabled check box, set voltage, set current,
// derived power, duration), edited through the value-entry pop-up, "+" and "-", "Start" and the
// log's "Save". It runs the table through the sequencer on the main window's session, keeps a
// recovery copy of the log while it runs, docks to the main window's right edge and saves the
// table when it closes.

#include <QWidget>
#include <functional>
#include <memory>

#include "tools/core/data_logger.h"
#include "tools/core/recovery_log.h"
#include "tools/core/sequencer.h"
#include "tools/core/step_table.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TEnterFormBase;
class TIndicator;
class TSessionCore;
class TSettingsStore;

struct TTestFormOptions {
    TSequencerTimings Timings{};
    QString TablePath;     // empty: "Persistent.ini" in the data folder
    QString RecoveryPath;  // empty: the recovery file in the data folder
    // Dialogs; empty: message boxes and the file dialog. Tests answer at once.
    std::function<bool(const QString&)> Confirm;  // OK / Cancel; true for OK
    // Yes / No / Cancel (closing the box is Cancel); empty: Confirm's OK as Yes and its Cancel
    // as Cancel when Confirm is given, else a message box.
    enum TAnswer { anYes, anNo, anCancel };
    std::function<TAnswer(const QString&)> Ask;
    std::function<void(const QString&)> Error;
    // The chosen file name, or empty when cancelled.
    std::function<QString(const QString& AProposed, const QString& AFilter)> AskSaveFileName;
    // Opens a saved workbook with the desktop's application; empty: QDesktopServices.
    std::function<void(const QString&)> OpenFile;
    // The logging options when used; empty: read from the settings store.
    std::function<TLogOptions()> LogOptions;
};

class TTestForm : public QWidget {
public:
    static constexpr int kPinnedWidth = 302;

    // AMainWindow is the window it docks to and belongs to.
    TTestForm(TSessionCore& ACore, TSettingsStore& ASettings, QWidget* AMainWindow,
              TTestFormOptions AOptions = {});
    ~TTestForm() override;

    void SetEntryPopup(TEnterFormBase* APopup) { fPopup = APopup; }

    // --- called by the main window ---
    // "Auto Test": the model's limits, pinned, every row refreshed, shown.
    void ShowFromMain();
    // The output shows off.
    void EndTest();
    // The link was lost: the run ends and logging stops; its recovery copy is kept until the
    // log is saved (offered at the next start otherwise).
    void LinkLost();
    // Session tick while the output is on: the event check.
    void SampleLog();
    // "Start" allowed (connected and the output off).
    void SetStartAllowed(bool AAllowed);
    // Close of the main window: true when it may go on. A running test is stopped after "Stop
    // the autotest?" when AAsk, without a question otherwise (a close the program started, as on
    // a signal). The output is switched off before the session closes.
    bool CloseQuery(bool AAsk);
    // The main window closes: the table is saved, the log discarded, and the recovery copy
    // removed unless a test was stopped without asking (it is offered at the next start).
    void MainWindowClosed();
    // Tells once that the saved table failed its check and was set aside (at program start).
    void ReportTableProblem();
    // Offers to save a log left by a run that did not end (at program start).
    void OfferRecovery();
    // Docking: follows the main window's right edge while pinned.
    void PinnedMove();

    // --- handlers named after the window's controls ---
    void StartBtnClick();
    // "Stop", shown while a run goes on: the run ends with the output off; its log is kept.
    void StopBtnClick();
    void SaveBtnClick();
    void AddBtnClick();
    void DeleteBtnClick();
    void CellClick(int ARow, int AColumn);

    // --- parts (tests reach the controls through them) ---
    TSequencer& Sequencer() { return *fSequencer; }
    TDataLogger& Logger() { return *fLogger; }
    TStepTable& Table() { return fSequencer->Table(); }
    QTableWidget* Grid() const { return fGrid; }
    QPushButton* StartButton() const { return fStart; }
    QPushButton* StopButton() const { return fStop; }
    // How the last run went ("Running", "Completed.", why it stopped).
    QLabel* StatusLabel() const { return fStatus; }
    QPushButton* SaveButton() const { return fSave; }
    QPushButton* AddButton() const { return fAdd; }
    QPushButton* DeleteButton() const { return fDelete; }
    TIndicator* Editor(int AColumn) const;
    bool Pinned() const { return fPinned; }
    const QString& RecoveryPath() const { return fRecovery.Path(); }
    // Refreshes every row.
    void UpdateGrid();

protected:
    void closeEvent(QCloseEvent* AEvent) override;
    void moveEvent(QMoveEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    void BuildLayout();
    void UpdateRow(int AStep);
    void RunningChanged(bool ARunning);
    void UpdateStartEnabled();
    void StopForClose();
    void SaveTableFile();
    void SetBadTableAside(const QString& AProblem);
    TLogOptions CurrentLogOptions() const;
    // Saves ARecords as text or workbook (asking for the name); true when written.
    bool SaveRecords(const TLogList& ARecords, uint32_t ACurrentDiv);
    bool Confirm(const QString& AText);
    TTestFormOptions::TAnswer Ask(const QString& AText);
    void ShowError(const QString& AText);
    QPoint DockedPosition() const;

    TSessionCore& fCore;
    TSettingsStore& fSettings;
    QWidget* fMain;
    TTestFormOptions fOptions;
    QString fTablePath;

    TSessionTarget fTarget;
    std::unique_ptr<TDataLogger> fLogger;
    std::unique_ptr<TSequencer> fSequencer;
    TRecoveryLog fRecovery;
    bool fRecoveryOpen = false;

    QTableWidget* fGrid = nullptr;
    QPushButton* fStart = nullptr;
    QPushButton* fStop = nullptr;
    QLabel* fStatus = nullptr;
    QString fEndReason;  // why the run is being ended, told when it has
    QPushButton* fSave = nullptr;
    QPushButton* fAdd = nullptr;
    QPushButton* fDelete = nullptr;
    QProgressBar* fBusy = nullptr;
    TEnterFormBase* fPopup = nullptr;
    std::unique_ptr<TIndicator> fUsetInd;
    std::unique_ptr<TIndicator> fIsetInd;
    std::unique_ptr<TIndicator> fTimeInd;
    int fEditRow = -1;

    uint32_t fMaxU = 100;
    uint32_t fMaxI = 100;
    uint32_t fCurDivider = 1;
    bool fPinned = true;
    bool fPinnedMoving = false;
    bool fStartAllowed = false;
    bool fKeepRecovery = false;
    QString fTableNotice;         // why the saved table was not used, until told
    bool fKeepTableFile = false;  // a table that failed its check is still under its name
};
