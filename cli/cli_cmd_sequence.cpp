// sequence: the saved step table shown, or a table (saved, or a CSV step file) run through the
// autotest's sequencer with each step printed as it starts and the log streamed to a file. The
// output is switched off at the end, on an interrupt, a closed standard output and a lost link.

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include "cli/cli_commands.h"
#include "cli/cli_files.h"
#include "cli/cli_format.h"
#include "cli/cli_runner.h"
#include "session/session_core.h"
#include "session/settings_store.h"
#include "tools/core/log_files.h"
#include "tools/core/log_stream.h"
#include "tools/core/log_xlsx.h"
#include "tools/core/output_off.h"

// The table in the form 'sequence run FILE' reads (volts, amperes, seconds), or as JSON.
QString StepTableText(const TStepTable& ATable, uint32_t ACurrentDiv, bool AJson,
                      const QString& AAbout);

namespace {

TSettingsStore UserStore(const TCliConfig& AConfig) {
    return AConfig.UserSettingsPath.isEmpty() ? TSettingsStore()
                                              : TSettingsStore(AConfig.UserSettingsPath);
}

// The table saved by the window, or the reason it is not used: a table that fails its check is
// never run, and it is left where it is for the window to set aside.
QString SavedTable(const TCliConfig& AConfig, TStepTable& ATable) {
    const QString path = AConfig.TablePath.isEmpty() ? TableFilePath() : AConfig.TablePath;
    const TSavedTable saved = ReadSavedTable(UserStore(AConfig), path);
    ATable = saved.Table;
    if (saved.Problem.isEmpty()) return {};
    return path + ": the saved table fails its check (" + saved.Problem +
           ") and is not used; the Auto Test window sets it aside when it starts, or remove "
           "the file";
}

// The current unit of the model the window last used on a serial port (its remembered device,
// "DPS5015"); 0 when it is not known.
uint32_t RememberedCurrentDiv(const TSettingsStore& AStore) {
    const QString port = AStore.ReadString(settings::kPORT);
    if (port.isEmpty() || port == "TCP") return 0;
    const QString device = AStore.ReadDevice(port);
    qsizetype digits = device.size();
    while (digits > 0 && device[digits - 1].isDigit())
        --digits;
    const TModelRow* row = FindModelRow(device.mid(digits).toUInt());
    return row ? row->CurrentDiv : 0;
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
    // 'show' only reads the model's current unit.
    bool TakesKeyLock() const override {
        return fCtx.Request().Of<TSequenceOptions>().Action != "show";
    }

    QString Prepare() override {
        const TSequenceOptions& req = fCtx.Request().Of<TSequenceOptions>();
        if (req.Action == "show") return SavedTable(fCtx.Config(), fTable);
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
            const TInputFile file = ReadInputFile(req.StepFile);
            if (!file.Error.isEmpty()) return file.Error;
            fStepFile = ParseStepCsv(file.Content);
            if (!fStepFile.Error.isEmpty()) return req.StepFile + ": " + fStepFile.Error;
            bool anyEnabled = false;
            for (const TStepLine& step : fStepFile.Steps)
                anyEnabled = anyEnabled || step.Enabled;
            if (!anyEnabled) return req.StepFile + ": no step is enabled";
        } else {
            const QString error = SavedTable(fCtx.Config(), fTable);
            if (!error.isEmpty()) return error;
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
        if (fCtx.Request().Of<TSequenceOptions>().Action == "show") return {};
        if (!fCtx.Request().Of<TSequenceOptions>().StepFile.isEmpty()) {
            const QString error = StepFileToTable(fStepFile, fCtx.Core().Limits().MaxUset,
                                                  fCtx.Core().Limits().MaxIset,
                                                  fCtx.Core().Limits().CurrentDiv, fTable);
            return error.isEmpty() ? error
                                   : fCtx.Request().Of<TSequenceOptions>().StepFile + ": " + error;
        }
        return CheckTableLimits(fTable, fCtx.Core().Limits().MaxUset, fCtx.Core().Limits().MaxIset);
    }

    void LiveReading() override {
        TSessionCore& core = fCtx.Core();
        if (fCtx.Request().Of<TSequenceOptions>().Action == "show") {
            // The supply is identified: its current unit is known.
            fCtx.Print(StepTableText(fTable, fCtx.Core().Limits().CurrentDiv, fCtx.Request().Json,
                                     core.Title()));
            fCtx.Done();
            return;
        }
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
        // The workbook is written once, at the end; a failure there still fails the run.
        if (fFormat == "xlsx" && fLogger) {
            const QString error =
                SaveXlsxLog(fCtx.Request().Of<TSequenceOptions>().LogPath, fLogger->Records(),
                            fCtx.Core().Limits().CurrentDiv, fSheetName, QLocale::system());
            if (!error.isEmpty()) LogFailed(error);
        }
        fFile.Close();
    }

private:
    QString OpenLog() {
        const TSequenceOptions& req = fCtx.Request().Of<TSequenceOptions>();
        fFormat = req.LogFormat;
        if (fFormat.isEmpty()) {
            const QString suffix = QFileInfo(req.LogPath).suffix().toLower();
            fFormat = suffix == "csv" || suffix == "xlsx" ? suffix : QStringLiteral("txt");
        }
        if (req.LogPath.isEmpty()) return {};
        // Only checked here: the user's file is left as it is until the run starts.
        if (fFormat == "xlsx") {
            if (!SpreadsheetOffered()) return "This build cannot write .xlsx files.";
            const QString error = CheckOutputFile(req.LogPath);
            if (!error.isEmpty()) LogFailed(error);
            return {};
        }
        const QString error = OpenOutputStream(fFile, req.LogPath);
        if (!error.isEmpty()) LogFailed(error);
        return {};
    }

    // A log that cannot be written ends the run as any other end does (output off, keys
    // released), with exit code 6.
    void LogFailed(const QString& AReason) {
        fFile.Close();
        fCtx.Fail(ceLocalIO,
                  CannotWriteText(fCtx.Request().Of<TSequenceOptions>().LogPath, AReason));
    }

    bool Write(const QByteArray& ABytes, bool AFirst = false) {
        if (!fFile.IsOpen()) return true;
        const QString error = AFirst ? fFile.Begin(ABytes) : fFile.Write(ABytes);
        if (error.isEmpty()) return true;
        LogFailed(error);
        return false;
    }

    void Begin() {
        TSessionCore& core = fCtx.Core();
        const QLocale locale = QLocale::system();
        // The run starts: only now is the file emptied and given its heading.
        if (!Write(fFormat == "csv" ? QByteArray(kReadingsCsvHeader) + "\n"
                                    : (TextLogHeading(locale) + "\r\n").toLocal8Bit(),
                   true))
            return;
        const QDateTime now = QDateTime::currentDateTime();
        for (const QChar c : locale.toString(now.date(), QLocale::ShortFormat) +
                                 locale.toString(now.time(), LogTimeFormat(locale)))
            if (c.isDigit()) fSheetName += c;

        fLogger = std::make_unique<TDataLogger>(core.LastReading());
        fLogger->fOnRecord = [this, locale](const TLogRecord& ARecord) {
            const uint32_t div = fCtx.Core().Limits().CurrentDiv;
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
        const uint32_t div = fCtx.Core().Limits().CurrentDiv;
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
        // A lost link stops the run too; the loss is reported with its cause when its message
        // comes, right after.
        if (fStopping || fCtx.Core().Losing()) return;
        if (fSequencer->NeverConfirmedOn()) {
            fCtx.Fail(ceRefused, kNeverConfirmedOnText);
            return;
        }
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
    TLogStream fFile;
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

QString StepTableText(const TStepTable& ATable, uint32_t ACurrentDiv, bool AJson,
                      const QString& AAbout) {
    if (AJson) {
        QStringList steps;
        for (int i = 0; i < ATable.Count; ++i) {
            const TStepRecord& s = ATable.Steps[i];
            steps << JsonObject({NumberField("step", QString::number(i + 1), ""),
                                 BoolField("enabled", s.Enabled),
                                 NumberField("voltage", Volts(s.Uset), "V"),
                                 NumberField("current", Amperes(s.Iset, ACurrentDiv), "A"),
                                 NumberField("seconds", QString::number(s.Time), "s")});
        }
        return JsonArray(steps) + "\n";
    }
    QString text = "# Auto Test table for " + AAbout + "; 'sequence run FILE' runs it as it is\n" +
                   "voltage,current,seconds,enabled\n";
    for (int i = 0; i < ATable.Count; ++i) {
        const TStepRecord& s = ATable.Steps[i];
        text += Volts(s.Uset) + "," + Amperes(s.Iset, ACurrentDiv) + "," + QString::number(s.Time) +
                "," + (s.Enabled ? "1" : "0") + "\n";
    }
    return text;
}

QString SequenceTableText(const TCliRequest& ARequest, const TCliConfig& AConfig, QString& AError) {
    TStepTable table;
    AError = SavedTable(AConfig, table);
    if (!AError.isEmpty()) return {};
    const TSettingsStore store = UserStore(AConfig);
    const uint32_t div = RememberedCurrentDiv(store);
    if (div == 0) {
        AError = QStringLiteral(
            "sequence show: the current unit depends on the model; give the link (--port or "
            "--tcp) so that the supply is identified");
        return {};
    }
    return StepTableText(table, div, ARequest.Json,
                         store.ReadDevice(store.ReadString(settings::kPORT)) +
                             " (the last supply on " + store.ReadString(settings::kPORT) + ")");
}
