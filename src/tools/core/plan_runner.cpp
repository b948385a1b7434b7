#include "tools/core/plan_runner.h"

#include <algorithm>

#include "device/device_records.h"
#include "tools/core/sequencer.h"

TPlanRunner::TPlanRunner(TSequencerTarget& ATarget, const TTickClock& AClock)
    : fTarget(ATarget), fClock(AClock) {}

void TPlanRunner::SetReadingsInARow(int ACount) {
    fProgress.Needed = std::max(ACount, 1);
}

int TPlanRunner::NextEnabled(int AFrom) const {
    for (int i = std::max(AFrom, 0); i < static_cast<int>(fPlan.Steps.size()); ++i)
        if (fPlan.Steps[size_t(i)].Enabled) return i;
    return -1;
}

bool TPlanRunner::Start(const TPlan& APlan, uint32_t ACurrentDiv) {
    if (fProgress.Running) return false;
    fPlan = APlan;
    fCurrentDiv = ACurrentDiv;
    const int first = NextEnabled(0);
    if (first < 0) return false;
    const int needed = fProgress.Needed;
    fProgress = TPlanProgress{};
    fProgress.Needed = needed;
    fProgress.Running = true;
    fEnd = TPlanEnd::Completed;
    fSwitchedOn = false;
    fLastValid = false;
    // The plan switches the output on itself, once the first step's set points are in place.
    if (fTarget.OutputOn()) fTarget.ToggleOutput();
    fTarget.RunningChanged(true);
    LoadStep(first);
    return true;
}

void TPlanRunner::LoadStep(int AStep) {
    const TPlanStep& step = fPlan.Steps[size_t(AStep)];
    fProgress.Step = AStep;
    fProgress.Held.assign(step.Until.size(), 0);
    fProgress.StepAh = fProgress.StepWh = 0;
    fProgress.ElapsedMs = 0;
    fProgress.LimitMs = step.Limit() * 1000;
    fStepStart = fClock.TickCount();
    TRampStart start{step.Centivolts, step.Milliamps};
    fProgress.Ramping = step.Ramp.Any() && RampStartOf(fPlan, size_t(AStep), start);
    fRampFromUset = start.Centivolts;
    fRampFromIset = IsetOf(start.Milliamps, fCurrentDiv);
    WriteSetPoints(fRampFromUset, fRampFromIset);
    fTarget.StepLoaded(AStep);
    if (fOnStepStarted) fOnStepStarted(AStep);
}

void TPlanRunner::WriteSetPoints(uint32_t AUset, uint32_t AIset) {
    fTarget.SetVoltage(AUset);
    fTarget.SetCurrent(AIset);
    fWrittenUset = AUset;
    fWrittenIset = AIset;
    fProgress.SetCentivolts = AUset;
    fProgress.SetMilliamps = fCurrentDiv == 10 ? AIset : AIset * 10;
}

void TPlanRunner::AdvanceRamp() {
    // The next set points go out only once a reading shows the supply took the last ones: the
    // link sets the pace, and nothing waits in a queue.
    if (!fTarget.ReadingShows(fWrittenUset, fWrittenIset)) return;
    const TPlanStep& step = CurrentStep();
    const int64_t total = int64_t{step.RampSeconds()} * 1000;
    const int64_t at = std::min<int64_t>(fProgress.ElapsedMs, total);
    // Linear from the start to the step's own, rounded to the model's unit.
    auto along = [&](uint32_t AFrom, uint32_t ATo) {
        const int64_t span = int64_t{ATo} - int64_t{AFrom};
        const int64_t moved =
            total > 0 ? (span * at * 2 + (span < 0 ? -total : total)) / (2 * total) : span;
        return static_cast<uint32_t>(int64_t{AFrom} + moved);
    };
    const uint32_t iset = IsetOf(step.Milliamps, fCurrentDiv);
    const uint32_t u = step.Ramp.Voltage ? along(fRampFromUset, step.Centivolts) : step.Centivolts;
    const uint32_t i = step.Ramp.Current ? along(fRampFromIset, iset) : iset;
    if (u != fWrittenUset || i != fWrittenIset) WriteSetPoints(u, i);
    if (u == step.Centivolts && i == iset) fProgress.Ramping = false;
}

