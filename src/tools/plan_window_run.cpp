// The Plans window's side of a plan run: Run and Stop, the running step's view refreshed at most
// once per frame, the steps' ends as they come, the log, and the ends off the normal path (a
// lost link, a disconnect, the windows closed).

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTime>
#include <algorithm>

#include "link/connector.h"
#include "link/modbus_master.h"
#include "session/framed_view.h"
#include "session/session_core.h"
#include "tools/core/log_files.h"
#include "tools/core/log_xlsx.h"
#include "tools/core/output_off.h"
#include "tools/core/plan.h"
#include "tools/core/readings_csv.h"
#include "tools/core/save_file.h"
#include "tools/core/sequencer.h"
#include "tools/plan_window.h"
#include "tools/sweep_page.h"

namespace {

QString Number(double AValue, int ADecimals) {
    return QString::number(AValue, 'f', ADecimals);
}

QString Duration(uint32_t AMs) {
    const uint32_t s = AMs / 1000;
    return QString("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QChar('0'))
        .arg(s % 60, 2, 10, QChar('0'));
}

// "line 3: ..." of the plan's check as a problem of line 3.
TPlanProblem ProblemOf(const QString& AError) {
    static const QString kLine = QStringLiteral("line ");
    if (AError.startsWith(kLine)) {
        const qsizetype colon = AError.indexOf(QStringLiteral(": "));
        bool ok = false;
        const int line = AError.mid(kLine.size(), colon - kLine.size()).toInt(&ok);
        if (colon > 0 && ok) return {line, AError.mid(colon + 2)};
    }
    return {0, AError};
}

}  // namespace

void TPlanWindow::WireRunner() {
    fEditor->Check = [this](const QByteArray& AText) { return CheckText(AText); };
    fFrame.setInterval(TFramedView::kFrameMs);
    connect(&fFrame, &QTimer::timeout, this, [this] { RefreshStatus(); });
    fStepLabel->setText(QStringLiteral("Not running"));
    UpdateButtons();
}

TPlanProblems TPlanWindow::CheckText(const QByteArray& AText) const {
    const TPlanFile file = ParsePlanCsv(AText);
    QStringList problems = file.Problems;
    // The model's limits once one is connected (the check at Run is the one that counts), for
    // the steps that could be read.
    if (fCore.Connected())
        problems << PlanLimitProblems(file.Plan, fCore.Limits().MaxUset, fCore.Limits().MaxIset,
                                      fCore.Limits().CurrentDiv, fCore.Data().UIN);
    TPlanProblems found;
    for (const QString& problem : problems)
        found.push_back(ProblemOf(problem));
    // In the order of the lines, as the editor lists them.
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& A, const auto& B) { return A.Line < B.Line; });
    return found;
}

bool TPlanWindow::Running() const {
    return fRaising || (fRunner && fRunner->Running()) || fSweep->Running();
}

void TPlanWindow::UpdateButtons() {
    const bool plan = fRaising || (fRunner && fRunner->Running());
    const bool running = Running();
    fRun->setEnabled(fRunAllowed && !running);
    fRun->setToolTip(fRunAllowed || running
                         ? QStringLiteral("Run the plan from its first step")
                         : QStringLiteral("Run the plan from its first step\nRun needs a "
                                          "connection and the output off"));
    fStop->setEnabled(plan);
    fSaveLog->setEnabled(!running && !fLogger->Records().empty());
    for (QPushButton* b : {fOpen, fAdd, fRemove, fCharge})
        b->setEnabled(!running);
    fInARow->setEnabled(!running);
    fEditor->Table()->setEditTriggers(plan ? QAbstractItemView::NoEditTriggers
                                           : QAbstractItemView::DoubleClicked |
                                                 QAbstractItemView::EditKeyPressed |
                                                 QAbstractItemView::AnyKeyPressed);
    fSweep->SetRunAllowed(fRunAllowed && !plan);
}

