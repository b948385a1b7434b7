// The main window's side of the autotest: the "Auto Test" window, its button, and the session
// events it follows (log samples, the output showing off, a lost link).

#include <QFileInfo>
#include <QPushButton>

#include "app/main_form.h"
#include "app/message_presenter.h"

void TMainForm::CreateTestForm() {
    TTestFormOptions options = fOptions.Autotest;
    if (fOptions.Settings) {
        // A store of its own (the demo, tests): the table and the recovery copy live beside it.
        const QString folder = QFileInfo(fSettings->FilePath()).absolutePath();
        if (options.TablePath.isEmpty()) options.TablePath = folder + "/" + kTableFileName;
        if (options.RecoveryPath.isEmpty())
            options.RecoveryPath = folder + "/autotest-recovery.csv";
    }
    if (fOptions.Presenter && !options.Confirm) {
        options.Confirm = [this](const QString& AText) { return Presenter().Confirm(this, AText); };
        options.Error = [this](const QString& AText) { Presenter().Error(this, AText); };
    }
    fTestForm = new TTestForm(*fSession, *fSettings, this, std::move(options));
    connect(fAutoTestButton, &QPushButton::clicked, this, [this] { fTestForm->ShowFromMain(); });
    connect(fPlansButton, &QPushButton::clicked, this, [this] { ShowPlans(); });
}

void TMainForm::ShowPlans() {
    if (!fPlanWindow) {
        TPlanWindowOptions options = fOptions.Plans;
        if (fOptions.Presenter && !options.Confirm)
            options.Confirm = [this](const QString& AText) {
                return Presenter().Confirm(fPlanWindow, AText);
            };
        if (!options.Error)
            options.Error = [this](const QString& AText) { Presenter().Error(fPlanWindow, AText); };
        if (!options.Information)
            options.Information = [this](const QString& AText) {
                Presenter().Information(fPlanWindow, AText);
            };
        fPlanWindow = new TPlanWindow(*fSession, *fSettings, this, std::move(options));
        fPlanWindow->OnRunningChanged = [this] { UpdateRunsAllowed(); };
        fPlanWindow->SetPresetLogic(fPresets.get());
        UpdateRunsAllowed();
    }
    fPlanWindow->ShowFromMain();
}

void TMainForm::SampleLog() {
    if (fTestForm) fTestForm->SampleLog();
    if (fPlanWindow) fPlanWindow->SampleLog();
}

void TMainForm::EndAutotest() {
    if (fTestForm) fTestForm->EndTest();
}

void TMainForm::AutotestLinkLost() {
    if (fTestForm) fTestForm->LinkLost();
    if (fPlanWindow) fPlanWindow->LinkLost();
}

void TMainForm::UpdateRunsAllowed() {
    // One run at a time: the autotest, a plan or a sweep, each needing a connection and the
    // output off to begin.
    const bool idle = fPanel.AutotestStartEnabled;
    const bool plans = fPlanWindow && fPlanWindow->Running();
    if (fTestForm) fTestForm->SetStartAllowed(idle && !plans);
    if (fPlanWindow) fPlanWindow->SetRunAllowed(idle && !fTestForm->Sequencer().Running());
}
