#pragma once
// The "Plans" window: a plan editor (one step a row, problems listed with their lines), plan
// files opened and saved, a plan run on the main window's session with its running step, the
// condition that will end it and the values counting towards it, and on its second tab the I-V
// sweep with its curve drawn as it grows. "Charge..." puts the charge plan of benchlordctl charge
// in the editor; that plan runs under the same raised OVP and OCP, put back at every end. The
// runs themselves are the widget-free plan runner's and sweep's; the window shows them and
// forwards the user's clicks. One instance, owned by the main window.

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "tools/core/charge_flow.h"
#include "tools/core/charge_plan.h"
#include "tools/core/data_logger.h"
#include "tools/core/plan_runner.h"
#include "tools/core/run_protections.h"
#include "tools/plan_editor.h"

class QLabel;
class QListWidget;
class QSpinBox;
class QPushButton;
class QTabWidget;
class TPresetLogic;
class TSessionCore;
class TSessionTarget;
class TSettingsStore;
class TSweepPage;

struct TPlanWindowOptions {
    // Dialogs; empty: message boxes and file dialogs. Tests answer at once.
    enum TAnswer { anYes, anNo, anCancel };
    std::function<TAnswer(const QString&)> Ask;   // Yes / No / Cancel
    std::function<bool(const QString&)> Confirm;  // OK / Cancel
    std::function<void(const QString&)> Error;
    std::function<void(const QString&)> Information;
    // The chosen file, or empty when cancelled.
    std::function<QString(const QString& AFolder, const QString& AFilter)> AskOpenFileName;
    std::function<QString(const QString& AProposed, const QString& AFilter)> AskSaveFileName;
    // The logging options; empty: read from the settings store.
    std::function<TLogOptions()> LogOptions;
    // The charge "Charge..." builds, starting from the last one; nothing when cancelled. Empty:
    // the charge dialog.
    std::function<std::optional<TChargeSettings>(const TChargeSettings& ALast)> AskCharge;
    // The clock of the runs; empty: the system's.
    const TTickClock* Clock = nullptr;
};

class TPlanWindow : public QWidget {
public:
    TPlanWindow(TSessionCore& ACore, TSettingsStore& ASettings, QWidget* AMainWindow,
                TPlanWindowOptions AOptions = {});
    ~TPlanWindow() override;

    // --- called by the main window ---
    // "Plans": shown and raised.
    void ShowFromMain();
    // The main window's preset logic, through which a charge raises and puts back OVP and OCP
    // (without it a charge plan does not run).
    void SetPresetLogic(TPresetLogic* APresets) { fPresets = APresets; }
    // "Run" allowed (connected and the output off).
    void SetRunAllowed(bool AAllowed);
    // Session tick while the output is on: the log's event check.
    void SampleLog();
    // The session is about to end at the user's wish (Disconnect): a run stops with the output
    // off first.
    void BeforeDisconnect();
    // The link was lost: a run ends, the output is switched off if the supply still takes it,
    // and the window says so; what was recorded stays.
    void LinkLost();
    // A plan or sweep began or ended (the main window's other run controls follow).
    std::function<void()> OnRunningChanged;
    // Close of the main window: true when it may go on. A run is stopped (output off) after a
    // question when AAsk, and unsaved edits are offered for saving; without AAsk (a close the
    // program started) the run stops without a question.
    bool CloseQuery(bool AAsk);

    // --- handlers named after the window's controls ---
    void OpenClick();
    // True when saved.
    bool SaveClick();
    bool SaveAsClick();
    void RunClick();
    void StopClick();
    // "Charge...": the charge plan in the editor (after the question about unsaved edits).
    void ChargeClick();
    // True when written.
    bool SaveLogClick();

    // Opens APath into the editor (after the questions about unsaved edits and an unsaved run
    // log), clearing the last run's status and log; true when opened.
    bool OpenFile(const QString& APath);
    // Writes the editor's text to APath; true when written.
    bool SaveTo(const QString& APath);