QString TPlanWindow::Amperes(uint32_t AMilliamps) const {
    return Number(AMilliamps / 1000.0, fCurrentDiv == 10 ? 3 : 2);
}

void TPlanWindow::RunClick() {
    if (!fRunAllowed || Running()) return;
    // Nothing is written unless the whole plan fits the connected model.
    const TPlanFile file = ParsePlanCsv(fEditor->Text());
    QString error = file.Error;
    if (error.isEmpty())
        error = CheckPlanLimits(file.Plan, fCore.Limits().MaxUset, fCore.Limits().MaxIset,
                                fCore.Limits().CurrentDiv, fCore.Data().UIN);
    if (error.isEmpty() && std::none_of(file.Plan.Steps.begin(), file.Plan.Steps.end(),
                                        [](const TPlanStep& AStep) { return AStep.Enabled; }))
        error = QStringLiteral("no step is enabled");
    const bool charge = error.isEmpty() && IsChargePlan(file.Plan);
    if (charge && !fPresets) error = QStringLiteral("its protections cannot be raised here");
    // The last charge's levels must be back before a new run reads them as the old ones.
    if (error.isEmpty() && fProtections && fProtections->Owed())
        error = QStringLiteral("the OVP and OCP of the last charge are still being put back");
    if (!error.isEmpty()) {
        fEditor->Recheck();
        ShowError("The plan cannot run: " + error + ".");
        return;
    }
    if (!charge) {
        fFlow.reset();
        StartRun(file.Plan);
        return;
    }
    // A charge runs under OVP and OCP a little above it, as on the command line: raised first,
    // the run begins once the supply holds them.
    const TChargePlan built = MakeChargePlan(fChargeSettings, fCore.Limits().CurrentDiv);
    fEvents->clear();
    fProtections = std::make_unique<TRunProtections>(fCore, *fPresets);
    fRaising = true;
    const TPlan plan = file.Plan;
    const QString why =
        fProtections->Raise(ChargeProtections(built, fCore.Limits()),
                            [this, plan](TRaiseResult AResult, const QString& AError) {
                                Raised(AResult, AError, plan);
                            });
    if (!why.isEmpty()) {
        fRaising = false;
        ShowError("The plan cannot run: " + why + ".");
    }
    UpdateButtons();
    if (OnRunningChanged) OnRunningChanged();
}

void TPlanWindow::StartRun(const TPlan& APlan) {
    fCurrentDiv = fCore.Limits().CurrentDiv;
    if (!fRaising) fEvents->clear();
    fRaising = false;
    fLogOptions = CurrentLogOptions();
    fLogger->ClearLogData();
    fLogSaved = false;
    fLogger->WriteLogData();
    fLogger->Logging = fLogOptions.ByEvent;
    fLogClock.start();
    fNextLogMs = 1000;

    fTarget = std::make_unique<TSessionTarget>(fCore);
    fRunner = std::make_unique<TPlanRunner>(*fTarget,
                                            fOptions.Clock ? *fOptions.Clock : SystemTickClock());
    fRunner->SetReadingsInARow(fInARow->value());
    fRunner->fOnStepStarted = [this](int AStep) { StepStarted(AStep); };
    fRunner->fOnStepEnded = [this](const TStepResult& AResult) { StepEnded(AResult); };
    fRunner->fOnFinished = [this](TPlanEnd AEnd) { Finished(AEnd); };
    fReadings = connect(&fCore, &TSessionCore::LiveReading, this, [this] { Reading(); });
    AddEvent(QString("Plan started: %1 step(s)").arg(APlan.Steps.size()));
    fRunner->Start(APlan, fCurrentDiv);
    fFrame.start();
    RefreshStatus();
    UpdateButtons();
    if (OnRunningChanged) OnRunningChanged();
}

