#pragma once
// Runs a plan on the session's readings, without widgets: loads each enabled step's set points,
// switches the output on once the supply shows them, and ends the step on its first condition
// that holds for N readings in a row (default 3, so one noisy reading ends nothing), on its
// elapsed time or on its maximum time; at the end of the last step it switches the output off.
// A step that ramps moves its set points on the readings: each reading that shows the supply
// has taken the last set points (never a queue of writes) writes the next ones, quantised to
// the model's units, until the step's own are reached; its end conditions count meanwhile.
// Charge and energy are integrated from the readings (trapezoids over the time between two
// readings with the output on) per step and over the plan. Both front ends drive it the same
// way: Start, then Reading(core.Data()) on every live reading, and Stop on an interrupt, a
// lost link or a closed window; they show Progress() and follow the events.
//
//     TSessionTarget target(core);
//     TPlanRunner runner(target);
//     runner.fOnStepEnded = [](const TStepResult& r) { ... };
//     QObject::connect(&core, &TSessionCore::LiveReading, [&] { runner.Reading(core.Data()); });
//     runner.Start(plan, core.Limits().CurrentDiv);

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/tick_clock.h"
#include "tools/core/plan.h"

struct TCurrentSet;
class TSequencerTarget;

inline constexpr int kPlanReadingsInARow = 3;

// Why a step ended.
enum class TStepEnd : uint8_t {
    Condition,  // one of its conditions held (TStepResult::Condition says which; trip included)
    Time,       // its seconds passed
    MaxTime,    // its max_seconds passed before any condition held
    OutputOff,  // the output went off (a protection, the front panel) and no condition caught it
    Stopped,    // Stop: an interrupt, a lost link, the window
};

// Why the plan ended.
enum class TPlanEnd : uint8_t {
    Completed,  // every enabled step ended on its condition or time
    OutputOff,  // the output went off where no step expected it (TPlanProgress::Protect says why)
    Stopped,    // Stop(false)
    LinkLost,   // Stop(true)
};

struct TStepResult {
    int Step = 0;  // index into the plan's steps
    TStepEnd End = TStepEnd::Time;
    int Condition = -1;  // index into the step's Until for TStepEnd::Condition
    uint32_t ElapsedMs = 0;
    double Ah = 0;
    double Wh = 0;
};

// What a front end shows while a plan runs; refreshed on every reading.
struct TPlanProgress {
    bool Running = false;
    int Step = -1;            // index into the plan's steps, -1 before the first
    bool OutputSeen = false;  // the output is on with the step's set points: readings count
    uint32_t ElapsedMs = 0;   // in the step
    uint32_t LimitMs = 0;     // the longest the step runs (seconds or max_seconds)
    // The set points the run gave the supply last (0.01 V, mA): a ramp's way so far.
    uint32_t SetCentivolts = 0;
    uint32_t SetMilliamps = 0;
    bool Ramping = false;  // the step's ramp has not reached its set points yet
    uint32_t PlanMs = 0;   // since the output first came on
    double StepAh = 0, StepWh = 0;
    double PlanAh = 0, PlanWh = 0;
    // Per condition of the step: the readings in a row it has held, and the number needed.
    std::vector<int> Held;
    int Needed = kPlanReadingsInARow;
    // The last reading: output voltage (0.01 V), current (mA), mode, protection code.
    uint32_t Centivolts = 0;
    uint32_t Milliamps = 0;
    bool ConstantCurrent = false;
    uint32_t Protect = 0;
};

class TPlanRunner {
public:
    explicit TPlanRunner(TSequencerTarget& ATarget, const TTickClock& AClock = SystemTickClock());

    // Readings in a row a condition must hold (1 or more; default 3).
    void SetReadingsInARow(int ACount);
    // Starts APlan (checked against the model beforehand) for a model with current unit
    // ACurrentDiv: an output that is on goes off, the first enabled step is loaded, and the
    // output comes on once a reading shows its set points. False when no step is enabled.
    bool Start(const TPlan& APlan, uint32_t ACurrentDiv);
    // A live reading of the session.
    void Reading(const TCurrentSet& AData);
    // Ends the run at once (the front end switches the output off); ALinkLost names the cause.
    void Stop(bool ALinkLost = false);

    bool Running() const { return fProgress.Running; }
    const TPlan& Plan() const { return fPlan; }
    const TPlanProgress& Progress() const { return fProgress; }
    // The step that runs (valid while Running and Progress().Step >= 0).
    const TPlanStep& CurrentStep() const { return fPlan.Steps[size_t(fProgress.Step)]; }
    // The index of the condition that has held longest, -1 when none holds now.
    int LeadingCondition() const;
    TPlanEnd EndReason() const { return fEnd; }

    // A step was loaded (its set points sent).
    std::function<void(int AStep)> fOnStepStarted;
    std::function<void(const TStepResult& AResult)> fOnStepEnded;
    // The plan ended (the output is being switched off for Completed).
    std::function<void(TPlanEnd AEnd)> fOnFinished;
    // After every reading while running.
    std::function<void()> fOnProgress;

private:
    int NextEnabled(int AFrom) const;
    void LoadStep(int AStep);
    void WriteSetPoints(uint32_t AUset, uint32_t AIset);
    void AdvanceRamp();
    void Integrate(const TCurrentSet& AData, uint32_t ANow);
    bool Meets(const TPlanCondition& ACondition, const TCurrentSet& AData) const;
    void EndStep(TStepEnd AEnd, int ACondition);
    void Finish(TPlanEnd AEnd);
    void Ended(TPlanEnd AEnd);

    TSequencerTarget& fTarget;
    const TTickClock& fClock;
    TPlan fPlan;
    uint32_t fCurrentDiv = 1;
    TPlanProgress fProgress;
    TPlanEnd fEnd = TPlanEnd::Completed;
    bool fSwitchedOn = false;  // this run has switched the output on for the step
    uint32_t fStepStart = 0;   // tick of the step's start
    uint32_t fPlanStart = 0;   // tick the output first came on
    bool fLastValid = false;   // the previous reading had the output on
    uint32_t fLastTick = 0;
    // The set points last written (model units) and where the step's ramp starts.
    uint32_t fWrittenUset = 0;
    uint32_t fWrittenIset = 0;
    uint32_t fRampFromUset = 0;
    uint32_t fRampFromIset = 0;
    double fLastAmps = 0;
    double fLastWatts = 0;
};

// "time", "max time", "output off", "stopped" or the condition's text ("I<=0.100").
QString StepEndText(const TPlanStep& AStep, const TStepResult& AResult);
