#pragma once
// The run of a plan on benchlordctl, shared by 'plan run' and 'charge': the plan runner on the
// session's readings, each step and why it ended printed as it happens, the readings streamed
// to the --log file (the readings CSV, a row a second and one at every step) and the endings of
// 'sequence run': the output goes off at the end, on Ctrl-C, a closed standard output, a lost
// link and a log that cannot be written.

#include <QString>
#include <memory>

#include "cli/cli_command.h"
#include "tools/core/log_stream.h"
#include "tools/core/plan_runner.h"
#include "tools/core/sequencer.h"

class TPlanRunCommand : public TCliCommand {
public:
    explicit TPlanRunCommand(TCliContext& AContext);
    ~TPlanRunCommand() override;

    void LiveReading() override;
    void Stopping() override;
    // Once the plan has begun the output is owed a switch-off, also after a lost link.
    bool SwitchOffAtEnd() const override { return fBegun; }

protected:
    // A live reading before the plan has begun (the command begins it when it is ready).
    virtual void Ready() = 0;
    // The last line: why the plan ended, the time, charge and energy.
    virtual QString Summary(TPlanEnd AEnd) const;
    // Whether a reading of the running plan counts towards its conditions (a command may hold
    // readings back, or Fail, here).
    virtual bool Counts(const TCurrentSet& /*AData*/) { return true; }

    // Checks that the --log file can be written (it is left as it is); a failure ends the
    // command with exit 6.
    void OpenLog();
    // Starts APlan: the log begins, the runner loads the first step.
    void BeginPlan(const TPlan& APlan);
    // "step 1: 4.20 V 1.000 A until I<=0.100, at most 14400 s" for each enabled step.
    QString StepLine(int AStep) const;
    QString Amperes(uint32_t AMilliamps) const;

    const TPlanRunner* Runner() const { return fRunner.get(); }
    const TTickClock& Clock() const { return fClock; }
    // The step that ended last (End Stopped before any).
    const TStepResult& LastStep() const { return fLastStep; }
    bool Begun() const { return fBegun; }
    bool IsStopping() const { return fStopping; }

private:
    // The log and the readings in a row, of plan run or of charge.
    const TStepRunOptions& RunOptions() const;
    void StepStarted(int AStep);
    void StepEnded(const TStepResult& AResult);
    void Finished(TPlanEnd AEnd);
    void WriteRow(bool AForce);
    bool Write(const QByteArray& ARow, bool AFirst = false);
    void LogFailed(const QString& AReason);

    const TTickClock& fClock;
    TLogStream fFile;
    std::unique_ptr<TSessionTarget> fTarget;
    std::unique_ptr<TPlanRunner> fRunner;
    TStepResult fLastStep{0, TStepEnd::Stopped, -1, 0, 0, 0};
    bool fBegun = false;
    bool fCompleted = false;
    bool fStopping = false;
    uint64_t fRowReading = 0;  // the reading of the last row (TReading::Number)
    uint32_t fLastRow = 0;
};

// "1:02:03" for a time in milliseconds (whole seconds).
QString PlanDuration(uint32_t AMs);