void TPlanWindow::Reading() {
    if (!fRunner || !fRunner->Running()) return;
    // Records by time: at 0 s, 1 s and then every interval, as the autotest writes them.
    if (!fLogOptions.ByEvent && fLogClock.elapsed() >= fNextLogMs) {
        fLogger->WriteLogData();
        fNextLogMs += 1000LL * std::max(fLogOptions.LogInterval(), 1);
    }
    if (fFlow) {
        const TTickClock& clock = fOptions.Clock ? *fOptions.Clock : SystemTickClock();
        switch (fFlow->Reading(fCore.Data(), fRunner->Progress().OutputSeen, clock.TickCount())) {
            case TChargeFlowGuard::TVerdict::Counts:
                break;
            case TChargeFlowGuard::TVerdict::Held:
                return;
            case TChargeFlowGuard::TVerdict::NoCurrent: {
                // Stopped as by Stop: the output goes off and the protections go back.
                const QString why = "The charge was stopped: " + fFlow->Failure();
                AddEvent(why);
                fRunner->Stop(false);
                ShowError(why);
                return;
            }
        }
    }
    fRunner->Reading(fCore.Data());
}

void TPlanWindow::SampleLog() {
    if (fRunner && fRunner->Running() && fLogger->Logging)
        fLogger->CheckLogEvent(fLogOptions.VoltageEvent, fLogOptions.CurrentEvent);
}

QString TPlanWindow::RampDescription(int AStep) const {
    const TPlanStep& step = fRunner->Plan().Steps[size_t(AStep)];
    if (!step.Ramp.Any()) return {};
    const TPlanRamp ramp = ResolvedRamp(fRunner->Plan(), size_t(AStep));
    QStringList parts;
    if (ramp.Voltage && ramp.FromCentivolts)
        parts << "V from " + Number(*ramp.FromCentivolts / 100.0, 2) + " V";
    if (ramp.Current && ramp.FromMilliamps)
        parts << "I from " + Amperes(*ramp.FromMilliamps) + " A";
    return ", ramp " + parts.join(QStringLiteral(" and ")) + " over " +
           QString::number(step.RampSeconds()) + " s";
}

void TPlanWindow::StepStarted(int AStep) {
    const TPlanStep& step = fRunner->Plan().Steps[size_t(AStep)];
    fEditor->MarkRunningLine(step.Line);
    AddEvent(QString("Step %1 (line %2) started: %3 V, %4 A%5")
                 .arg(AStep + 1)
                 .arg(step.Line)
                 .arg(Number(step.Centivolts / 100.0, 2), Amperes(step.Milliamps),
                      RampDescription(AStep)));
}

void TPlanWindow::StepEnded(const TStepResult& AResult) {
    const TPlanStep& step = fRunner->Plan().Steps[size_t(AResult.Step)];
    fLogger->WriteLogData();
    AddEvent(QString("Step %1 ended: %2 after %3, %4 Ah, %5 Wh")
                 .arg(AResult.Step + 1)
                 .arg(StepEndText(step, AResult), Duration(AResult.ElapsedMs),
                      Number(AResult.Ah, 3), Number(AResult.Wh, 3)));
}

void TPlanWindow::Finished(TPlanEnd AEnd) {
    const TPlanProgress& p = fRunner->Progress();
    disconnect(fReadings);
    fFrame.stop();
    fLogger->Logging = false;
    fEditor->MarkRunningLine(-1);
    QString why;
    switch (AEnd) {
        case TPlanEnd::Completed:
            why = QStringLiteral("completed");
            break;
        case TPlanEnd::OutputOff: {
            const QString protect = p.Protect ? ProtectionName(p.Protect) : QString();
            why = "the output went off during step " + QString::number(p.Step + 1) +
                  (protect.isEmpty() ? QString() : " (" + protect + ")");
            break;
        }
        case TPlanEnd::Stopped:
            why = QStringLiteral("stopped");
            break;
        case TPlanEnd::LinkLost:
            why = "the link was lost during step " + QString::number(p.Step + 1);
            break;
    }
    const QString summary =
        QString("Plan %1 after %2: %3 Ah, %4 Wh")
            .arg(why, Duration(p.PlanMs), Number(p.PlanAh, 3), Number(p.PlanWh, 3));
    AddEvent(summary);
    fStepLabel->setText(summary);
    fConditionLabel->clear();
    fValuesLabel->clear();
    // A plan that ends early leaves the output off too (the runner switches it off itself only
    // at its own end).
    if (AEnd == TPlanEnd::Stopped && fCore.Connected() && fCore.PowerOn()) fCore.OnOffBtnClick();
    // A charge's protections go back behind the switch-off; when the session ends they go out
    // at once from there.
    if (!fSessionEnding) PutProtectionsBack(false);
    // After the caller of fOnFinished has returned: the runner is done with itself.
    QTimer::singleShot(0, this, [this] {
        UpdateButtons();
        if (OnRunningChanged) OnRunningChanged();
    });
}

