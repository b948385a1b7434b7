// bench FILE read|watch|on NAME|off NAME|all-on|all-off: several supplies at once. Each supply
// of the run has a runner of its own (the same connect, key ownership, release at every end and
// loss handling as any command), whose command hands the session to the bench core; this
// command waits until every supply's session runs, then reads, watches or switches through the
// core, and ends once every supply's runner has closed its link. A supply that cannot be reached
// at the start ends the run (exit 3), except for all-off, which still switches the others off.

#include <QTimer>
#include <memory>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_files.h"
#include "cli/cli_format.h"
#include "cli/cli_messages.h"
#include "cli/cli_runner.h"
#include "session/session_core.h"
#include "tools/core/bench_core.h"
#include "tools/core/bench_log.h"
#include "tools/core/log_stream.h"

namespace {

class TBenchCommand;

// The command of one supply's runner: it serves on (a loss is the bench's to handle, and the
// session's autoconnect brings the link back) until the bench ends it.
class TBenchMember : public TCliCommand {
public:
    TBenchMember(TCliContext& AContext, TBenchCommand& ABench, int AIndex, bool AControls)
        : TCliCommand(AContext), fBench(ABench), fIndex(AIndex), fControls(AControls) {}

    bool TakesKeyLock() const override { return fControls; }
    bool KeepsServing() const override { return true; }
    bool RefusalEnds() const override { return false; }
    bool InterruptIsSuccess() const override { return true; }
    void SessionCreated() override;
    void Started() override;
    void LiveReading() override;
    void Note(const QString& AText) override {
        fCtx.Warn(AText.simplified());
        // A failed reconnect switches the autoconnect off; the bench goes on trying.
        QMetaObject::invokeMethod(
            &fRetry,
            [this] {
                TSessionCore& core = fCtx.Core();
                if (!core.Connected() && !core.AutoConnect()) core.AutoConnectSwitchClick(true);
            },
            Qt::QueuedConnection);
    }
    void Refused(int32_t ACode) override { fCtx.Warn(ResultEnglish(ACode)); }
    void KeysReleased() override {
        fCtx.Warn("the keys were released at the supply: it is only read from now on");
    }
    void End() { fCtx.Done(); }

private:
    TBenchCommand& fBench;
    const int fIndex;
    const bool fControls;
    QObject fRetry;  // context of the queued reconnect, gone with the command
};

class TBenchCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;

    bool NeedsSession() const override { return false; }
    bool TakesKeyLock() const override { return false; }
    bool InterruptIsSuccess() const override { return Action() == "watch"; }

    QString Prepare() override {
        const TBenchCommandOptions& r = Options();
        const TInputFile file = ReadInputFile(r.File);
        if (!file.Error.isEmpty()) return file.Error;
        TBenchParse parsed = ParseBenchFile(file.Content);
        if (!parsed.Error.isEmpty()) return r.File + ": " + parsed.Error;
        if (!r.Supply.isEmpty()) {
            const int index = parsed.Bench.IndexOf(r.Supply);
            if (index < 0) {
                QStringList names;
                for (const TBenchSupply& s : parsed.Bench.Supplies)
                    names << s.Name;
                return "bench: no supply of " + r.File + " is named " + r.Supply + " (" +
                       names.join(", ") + ")";
            }
            fOnly = index;
        }
        fCore = std::make_unique<TBenchCore>(std::move(parsed.Bench));
        fLog = std::make_unique<TBenchLog>(*fCore);
        if (!r.CsvPath.isEmpty()) {
            const QString error = OpenOutputStream(fFile, r.CsvPath);
            if (!error.isEmpty()) fCtx.Fail(ceLocalIO, CannotWriteText(r.CsvPath, error));
        }
        return {};
    }

    void Started() override {
        TBenchCore& core = *fCore;
        QObject::connect(&core, &TBenchCore::Message, &core,
                         [this](const QString& AText) { fCtx.Warn(AText); });
        QObject::connect(&core, &TBenchCore::StepConfirmed, &core,
                         [this](int AIndex, bool AOn) { PrintStep(AIndex, AOn); });
        QObject::connect(&core, &TBenchCore::SequenceEnded, &core,
                         [this](bool, TBenchFault AFault, const QString& AMessage) {
                             SequenceEnded(AFault, AMessage);
                         });
        fTick.setTimerType(Qt::PreciseTimer);  // rows at even intervals
        QObject::connect(&fTick, &QTimer::timeout, &core, [this] { WatchRow(); });
        const int count = core.Count();
        fRunners.resize(count);
        fMembers.assign(count, nullptr);
        fStarted.assign(count, false);
        fFinished.assign(count, true);
        // Reading and watching controls too: the bench's switch-off on a loss or trip and its
        // tracking act on the supplies.
        const bool controls = Action() != "read";
        for (int i = 0; i < count; ++i) {
            if (fOnly >= 0 && i != fOnly) continue;
            const TBenchSupply& supply = core.Supply(i);
            TCliRequest request = fCtx.Request();
            request.Link = {.Port = supply.Link.Port,
                            .TcpHost = supply.Link.TcpHost,
                            .TcpPort = supply.Link.TcpPort,
                            .Baud = supply.Link.Baud,
                            .Addr = supply.Link.Addr};
            request.Of<TBenchCommandOptions>().CsvPath.clear();
            auto runner = std::make_unique<TCliRunner>(request, fCtx.OutStream(), fCtx.ErrStream(),
                                                       fCtx.Config());
            runner->fMessagePrefix = supply.Name + ": ";
            runner->fMakeCommand = [this, i, controls](TCliContext& AContext) {
                auto member = std::make_unique<TBenchMember>(AContext, *this, i, controls);
                fMembers[i] = member.get();
                return member;
            };
            runner->fOnFinished = [this, i](int ACode) { MemberFinished(i, ACode); };
            fFinished[i] = false;
            fRunners[i] = std::move(runner);
        }
        for (auto& runner : fRunners)
            if (runner) runner->Start();
    }