void TPlanRunner::Reading(const TCurrentSet& AData) {
    if (!fProgress.Running || fProgress.Step < 0) return;
    const uint32_t now = fClock.TickCount();
    const TPlanStep& step = CurrentStep();
    const bool on = AData.ONOFF != 0;
    fProgress.Centivolts = AData.UOUT;
    fProgress.Milliamps = fCurrentDiv == 10 ? AData.IOUT : AData.IOUT * 10;
    fProgress.ConstantCurrent = AData.CVCC == 1;
    fProgress.Protect = AData.PROTECT;
    // Readings count only once the session holds the set points the run gave it last (the
    // step's own, or a ramp's on the way).
    const bool settled = AData.USET == fWrittenUset && AData.ISET == fWrittenIset;

    if (!on) {
        fLastValid = false;
        // Off after this run switched it on: seen on before, or off again before any reading
        // showed it on (the session follows a switch-off only once its own switch-on was
        // answered, so the target no longer shows it on).
        if (fSwitchedOn && (fProgress.OutputSeen || !fTarget.OutputOn())) {
            // The output went off under the step: a trip the step waits for ends it; anything
            // else ends the plan.
            const auto trip = std::find_if(step.Until.begin(), step.Until.end(),
                                           [](auto& c) { return c.Kind == TPlanCondKind::Trip; });
            fProgress.OutputSeen = false;
            fSwitchedOn = false;
            if (AData.PROTECT != 0 && trip != step.Until.end())
                EndStep(TStepEnd::Condition, static_cast<int>(trip - step.Until.begin()));
            else
                EndStep(TStepEnd::OutputOff, -1);
            return;
        }
        if (!fSwitchedOn && settled && !fTarget.OutputOn()) {
            fTarget.ToggleOutput();
            fSwitchedOn = true;
        }
        if (fOnProgress) fOnProgress();
        return;
    }
    // On before this run switched it on: the switch-off at the start has not landed yet.
    if (!fSwitchedOn) return;
    if (!fProgress.OutputSeen) {
        fProgress.OutputSeen = true;
        fStepStart = now;
        if (fProgress.PlanMs == 0 && fProgress.PlanAh == 0) fPlanStart = now;
    }
    Integrate(AData, now);
    fProgress.ElapsedMs = now - fStepStart;
    fProgress.PlanMs = now - fPlanStart;

    for (size_t i = 0; i < step.Until.size(); ++i) {
        int& held = fProgress.Held[i];
        held = settled && Meets(step.Until[i], AData) ? held + 1 : 0;
        if (held >= fProgress.Needed) {
            EndStep(TStepEnd::Condition, static_cast<int>(i));
            return;
        }
    }
    if (step.Seconds && fProgress.ElapsedMs >= step.Seconds * 1000) {
        EndStep(TStepEnd::Time, -1);
        return;
    }
    if (step.MaxSeconds && fProgress.ElapsedMs >= step.MaxSeconds * 1000) {
        EndStep(TStepEnd::MaxTime, -1);
        return;
    }
    if (fProgress.Ramping) AdvanceRamp();
    if (fOnProgress) fOnProgress();
}

void TPlanRunner::Integrate(const TCurrentSet& AData, uint32_t ANow) {
    const double amps = AData.IOUT / (fCurrentDiv == 10 ? 1000.0 : 100.0);
    const double watts = AData.UOUT / 100.0 * amps;
    if (fLastValid) {
        const double hours = (ANow - fLastTick) / 3600000.0;
        const double ah = (fLastAmps + amps) / 2 * hours;
        const double wh = (fLastWatts + watts) / 2 * hours;
        fProgress.StepAh += ah;
        fProgress.PlanAh += ah;
        fProgress.StepWh += wh;
        fProgress.PlanWh += wh;
    }
    fLastValid = true;
    fLastTick = ANow;
    fLastAmps = amps;
    fLastWatts = watts;
}