void TPlanWindow::RefreshStatus() {
    if (!fRunner || !fRunner->Running() || fRunner->Progress().Step < 0) return;
    const TPlanProgress& p = fRunner->Progress();
    const TPlanStep& step = fRunner->CurrentStep();
    int count = 0;
    for (const TPlanStep& s : fRunner->Plan().Steps)
        count += s.Enabled ? 1 : 0;
    QString stepText = QString("Step %1 of %2 (line %3): %4 V, %5 A")
                           .arg(p.Step + 1)
                           .arg(fRunner->Plan().Steps.size())
                           .arg(step.Line)
                           .arg(Number(step.Centivolts / 100.0, 2), Amperes(step.Milliamps));
    stepText += RampDescription(p.Step);
    if (!p.OutputSeen) stepText += QStringLiteral(", waiting for the supply to take it");
    QString ends;
    if (step.Until.empty()) {
        ends = "Ends after " + QString::number(step.Seconds) + " s";
    } else {
        QStringList parts;
        for (size_t i = 0; i < step.Until.size(); ++i) {
            const QString text = ConditionText(step.Until[i]);
            const int held = i < p.Held.size() ? p.Held[i] : 0;
            // A trip is seen once, when the output goes off: it has no readings to count.
            parts << (step.Until[i].Kind == TPlanCondKind::Trip
                          ? text
                          : QString("%1 (%2 of %3 in a row)").arg(text).arg(held).arg(p.Needed));
        }
        if (step.Seconds) parts << QString::number(step.Seconds) + " s";
        ends = "Ends on " + parts.join(QStringLiteral(" | ")) + ", at most " +
               QString::number(step.MaxSeconds) + " s";
    }
    // A ramp shows where its set points have got to.
    const QString set = step.Ramp.Any()
                            ? QString("   Set %1 V, %2 A")
                                  .arg(Number(p.SetCentivolts / 100.0, 2), Amperes(p.SetMilliamps))
                            : QString();
    const QString values =
        QString("Elapsed %1 of %2   Step %3 Ah, %4 Wh   Plan %5 Ah, %6 Wh%7   Now %8 V, %9 A%10")
            .arg(Duration(p.ElapsedMs), Duration(p.LimitMs), Number(p.StepAh, 3),
                 Number(p.StepWh, 3), Number(p.PlanAh, 3), Number(p.PlanWh, 3), set,
                 Number(p.Centivolts / 100.0, 2), Amperes(p.Milliamps),
                 p.ConstantCurrent ? QStringLiteral(" CC") : QStringLiteral(" CV"));
    if (fStepLabel->text() != stepText) fStepLabel->setText(stepText);
    if (fConditionLabel->text() != ends) fConditionLabel->setText(ends);
    if (fValuesLabel->text() != values) fValuesLabel->setText(values);
}

void TPlanWindow::AddEvent(const QString& AText) {
    fEvents->addItem(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + "  " + AText);
    fEvents->scrollToBottom();
}

void TPlanWindow::StopClick() {
    if (fRaising) {
        // The raise still on its way puts the old levels back when it ends.
        fRaising = false;
        AddEvent(QStringLiteral("Plan stopped before it began"));
        UpdateButtons();
        if (OnRunningChanged) OnRunningChanged();
    }
    if (fRunner && fRunner->Running()) fRunner->Stop(false);
    fSweep->StopClick();
}

