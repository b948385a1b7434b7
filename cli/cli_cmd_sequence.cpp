// sequence: the saved step table shown, or a table (saved, or a CSV step file) run through the
// autotest's sequencer with each step printed as it starts and the log streamed to a file. The
// output is switched off at the end, on an interrupt, a closed standard output and a lost link.

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "cli/cli_runner.h"
#include "session/model_limits.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "tools/core/log_files.h"
#include "tools/core/log_xlsx.h"
#include "tools/core/output_off.h"

namespace {

TSettingsStore UserStore(const TCliConfig& AConfig) {
    return AConfig.UserSettingsPath.isEmpty() ? TSettingsStore()
                                              : TSettingsStore(AConfig.UserSettingsPath);
}

TStepTable SavedTable(const TCliConfig& AConfig) {
    return LoadTable(UserStore(AConfig),
                     AConfig.TablePath.isEmpty() ? TableFilePath() : AConfig.TablePath);
}

QString Volts(uint32_t AValue) {
    return QString::number(AValue / 100.0, 'f', 2);
}
QString Amperes(uint32_t AValue, uint32_t ACurrentDiv) {
    return ACurrentDiv == 10 ? QString::number(AValue / 1000.0, 'f', 3)
                             : QString::number(AValue / 100.0, 'f', 2);
}

class TSequenceCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;

    QString Prepare() override {
        const TCliRequest& req = fCtx.Request();
        fOptions = TLogOptions::Load(UserStore(fCtx.Config()), SpreadsheetOffered());
        if (req.LogEverySeconds) {
            fOptions.ByEvent = false;
            fOptions.IntervalSeconds = *req.LogEverySeconds;
        }
        if (req.LogOnChange) {
            fOptions.ByEvent = true;
            fOptions.VoltageEvent = req.LogOnChange->first;
            fOptions.CurrentEvent = req.LogOnChange->second;
        }
        if (!req.StepFile.isEmpty()) {
            QFile file(req.StepFile);
            if (!file.open(QIODevice::ReadOnly))
                return "Cannot read " + req.StepFile + ": " + file.errorString();
            fStepFile = ParseStepCsv(file.readAll());
            if (!fStepFile.Error.isEmpty()) return req.StepFile + ": " + fStepFile.Error;
            bool anyEnabled = false;
            for (const TStepLine& step : fStepFile.Steps)
                anyEnabled = anyEnabled || step.Enabled;
            if (!anyEnabled) return req.StepFile + ": no step is enabled";
        } else {
            fTable = SavedTable(fCtx.Config());
            bool anyEnabled = false;
            for (int i = 0; i < fTable.Count; ++i)
                anyEnabled = anyEnabled || fTable.Steps[i].Enabled;
            if (!anyEnabled) return "The saved table has no enabled step.";
        }
        return OpenLog();
    }

    void SessionCreated() override {
        TCliView& view = fCtx.View();
        view.fOnSampleLog = [this] {
            if (fSequencer) fSequencer->SampleLog();
        };
        view.fOnEndAutotest = [this] {
            if (fSequencer) fSequencer->EndTest();
        };
    }

    QString CheckLimits() override {
        if (!fCtx.Request().StepFile.isEmpty()) {
            const QString error =
                StepFileToTable(fStepFile, gMaxUset(), gMaxIset(), gCurrentDiv(), fTable);
            return error.isEmpty() ? error : fCtx.Request().StepFile + ": " + error;
        }
        return CheckTableLimits(fTable, gMaxUset(), gMaxIset());
    }

    void LiveReading() override {
        TSessionCore& core = fCtx.Core();
        if (!fSequencer) {
            Begin();
            return;
        }
        // The run went through the table: done once the supply shows the output off.
        if (fCompleted && core.Data().ONOFF == 0) fCtx.Done();
    }