    void Stopping() override {
        fStopping = true;
        // An interrupted sequence switches nothing more while the supplies' runs end.
        if (fCore) fCore->Stop();
        fTick.stop();
        fFile.Close();
        for (size_t i = 0; i < fRunners.size(); ++i)
            if (fRunners[i] && !fFinished[i] && fMembers[i]) fMembers[i]->End();
    }

    bool EndsLater(std::function<void(int)> AEnded) override {
        fEnded = std::move(AEnded);
        CheckAllEnded();
        return true;
    }

    // --- from the members ---
    TBenchCore& Core() { return *fCore; }
    void MemberStarted(int AIndex) {
        if (fStarted[AIndex]) return;  // a reconnect
        fStarted[AIndex] = true;
        MaybeAct();
    }
    // read prints, and watch starts its rows, once every supply has given its first reading.
    void MemberReading() {
        if (!fActing || fStopping || fFirstRowsDone) return;
        if (Action() != "read" && Action() != "watch") return;
        for (size_t i = 0; i < fRunners.size(); ++i) {
            const TSessionCore* session =
                fRunners[i] ? fCore->Session(static_cast<int>(i)) : nullptr;
            if (fRunners[i] && (session == nullptr || session->LastReading().Number == 0)) return;
        }
        fFirstRowsDone = true;
        if (Action() == "watch") {
            StartWatch();
            return;
        }
        PrintRow(fLog->TakeRow(QDateTime::currentDateTime()), true);
        fCtx.Done();
    }

private:
    const TBenchCommandOptions& Options() const {
        return fCtx.Request().Of<TBenchCommandOptions>();
    }
    const QString& Action() const { return Options().Action; }

    void MemberFinished(int AIndex, int ACode) {
        fFinished[AIndex] = true;
        if (ACode != ceOk && fCode == ceOk) fCode = ACode;
        if (fStopping) {
            CheckAllEnded();
            return;
        }
        // Before the bench acts, a supply that cannot be reached ends the run; all-off goes on
        // with the others.
        if (!fActing && Action() != "all-off") {
            fCtx.Done();
            return;
        }
        MaybeAct();
    }

    void CheckAllEnded() {
        if (!fEnded) return;
        for (size_t i = 0; i < fRunners.size(); ++i)
            if (fRunners[i] && !fFinished[i]) return;
        auto ended = std::move(fEnded);
        fEnded = {};
        ended(fCode);
    }

    void MaybeAct() {
        if (fActing || fStopping) return;
        bool any = false;
        for (size_t i = 0; i < fRunners.size(); ++i) {
            if (!fRunners[i]) continue;
            if (!fStarted[i] && !fFinished[i]) return;  // still connecting
            any = any || (fStarted[i] && !fFinished[i]);
        }
        fActing = true;
        if (!any) {
            fCtx.Done();
            return;
        }
        const QString& action = Action();
        QString refusal;
        if (action == "read" || action == "watch") {
            MemberReading();
        } else if (action == "all-on") {
            refusal = fCore->AllOn();
        } else if (action == "all-off") {
            refusal = fCore->AllOff();
        } else {
            refusal = fCore->Switch(fOnly, action == "on");
        }
        if (!refusal.isEmpty()) fCtx.Fail(ceUsage, refusal);
    }

    void StartWatch() {
        const QString heading = fLog->Heading();
        if (fFile.IsOpen() && !Written(fFile.Begin((heading + "\n").toUtf8()))) return;
        if (!fCtx.Request().Json) fCtx.Print(heading + "\n");
        fTick.start(Options().IntervalMs);
    }