bool TPlanRunner::Meets(const TPlanCondition& ACondition, const TCurrentSet& AData) const {
    const uint32_t milliamps = fProgress.Milliamps;
    // Charge and energy targets in mAh and mWh; a hair below counts against rounding.
    const double target = ACondition.Value / 1000.0 - 1e-12;
    switch (ACondition.Kind) {
        case TPlanCondKind::CurrentAtMost:
            return milliamps <= ACondition.Value;
        case TPlanCondKind::CurrentAtLeast:
            return milliamps >= ACondition.Value;
        case TPlanCondKind::VoltageAtMost:
            return AData.UOUT <= ACondition.Value;
        case TPlanCondKind::VoltageAtLeast:
            return AData.UOUT >= ACondition.Value;
        case TPlanCondKind::ChargeAtLeast:
            return (ACondition.WholePlan ? fProgress.PlanAh : fProgress.StepAh) >= target;
        case TPlanCondKind::EnergyAtLeast:
            return (ACondition.WholePlan ? fProgress.PlanWh : fProgress.StepWh) >= target;
        case TPlanCondKind::EnteredCC:
            return AData.CVCC == 1;
        case TPlanCondKind::EnteredCV:
            return AData.CVCC == 0;
        case TPlanCondKind::Trip:
            break;  // seen when the output goes off
    }
    return false;
}

void TPlanRunner::EndStep(TStepEnd AEnd, int ACondition) {
    const TStepResult result{
        fProgress.Step, AEnd, ACondition, fProgress.ElapsedMs, fProgress.StepAh, fProgress.StepWh};
    if (fOnStepEnded) fOnStepEnded(result);
    if (!fProgress.Running || AEnd == TStepEnd::Stopped) return;  // stopped from the event
    if (AEnd == TStepEnd::OutputOff) {
        Finish(TPlanEnd::OutputOff);
        return;
    }
    const int next = NextEnabled(fProgress.Step + 1);
    if (next >= 0) {
        LoadStep(next);
        return;
    }
    if (fTarget.OutputOn()) fTarget.ToggleOutput();
    Finish(TPlanEnd::Completed);
}

void TPlanRunner::Stop(bool ALinkLost) {
    if (!fProgress.Running) return;
    fProgress.Running = false;  // nothing the events below do may move the plan on
    if (fProgress.Step >= 0 && fOnStepEnded)
        fOnStepEnded({fProgress.Step, TStepEnd::Stopped, -1, fProgress.ElapsedMs, fProgress.StepAh,
                      fProgress.StepWh});
    Ended(ALinkLost ? TPlanEnd::LinkLost : TPlanEnd::Stopped);
}

void TPlanRunner::Finish(TPlanEnd AEnd) {
    if (!fProgress.Running) return;
    fProgress.Running = false;
    Ended(AEnd);
}

void TPlanRunner::Ended(TPlanEnd AEnd) {
    fEnd = AEnd;
    fTarget.RunningChanged(false);
    if (fOnFinished) fOnFinished(AEnd);
}

int TPlanRunner::LeadingCondition() const {
    const auto& held = fProgress.Held;
    const auto it = std::max_element(held.begin(), held.end());
    return it == held.end() || *it == 0 ? -1 : static_cast<int>(it - held.begin());
}

QString StepEndText(const TPlanStep& AStep, const TStepResult& AResult) {
    switch (AResult.End) {
        case TStepEnd::Condition:
            if (AResult.Condition >= 0 && size_t(AResult.Condition) < AStep.Until.size())
                return ConditionText(AStep.Until[size_t(AResult.Condition)]);
            return "condition";
        case TStepEnd::Time:
            return "time";
        case TStepEnd::MaxTime:
            return "max time";
        case TStepEnd::OutputOff:
            return "output off";
        case TStepEnd::Stopped:
            break;
    }
    return "stopped";
}