    void Stopping() override {
        fStopping = true;
        // Without a sequencer the run never began (a refused table: there may be no session).
        if (fSequencer) {
            fSequencer->EndTest();
            TSessionCore& core = fCtx.Core();
            if (core.PowerOn() || core.Data().ONOFF != 0)
                SwitchOutputOffNow(core, core.Timings().DrainTimeout);
        }
        if (fFormat == "xlsx" && fLogger) {
            const QString error = SaveXlsxLog(fCtx.Request().LogPath, fLogger->Records(),
                                              gCurrentDiv(), fSheetName, QLocale::system());
            if (!error.isEmpty()) fCtx.Fail(ceUsage, error);
        }
        if (fFile.isOpen()) fFile.close();
    }

private:
    QString OpenLog() {
        const TCliRequest& req = fCtx.Request();
        fFormat = req.LogFormat;
        if (fFormat.isEmpty()) {
            const QString suffix = QFileInfo(req.LogPath).suffix().toLower();
            fFormat = suffix == "csv" || suffix == "xlsx" ? suffix : QStringLiteral("txt");
        }
        if (req.LogPath.isEmpty()) return {};
        if (fFormat == "xlsx") {
            if (!SpreadsheetOffered()) return "This build cannot write .xlsx files.";
            return {};
        }
        fFile.setFileName(req.LogPath);
        if (!fFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return "Cannot write " + req.LogPath + ": " + fFile.errorString();
        // A complete file from the start, whatever happens to the run.
        Write(fFormat == "csv" ? QByteArray(kCsvLogHeading) + "\n"
                               : QByteArray(kTextLogHeading) + "\r\n");
        return {};
    }

    void Write(const QByteArray& ABytes) {
        fFile.write(ABytes);
        fFile.flush();
    }

    void Begin() {
        TSessionCore& core = fCtx.Core();
        const QLocale locale = QLocale::system();
        const QDateTime now = QDateTime::currentDateTime();
        for (const QChar c : locale.toString(now.date(), QLocale::ShortFormat) +
                                 locale.toString(now.time(), LogTimeFormat(locale)))
            if (c.isDigit()) fSheetName += c;

        fLogger = std::make_unique<TDataLogger>(core.Data());
        fLogger->fOnRecord = [this, locale](const TLogRecord& ARecord) {
            if (!fFile.isOpen()) return;
            const uint32_t div = gCurrentDiv();
            Write(fFormat == "csv" ? CsvLogLine(ARecord, div).toUtf8() + "\n"
                                   : (TextLogLine(ARecord, div, locale) + "\r\n").toLocal8Bit());
        };
        fTarget = std::make_unique<TSessionTarget>(core);
        fTarget->fOnStepLoaded = [this](int AStep) { PrintStep(AStep); };
        fTarget->fOnRunningChanged = [this](bool ARunning) {
            if (!ARunning) RunEnded();
        };
        fSequencer = std::make_unique<TSequencer>(
            *fTarget, *fLogger, [this] { return fOptions; }, fCtx.Config().Sequence);
        fSequencer->Table() = fTable;
        // The run switches the output on itself; one already on is switched off first.
        if (core.PowerOn()) core.OnOffBtnClick();
        fSequencer->Start();
    }

    void PrintStep(int AStep) {
        const TStepRecord& step = fTable.Steps[AStep];
        const uint32_t div = gCurrentDiv();
        const TFields fields{NumberField("step", QString::number(AStep + 1), ""),
                             NumberField("voltage", Volts(step.Uset), "V"),
                             NumberField("current", Amperes(step.Iset, div), "A"),
                             NumberField("seconds", QString::number(step.Time), "s")};
        // One line per step: "step 2: 6.50 V 0.300 A 60 s".
        if (fCtx.Request().Json)
            fCtx.Print(JsonObject(fields) + "\n");
        else
            fCtx.Print("step " + fields[0].Json + ": " + fields[1].Text + " " + fields[2].Text +
                       " " + fields[3].Text + "\n");
    }

    void RunEnded() {
        if (fStopping) return;
        if (fSequencer->Completed()) {
            fCompleted = true;
            return;
        }
        const QString protect = ProtectLabel(fCtx.Core().Data().PROTECT);
        fCtx.Fail(ceRefused, "The output went off during step " +
                                 QString::number(fSequencer->TestStep() + 1) +
                                 (protect.isEmpty() ? "." : " (" + protect + ")."));
    }

    TLogOptions fOptions;
    TStepFile fStepFile;
    TStepTable fTable;
    QString fFormat;
    QString fSheetName;
    QFile fFile;
    std::unique_ptr<TDataLogger> fLogger;
    std::unique_ptr<TSessionTarget> fTarget;
    std::unique_ptr<TSequencer> fSequencer;
    bool fCompleted = false;
    bool fStopping = false;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeSequenceCommand(TCliContext& AContext) {
    return std::make_unique<TSequenceCommand>(AContext);
}

QString SequenceTableText(const TCliRequest& ARequest, const TCliConfig& AConfig) {
    const TStepTable table = SavedTable(AConfig);
    if (ARequest.Json) {
        QStringList steps;
        for (int i = 0; i < table.Count; ++i) {
            const TStepRecord& s = table.Steps[i];
            steps << JsonObject({NumberField("step", QString::number(i + 1), ""),
                                 BoolField("enabled", s.Enabled),
                                 NumberField("voltage", Volts(s.Uset), "V"),
                                 NumberField("current_units", QString::number(s.Iset), ""),
                                 NumberField("seconds", QString::number(s.Time), "s")});
        }
        return JsonArray(steps) + "\n";
    }
    QString text = QStringLiteral(
        "# current in the model's unit: 0.01 A, or 0.001 A where it has three decimals\n"
        "step\tenabled\tvoltage\tcurrent\tseconds\n");
    for (int i = 0; i < table.Count; ++i) {
        const TStepRecord& s = table.Steps[i];
        text += QString::number(i + 1) + "\t" + (s.Enabled ? "yes" : "no") + "\t" + Volts(s.Uset) +
                "\t" + QString::number(s.Iset) + "\t" + QString::number(s.Time) + "\n";
    }
    return text;
}
