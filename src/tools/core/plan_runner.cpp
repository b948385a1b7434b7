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
    fTarget.SetVoltage(step.Centivolts);
    fTarget.SetCurrent(IsetOf(step.Milliamps, fCurrentDiv));
    fTarget.StepLoaded(AStep);
    if (fOnStepStarted) fOnStepStarted(AStep);
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
    // Readings count only once the supply shows the step's own set points.
    const bool settled =
        AData.USET == step.Centivolts && AData.ISET == IsetOf(step.Milliamps, fCurrentDiv);

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