    // --- parts (tests reach the controls through them) ---
    TPlanEditor* Editor() const { return fEditor; }
    TSweepPage* Sweep() const { return fSweep; }
    QTabWidget* Tabs() const { return fTabs; }
    QPushButton* RunButton() const { return fRun; }
    QPushButton* ChargeButton() const { return fCharge; }
    QPushButton* StopButton() const { return fStop; }
    QPushButton* SaveLogButton() const { return fSaveLog; }
    QSpinBox* InARow() const { return fInARow; }
    QLabel* StepLabel() const { return fStepLabel; }
    QLabel* ConditionLabel() const { return fConditionLabel; }
    QLabel* ValuesLabel() const { return fValuesLabel; }
    QListWidget* Events() const { return fEvents; }
    const QString& FilePath() const { return fPath; }
    bool Modified() const { return fModified; }
    bool Running() const;
    TDataLogger& Logger() { return *fLogger; }
    // The last run's runner (null before the first).
    const TPlanRunner* Runner() const { return fRunner.get(); }
    // The protections of the last charge run (null before the first).
    const TRunProtections* Protections() const { return fProtections.get(); }

protected:
    void closeEvent(QCloseEvent* AEvent) override;

private:
    void BuildLayout();
    QWidget* BuildPlanPage();
    void SetModified(bool AModified);
    void UpdateTitle();
    void UpdateButtons();
    // Asks what to do with unsaved edits; true when they are saved or may go.
    bool AllowDiscard();
    // Reads APath into the editor without a question; on a failure the editor is as it was.
    bool LoadFile(const QString& APath);
    TLogOptions CurrentLogOptions() const;
    TPlanWindowOptions::TAnswer Ask(const QString& AText);
    bool Confirm(const QString& AText);
    void ShowError(const QString& AText);
    void ShowInformation(const QString& AText);
    // plan_window_run.cpp
    void WireRunner();
    void Reading();
    void StepStarted(int AStep);
    void StepEnded(const TStepResult& AResult);
    void Finished(TPlanEnd AEnd);
    void RefreshStatus();
    void StopWithOutputOff();
    // The run itself, once the checks (and a charge's protections) are through.
    void StartRun(const TPlan& APlan);
    // The editor's plan is the charge "Charge..." built (unedited).
    bool IsChargePlan(const TPlan& APlan) const;
    void Raised(TRaiseResult AResult, const QString& AError, const TPlan& APlan);
    // Puts a charge's OVP and OCP back: through the preset logic while the session goes on,
    // at once when it ends (ANow).
    void PutProtectionsBack(bool ANow);
    // The session ends: the switch-off (AOff) and the writes a charge owes go out at once.
    // Whether the off was answered; AProtections gets the sentence that tells how the
    // protections went (" The OVP and OCP of M0 were put back ..."), empty when none were owed.
    bool SendEndingWrites(bool AOff, int ATimeoutMs, QString& AProtections);
    void AddEvent(const QString& AText);
    QString Amperes(uint32_t AMilliamps) const;
    // ", ramp V from 5.00 V over 60 s" for a step that ramps; empty otherwise.
    QString RampDescription(int AStep) const;
    // The problems of the editor's text: the file's own check, then the connected model's
    // limits.
    TPlanProblems CheckText(const QByteArray& AText) const;

    TSessionCore& fCore;
    TSettingsStore& fSettings;
    TPlanWindowOptions fOptions;
    std::unique_ptr<TDataLogger> fLogger;

    QTabWidget* fTabs = nullptr;
    TPlanEditor* fEditor = nullptr;
    TSweepPage* fSweep = nullptr;
    QLabel* fFileLabel = nullptr;
    QPushButton* fOpen = nullptr;
    QPushButton* fSave = nullptr;
    QPushButton* fSaveAs = nullptr;
    QPushButton* fAdd = nullptr;
    QPushButton* fRemove = nullptr;
    QPushButton* fCharge = nullptr;
    QPushButton* fRun = nullptr;
    QPushButton* fStop = nullptr;
    QPushButton* fSaveLog = nullptr;
    QSpinBox* fInARow = nullptr;
    QLabel* fStepLabel = nullptr;
    QLabel* fConditionLabel = nullptr;
    QLabel* fValuesLabel = nullptr;
    QListWidget* fEvents = nullptr;
    // The running step's view, refreshed at most once per frame.
    QTimer fFrame;
    std::unique_ptr<TSessionTarget> fTarget;
    std::unique_ptr<TPlanRunner> fRunner;
    QMetaObject::Connection fReadings;
    uint32_t fCurrentDiv = 1;
    TLogOptions fLogOptions;
    QElapsedTimer fLogClock;
    int64_t fNextLogMs = 0;

    // The charge plan "Charge..." put in the editor, and what it was built from.
    std::optional<TChargePlan> fChargePlan;
    TChargeSettings fChargeSettings{QStringLiteral("li-ion"), 1, 2000, 0, 0};
    TPresetLogic* fPresets = nullptr;
    std::unique_ptr<TRunProtections> fProtections;
    std::optional<TChargeFlowGuard> fFlow;  // a charge's run: its current must flow
    bool fRaising = false;                  // a charge's protections are being raised
    bool fSessionEnding = false;            // a stop before the session ends: writes go out at once

    QString fPath;
    bool fModified = false;
    bool fRunAllowed = false;
    bool fLogSaved = true;  // the last run's log was saved (or there is none)
    bool AllowDiscardLog();
    void ClearLastRun();
};
