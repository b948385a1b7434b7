#include "cli/cli_plan_run.h"

#include "cli/cli_files.h"
#include "cli/cli_format.h"
#include "cli/cli_runner.h"
#include "session/session_core.h"
#include "tools/core/output_off.h"
#include "tools/core/readings_csv.h"

namespace {
QString Number(double AValue, int ADecimals) {
    return QString::number(AValue, 'f', ADecimals);
}
}  // namespace

QString PlanDuration(uint32_t AMs) {
    const uint32_t s = AMs / 1000;
    return QString("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QChar('0'))
        .arg(s % 60, 2, 10, QChar('0'));
}

TPlanRunCommand::TPlanRunCommand(TCliContext& AContext)
    : TCliCommand(AContext),
      fClock(AContext.Config().PlanClock ? *AContext.Config().PlanClock : SystemTickClock()) {}

TPlanRunCommand::~TPlanRunCommand() = default;

QString TPlanRunCommand::Amperes(uint32_t AMilliamps) const {
    return fCtx.Core().Limits().CurrentDiv == 10 ? Number(AMilliamps / 1000.0, 3)
                                                 : Number(AMilliamps / 1000.0, 2);
}

const TStepRunOptions& TPlanRunCommand::RunOptions() const {
    if (const auto* plan = fCtx.Request().If<TPlanOptions>()) return plan->Run;
    return fCtx.Request().Of<TChargeOptions>().Run;
}

void TPlanRunCommand::OpenLog() {
    const QString& path = RunOptions().LogPath;
    if (path.isEmpty()) return;
    // Only checked here: the user's file is left as it is until the run starts.
    const QString error = OpenOutputStream(fFile, path);
    if (!error.isEmpty()) LogFailed(error);
}

void TPlanRunCommand::LogFailed(const QString& AReason) {
    fFile.Close();
    fCtx.Fail(ceLocalIO, CannotWriteText(RunOptions().LogPath, AReason));
}

bool TPlanRunCommand::Write(const QByteArray& ARow, bool AFirst) {
    if (!fFile.IsOpen()) return true;
    const QString error = AFirst ? fFile.Begin(ARow) : fFile.Write(ARow);
    if (error.isEmpty()) return true;
    LogFailed(error);
    return false;
}

void TPlanRunCommand::BeginPlan(const TPlan& APlan) {
    TSessionCore& core = fCtx.Core();
    // The run starts: only now is the file emptied and given its heading.
    if (!Write(QByteArray(kReadingsCsvHeader) + "\n", true)) return;
    fTarget = std::make_unique<TSessionTarget>(core);
    fRunner = std::make_unique<TPlanRunner>(*fTarget, fClock);
    fBegun = true;
    fRunner->SetReadingsInARow(RunOptions().Readings);
    fRunner->fOnStepStarted = [this](int AStep) { StepStarted(AStep); };
    fRunner->fOnStepEnded = [this](const TStepResult& AResult) { StepEnded(AResult); };
    fRunner->fOnFinished = [this](TPlanEnd AEnd) { Finished(AEnd); };
    fRunner->Start(APlan, fCtx.Core().Limits().CurrentDiv);
}

QString TPlanRunCommand::StepLine(int AStep) const {
    const TPlanStep& step = fRunner ? fRunner->Plan().Steps[size_t(AStep)] : TPlanStep{};
    QString ramp;
    if (fRunner && step.Ramp.Any()) {
        // Where each ramp starts, as the run takes it.
        const TPlanRamp r = ResolvedRamp(fRunner->Plan(), size_t(AStep));
        QStringList parts;
        if (r.Voltage && r.FromCentivolts)
            parts << "V from " + Number(*r.FromCentivolts / 100.0, 2) + " V";
        if (r.Current && r.FromMilliamps) parts << "I from " + Amperes(*r.FromMilliamps) + " A";
        ramp =
            ", ramp " + parts.join(" and ") + " over " + QString::number(step.RampSeconds()) + " s";
    }
    return "step " + QString::number(AStep + 1) + ": " + Number(step.Centivolts / 100.0, 2) +
           " V " + Amperes(step.Milliamps) + " A " +
           (step.Until.empty()
                ? QString::number(step.Seconds) + " s"
                : "until " + UntilText(step) +
                      (step.Seconds ? " or " + QString::number(step.Seconds) + " s" : QString()) +
                      ", at most " + QString::number(step.MaxSeconds) + " s") +
           ramp;
}

void TPlanRunCommand::StepStarted(int AStep) {
    const TPlanStep& step = fRunner->Plan().Steps[size_t(AStep)];
    if (!fCtx.Request().Json) {
        fCtx.Print(StepLine(AStep) + "\n");
        return;
    }
    TFields fields{NumberField("step", QString::number(AStep + 1), ""),
                   NumberField("voltage", Number(step.Centivolts / 100.0, 2), "V"),
                   NumberField("current", Amperes(step.Milliamps), "A")};
    if (step.Seconds) fields.push_back(NumberField("seconds", QString::number(step.Seconds), "s"));
    if (!step.Until.empty()) {
        fields.push_back(StringField("until", UntilText(step)));
        fields.push_back(NumberField("max_seconds", QString::number(step.MaxSeconds), "s"));
    }
    if (step.Ramp.Any())
        fields.push_back(
            StringField("ramp", RampText(ResolvedRamp(fRunner->Plan(), size_t(AStep)))));
    fCtx.Print(JsonObject(fields) + "\n");
}

void TPlanRunCommand::StepEnded(const TStepResult& AResult) {
    const TPlanStep& step = fRunner->Plan().Steps[size_t(AResult.Step)];
    const QString why = StepEndText(step, AResult);
    fLastStep = AResult;
    WriteRow(true);
    if (fCtx.Request().Json) {
        fCtx.Print(JsonObject({NumberField("step", QString::number(AResult.Step + 1), ""),
                               StringField("ended", why),
                               NumberField("seconds", Number(AResult.ElapsedMs / 1000.0, 1), "s"),
                               NumberField("ah", Number(AResult.Ah, 3), "Ah"),
                               NumberField("wh", Number(AResult.Wh, 3), "Wh")}) +
                   "\n");
        return;
    }
    fCtx.Print("step " + QString::number(AResult.Step + 1) + " ended: " + why + " after " +
               PlanDuration(AResult.ElapsedMs) + ", " + Number(AResult.Ah, 3) + " Ah " +
               Number(AResult.Wh, 3) + " Wh\n");
}

QString TPlanRunCommand::Summary(TPlanEnd AEnd) const {
    switch (AEnd) {
        case TPlanEnd::Completed:
            return "completed";
        case TPlanEnd::OutputOff:
            return "the output went off";
        case TPlanEnd::Stopped:
            return "stopped";  // Ctrl-C, a closed standard output, a log that cannot be written
        case TPlanEnd::LinkLost:
            break;
    }
    return "link lost";
}

void TPlanRunCommand::Finished(TPlanEnd AEnd) {
    const TPlanProgress& p = fRunner->Progress();
    const QString seconds = Number(p.PlanMs / 1000.0, 1);
    fCtx.PrintFields({StringField("plan", Summary(AEnd)),
                      {"seconds", seconds, seconds + " s (" + PlanDuration(p.PlanMs) + ")"},
                      NumberField("ah", Number(p.PlanAh, 3), "Ah"),
                      NumberField("wh", Number(p.PlanWh, 3), "Wh")});
    if (AEnd == TPlanEnd::Completed) {
        fCompleted = true;
        return;
    }
    if (AEnd == TPlanEnd::OutputOff) {
        const QString protect = ProtectLabel(p.Protect);
        fCtx.Fail(ceRefused, "The output went off during step " + QString::number(p.Step + 1) +
                                 (protect.isEmpty() ? "." : " (" + protect + ")."));
    }
}

void TPlanRunCommand::WriteRow(bool AForce) {
    if (!fFile.IsOpen() || !fFile.Begun()) return;
    // Each row is a reading that came, written once: a step that ends with the link lost adds
    // no row after the last reading.
    const TReading& reading = fCtx.Core().LastReading();
    if (reading.Number == 0 || reading.Number == fRowReading) return;
    const uint32_t now = fClock.TickCount();
    if (!AForce && fRowReading != 0 && now - fLastRow < 1000) return;
    fRowReading = reading.Number;
    fLastRow = now;
    Write(ReadingsCsvRow(ReadingRowOf(reading), fCtx.Core().Limits().CurrentDiv).toUtf8() + "\n");
}

void TPlanRunCommand::LiveReading() {
    if (fStopping) return;
    if (!fBegun) {
        Ready();
        return;
    }
    TSessionCore& core = fCtx.Core();
    if (fRunner->Running()) {
        WriteRow(false);
        if (Counts(core.Data())) fRunner->Reading(core.Data());
        return;
    }
    // The plan went through: done once the supply shows the output off.
    if (fCompleted && core.Data().ONOFF == 0) fCtx.Done();
}

void TPlanRunCommand::Stopping() {
    fStopping = true;
    // A run refused before it began (a log that cannot be written) may have no session at all.
    if (fBegun) {
        TSessionCore& core = fCtx.Core();
        if (fRunner->Running()) fRunner->Stop(!core.Connected());
        if (core.PowerOn() || core.Data().ONOFF != 0)
            SwitchOutputOffNow(core, core.Timings().DrainTimeout);
    }
    fFile.Close();
}
