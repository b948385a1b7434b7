#pragma once
// The autotest sequencer without widgets: steps the supply through the enabled steps of a table,
// one set point pair and duration at a time, on a one-second timer, and drives the data logger
// (a fresh log at start, records by time, or the event-logging switch). The window and
// benchlordctl each give it a target that turns the knobs and switches the output.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "tools/core/data_logger.h"
#include "tools/core/step_table.h"

class TSessionCore;

// What the sequencer drives.
class TSequencerTarget {
public:
    virtual ~TSequencerTarget() = default;
    // The voltage and current knobs' positions (set points).
    virtual void SetVoltage(uint32_t AUset) = 0;
    virtual void SetCurrent(uint32_t AIset) = 0;
    virtual bool OutputOn() const = 0;
    // The supply confirmed the output on (the switch-on was answered); OutputOn by default.
    virtual bool OutputConfirmedOn() const { return OutputOn(); }
    // The output switch: toggles the output.
    virtual void ToggleOutput() = 0;
    // Whether the last reading shows the supply holding these set points (as read back).
    virtual bool ReadingShows(uint32_t /*AUset*/, uint32_t /*AIset*/) const { return true; }
    // Step k was loaded (the grid selects its row).
    virtual void StepLoaded(int) {}
    // The run began (controls disabled, busy indicator) or ended.
    virtual void RunningChanged(bool) {}
};

// What a run that went through the table without the output confirmed on tells the user.
inline constexpr char kNeverConfirmedOnText[] =
    "The output was never seen on during the run: the supply had not confirmed the switch-on "
    "when the last step ended.";

struct TSequencerTimings {
    int TickMs = 1000;       // the step timer
    int StartPauseMs = 500;  // between loading the first step and switching the output on
};

class TSequencer : public QObject {
public:
    using TOptions = std::function<TLogOptions()>;

    TSequencer(TSequencerTarget& ATarget, TDataLogger& ALogger, TOptions AOptions,
               TSequencerTimings ATimings = {}, QObject* AParent = nullptr);

    TStepTable& Table() { return fTable; }
    const TStepTable& Table() const { return fTable; }

    // Start: loads the first enabled step, and 500 ms later (the controls already disabled)
    // starts the timer and switches the output on; in every case starts a fresh log with one
    // record and sets the event-logging switch. A table without an enabled step touches neither
    // the output nor the timer.
    void Start();
    // One timer tick (public so tests can step without waiting).
    void Tick();
    // Ends a run: the timer stops (a pending start is cancelled) and the controls come back.
    void EndTest();
    // The event check, for the 100 ms session tick while the output is on.
    void SampleLog();

    // Running: the start pause or the timer.
    bool Running() const { return fStartPending || fTimer.isActive(); }
    bool TimerActive() const { return fTimer.isActive(); }
    int TestStep() const { return fTestStep; }
    int TestTime() const { return fTestTime; }
    // The last run went through the whole table (rather than being ended early).
    bool Completed() const { return fCompleted; }
    // The last run went through the table without the supply ever confirming the output on: a
    // switch-on still waiting to go out when the table ended is folded into the switch-off, so
    // the output may never have been on. Such a run must not count as done.
    bool NeverConfirmedOn() const { return fCompleted && !fConfirmedOn; }
    // The first enabled step at or after AFrom, or the last step even when disabled.
    int NextEnabled(int AFrom) const;

private:
    void LoadStep(int AStep);
    void ContinueStart();
    void StartLog();

    TSequencerTarget& fTarget;
    TDataLogger& fLogger;
    TOptions fOptions;
    TSequencerTimings fTimings;
    TStepTable fTable = TStepTable::Initial();
    QTimer fTimer;
    bool fStartPending = false;
    bool fCompleted = false;
    bool fConfirmedOn = false;
    int fTestStep = 0;
    int fTestTime = 0;
    int fLogIntervalCount = 0;
};

// The target of a session: the knob positions clamped to the model's range go through the
// session's set-point handling, and the output switch is the session's on/off button.
class TSessionTarget : public TSequencerTarget {
public:
    explicit TSessionTarget(TSessionCore& ACore) : fCore(ACore) {}
    void SetVoltage(uint32_t AUset) override;
    void SetCurrent(uint32_t AIset) override;
    bool OutputOn() const override;
    bool OutputConfirmedOn() const override;
    void ToggleOutput() override;
    bool ReadingShows(uint32_t AUset, uint32_t AIset) const override;
    void StepLoaded(int AStep) override {
        if (fOnStepLoaded) fOnStepLoaded(AStep);
    }
    void RunningChanged(bool ARunning) override {
        if (fOnRunningChanged) fOnRunningChanged(ARunning);
    }
    std::function<void(int)> fOnStepLoaded;
    std::function<void(bool)> fOnRunningChanged;

private:
    TSessionCore& fCore;
};