void TPlanWindow::StopWithOutputOff() {
    const bool on = fCore.PowerOn();
    fSessionEnding = true;
    fRaising = false;
    bool off = false;
    if (fRunner && fRunner->Running()) {
        fLogger->Logging = false;
        fRunner->Stop(false);
        off = on && fCore.Connected();
    }
    // The session closes next and drops pending jobs: the off write goes out now, and a
    // charge's protections behind it.
    QString protections;
    SendEndingWrites(off, static_cast<int>(fCore.Timings().ResponseTimeout), protections);
    if (!protections.isEmpty()) {
        AddEvent(protections.trimmed());
        if (fProtections->Owed()) ShowError(protections.trimmed());
    }
    fSessionEnding = false;
    fSweep->StopWithOutputOff();
}

void TPlanWindow::BeforeDisconnect() {
    StopWithOutputOff();
}

void TPlanWindow::LinkLost() {
    const bool plan = fRunner && fRunner->Running();
    const bool sweep = fSweep->Running();
    const bool owed = fRaising || (fProtections && fProtections->Owed());
    if (!plan && !sweep && !owed) return;
    const int step = plan ? fRunner->Progress().Step + 1 : 0;
    fSessionEnding = true;
    fRaising = false;
    if (plan) {
        fLogger->Logging = false;
        fRunner->Stop(true);
    }
    if (sweep) fSweep->StopClick();
    // The supply may still take a write (the link failed, not the transport): the polls still
    // queued go, and off goes out next, behind the one exchange under way.
    if (TKRConnector* connector = fCore.ModbusMaster().Connector()) connector->QueueClear();
    // A charge's OVP and OCP go back behind the switch-off, as the command line sends them.
    QString protections;
    const bool off =
        SendEndingWrites(true, static_cast<int>(fCore.Timings().DrainTimeout), protections);
    fSessionEnding = false;
    const QString what = plan    ? "The plan stopped in step " + QString::number(step)
                         : sweep ? QStringLiteral("The sweep stopped")
                                 : QStringLiteral("The plan did not begin");
    const QString text =
        "The link to the supply was lost. " + what +
        (off ? QStringLiteral(" and the output was switched off.")
             : QStringLiteral(". Switching the output off was sent but not confirmed: check that "
                              "the supply's output is off.")) +
        protections +
        (plan    ? QStringLiteral("\rThe log of the run is kept (Save log...).")
         : sweep ? QStringLiteral("\rThe points recorded are kept.")
                 : QString());
    AddEvent(text.section('\r', 0, 0));
    ShowError(text);
}

bool TPlanWindow::SaveLogClick() {
    if (Running() || fLogger->Records().empty()) return false;
    const bool workbook = CurrentLogOptions().Spreadsheet && SpreadsheetOffered();
    const QString suffix = workbook ? QStringLiteral("xlsx") : QStringLiteral("txt");
    const QString filter = workbook ? QStringLiteral("Excel workbook (*.xlsx)")
                                    : QStringLiteral("Text file format (*.txt)");
    const QString proposed =
        "Plan_" + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss")) + "." +
        suffix;
    QString path = fOptions.AskSaveFileName
                       ? fOptions.AskSaveFileName(proposed, filter)
                       : QFileDialog::getSaveFileName(this, QString(), proposed, filter);
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += "." + suffix;
    const QLocale locale = QLocale::system();
    const QString error =
        workbook
            ? SaveXlsxLog(path, fLogger->Records(), fCurrentDiv,
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss")),
                          locale)
            : SaveFile(path, TextLogBytes(fLogger->Records(), fCurrentDiv, locale));
    if (!error.isEmpty()) {
        ShowError(CannotWrite(path, error));
        return false;
    }
    fLogSaved = true;
    return true;
}