    void WatchRow() {
        if (fStopping) return;
        const TBenchRow row = fLog->TakeRow(QDateTime::currentDateTime());
        if (fFile.IsOpen() && !Written(fFile.Write((TBenchLog::CsvRow(row) + "\n").toUtf8())))
            return;
        PrintRow(row, false);
        ++fRows;
        if (Options().Count && fRows >= *Options().Count) fCtx.Done();
    }

    // A CSV row (after the heading when AHeading), or one JSON object whose keys are the
    // columns, null for a supply that gave no reading.
    void PrintRow(const TBenchRow& ARow, bool AHeading) {
        if (!fCtx.Request().Json) {
            fCtx.Print((AHeading ? fLog->Heading() + "\n" : QString()) + TBenchLog::CsvRow(ARow) +
                       "\n");
            return;
        }
        TFields fields{StringField("time", CsvTimestamp(ARow.Time))};
        for (size_t i = 0; i < ARow.Supplies.size(); ++i) {
            const QStringList columns = fLog->Columns(static_cast<int>(i));
            const TBenchRow::TCell& cell = ARow.Supplies[i];
            if (!cell.Reading) {
                if (fRunners[i])
                    for (const QString& column : columns)
                        fields.push_back(NullField(column));
                continue;
            }
            TFields own = WatchFields(*cell.Reading, CurrentDecimalsOf(cell.CurrentDiv));
            for (size_t k = 1; k < own.size(); ++k) {
                own[k].Key = columns[static_cast<qsizetype>(k - 1)];
                fields.push_back(own[k]);
            }
        }
        fCtx.Print(JsonObject(fields) + "\n");
    }

    void PrintStep(int AIndex, bool AOn) {
        // Watching, standard output holds the rows only (a switch-off is told on standard error).
        if (Action() == "watch") return;
        const QString& name = fCore->Supply(AIndex).Name;
        if (fCtx.Request().Json)
            fCtx.Print(JsonObject({StringField("supply", name), BoolField("output", AOn)}) + "\n");
        else
            fCtx.Print(name + ": " + (AOn ? "on" : "off") + "\n");
    }

    void SequenceEnded(TBenchFault AFault, const QString& AMessage) {
        if (fFault == TBenchFault::None && AFault != TBenchFault::None) {
            fFault = AFault;
            fFaultText = AMessage;
        }
        // Watching, a switch-off after a loss or trip is part of the watch.
        if (Action() == "watch") return;
        // A failed step is followed by switching off what it had switched on: the run ends
        // when the bench has done all of it.
        QMetaObject::invokeMethod(
            fCore.get(),
            [this] {
                if (fCore->Sequencing() || fStopping) return;
                switch (fFault) {
                    case TBenchFault::None:
                        fCtx.Done();
                        return;
                    case TBenchFault::NotConnected:
                        // A supply whose run could not start has said why (its exit code
                        // stands); all-off switched the others off.
                        if (fCode != ceOk) {
                            fCtx.Done();
                            return;
                        }
                        fCtx.Fail(ceLink, fFaultText);
                        return;
                    case TBenchFault::Lost:
                        fCtx.Fail(ceLink, fFaultText);
                        return;
                    case TBenchFault::NotAllowed:
                        fCtx.Fail(ceKeysHeld, fFaultText);
                        return;
                    case TBenchFault::Stopped:
                        return;  // only while the run ends
                    case TBenchFault::Tripped:
                    case TBenchFault::NotConfirmed:
                        fCtx.Fail(ceRefused, fFaultText);
                        return;
                }
            },
            Qt::QueuedConnection);
    }

    bool Written(const QString& AError) {
        if (AError.isEmpty()) return true;
        fFile.Close();
        fCtx.Fail(ceLocalIO, CannotWriteText(Options().CsvPath, AError));
        return false;
    }

    std::unique_ptr<TBenchCore> fCore;
    std::unique_ptr<TBenchLog> fLog;
    int fOnly = -1;  // on and off: the one supply of the run
    std::vector<std::unique_ptr<TCliRunner>> fRunners;
    std::vector<TBenchMember*> fMembers;
    std::vector<bool> fStarted;
    std::vector<bool> fFinished;
    bool fActing = false;
    bool fStopping = false;
    bool fFirstRowsDone = false;
    int fCode = ceOk;
    TBenchFault fFault = TBenchFault::None;
    QString fFaultText;
    std::function<void(int)> fEnded;
    TLogStream fFile;
    QTimer fTick;
    int64_t fRows = 0;
};

void TBenchMember::SessionCreated() {
    fBench.Core().Attach(fIndex, fCtx.Core());
}

void TBenchMember::Started() {
    // A link lost later comes back by itself, as in the window with autoconnect on.
    fCtx.Core().AutoConnectSwitchClick(true);
    fBench.MemberStarted(fIndex);
}

void TBenchMember::LiveReading() {
    fBench.MemberReading();
}

}  // namespace

std::unique_ptr<TCliCommand> MakeBenchCommand(TCliContext& AContext) {
    return std::make_unique<TBenchCommand>(AContext);
}
