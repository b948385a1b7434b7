#include "tools/core/sequencer.h"

#include <algorithm>

#include "session/session_core.h"

TSequencer::TSequencer(TSequencerTarget& ATarget, TDataLogger& ALogger, TOptions AOptions,
                       TSequencerTimings ATimings, QObject* AParent)
    : QObject(AParent),
      fTarget(ATarget),
      fLogger(ALogger),
      fOptions(std::move(AOptions)),
      fTimings(ATimings) {
    fTimer.setInterval(fTimings.TickMs);
    connect(&fTimer, &QTimer::timeout, this, [this] { Tick(); });
}

int TSequencer::NextEnabled(int AFrom) const {
    int step = AFrom;
    while (!fTable.Steps[step].Enabled && step < fTable.Count - 1)
        ++step;
    return step;
}

void TSequencer::LoadStep(int AStep) {
    fTestStep = AStep;
    const TStepRecord& step = fTable.Steps[AStep];
    fTarget.SetVoltage(step.Uset);
    fTarget.SetCurrent(step.Iset);
    fTestTime = static_cast<int>(std::min<uint32_t>(step.Time, INT32_MAX));
    fTarget.StepLoaded(AStep);
}

void TSequencer::Start() {
    if (Running()) return;
    fCompleted = false;
    fConfirmedOn = false;
    fTestStep = NextEnabled(0);
    if (!fTable.Steps[fTestStep].Enabled) {
        StartLog();
        return;
    }
    LoadStep(fTestStep);
    // The supply gets half a second for the new set points before its output goes on; the
    // window stays responsive meanwhile, with its controls already disabled.
    fStartPending = true;
    fTarget.RunningChanged(true);
    QTimer::singleShot(fTimings.StartPauseMs, this, [this] { ContinueStart(); });
}

void TSequencer::ContinueStart() {
    if (!fStartPending) return;  // ended during the pause
    fStartPending = false;
    fTimer.start();
    fTarget.ToggleOutput();
    StartLog();
}

void TSequencer::StartLog() {
    fLogger.ClearLogData();
    fLogIntervalCount = 0;
    fLogger.WriteLogData();
    fLogger.Logging = fOptions().ByEvent;
}

void TSequencer::Tick() {
    fConfirmedOn = fConfirmedOn || fTarget.OutputConfirmedOn();
    --fTestTime;
    const TLogOptions options = fOptions();
    if (!options.ByEvent) {
        if (fLogIntervalCount > 0) {
            --fLogIntervalCount;
        } else if (fLogger.WriteLogData()) {
            // Without a reading since the last record the next tick tries again.
            fLogIntervalCount = options.LogInterval() - 1;
        }
    }
    if (fTestTime > 0) return;
    ++fTestStep;
    if (fTestStep < fTable.Count) {
        const int next = NextEnabled(fTestStep);
        fTestStep = next;
        if (fTable.Steps[next].Enabled) LoadStep(next);
        return;
    }
    fCompleted = true;
    if (fTarget.OutputOn()) {
        // EndTest follows when the output shows off.
        fLogger.Logging = false;
        fTarget.ToggleOutput();
    } else {
        // Nothing left to switch off (the output went off without telling): end here rather
        // than tick on for ever.
        EndTest();
    }
}

void TSequencer::EndTest() {
    if (!Running()) return;
    fStartPending = false;
    fTimer.stop();
    fTarget.RunningChanged(false);
}

void TSequencer::SampleLog() {
    if (!fLogger.Logging) return;
    const TLogOptions options = fOptions();
    fLogger.CheckLogEvent(options.VoltageEvent, options.CurrentEvent);
}

void TSessionTarget::SetVoltage(uint32_t AUset) {
    fCore.U_KnobChange(
        std::clamp<uint32_t>(AUset, 10, std::max<uint32_t>(10, fCore.Limits().MaxUset)));
}

void TSessionTarget::SetCurrent(uint32_t AIset) {
    fCore.I_KnobChange(
        std::clamp<uint32_t>(AIset, 1, std::max<uint32_t>(1, fCore.Limits().MaxIset)));
}

bool TSessionTarget::OutputOn() const {
    return fCore.PowerOn();
}

bool TSessionTarget::OutputConfirmedOn() const {
    return fCore.PowerOn() && fCore.WriteOnOffAccepted();
}

bool TSessionTarget::ReadingShows(uint32_t AUset, uint32_t AIset) const {
    return fCore.ReadingShowsSetValues(AUset, AIset);
}

void TSessionTarget::ToggleOutput() {
    fCore.OnOffBtnClick();
}
