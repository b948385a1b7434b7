// info, read and watch: what the supply is and what it does.

#include <QTimer>

#include "cli/cli_commands.h"
#include "cli/cli_files.h"
#include "cli/cli_format.h"
#include "cli/cli_metrics.h"
#include "session/session_core.h"
#include "tools/core/log_stream.h"
#include "tools/core/readings_csv.h"

namespace {

// The first live reading comes after the start-up reads (memory number and counters, preset
// block, global block), so by then the firmware class and the counters are known.
class TInfoCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    bool TakesKeyLock() const override { return false; }
    void LiveReading() override {
        fCtx.PrintFields(InfoFields(fCtx.Core()));
        fCtx.Done();
    }
};

class TReadCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    bool TakesKeyLock() const override { return false; }
    void LiveReading() override {
        fCtx.PrintFields(ReadingFields(fCtx.Core()));
        fCtx.Done();
    }
};

// Rows of readings: the session polls the live readings once per interval (or as fast as the
// link allows for shorter ones), and each reading makes a row, written whole at once. The --csv
// file is only checked before connecting and emptied when the session runs; a row that cannot be
// written ends the command with a local I/O error.
class TWatchCommand : public TCliCommand {
public:
    explicit TWatchCommand(TCliContext& AContext) : TCliCommand(AContext), fMetrics(AContext) {}
    bool TakesKeyLock() const override { return false; }

    QString Prepare() override {
        if (!fMetrics.Open()) return {};
        const QString& path = Options().CsvPath;
        if (path.isEmpty()) return {};
        const QString error = OpenOutputStream(fFile, path);
        if (!error.isEmpty()) Failed(error);
        return {};
    }

    void Started() override {
        fCtx.Core().TaskMgr().SetPollPause(static_cast<uint32_t>(Options().IntervalMs));
        const QByteArray header = QByteArray(kReadingsCsvHeader) + "\n";
        if (fFile.IsOpen() && !Checked(fFile.Begin(header))) return;
        if (!fCtx.Request().Json) fCtx.Print(QString::fromLatin1(header));
        // CSV rows stay plain: the figures go to standard error as a summary line.
        if (Options().Stats && !fCtx.Request().Json) {
            QObject::connect(&fSummary, &QTimer::timeout,
                             [this] { fCtx.Warn(LinkSummary(fCtx.Core().LinkFigures())); });
            fSummary.start(Options().StatsEverySeconds.value_or(10) * 1000);
        }
    }

    void LiveReading() override {
        fMetrics.SetUp(true);
        const TReadingRow reading = ReadingRowOf(fCtx.Core().LastReading());
        const QString row = ReadingsCsvRow(reading, fCtx.Core().Limits().CurrentDiv);
        if (fFile.IsOpen() && !Checked(fFile.Write((row + "\n").toUtf8()))) return;
        if (fCtx.Request().Json) {
            TFields fields = WatchFields(reading, fCtx.Core().Limits().CurrentDecimals());
            if (Options().Stats)
                for (TField& field : LinkFields(fCtx.Core().LinkFigures()))
                    fields.push_back(std::move(field));
            fCtx.Print(JsonObject(fields) + "\n");
        } else
            fCtx.Print(row + "\n");
        ++fRows;
        if (Options().Count && fRows >= *Options().Count) fCtx.Done();
    }

    void Stopping() override {
        fMetrics.Close();
        fSummary.stop();
        fFile.Close();
    }

    bool InterruptIsSuccess() const override { return true; }
    // Watching the link's health, an exception reply is one of the figures, not the end.
    bool RefusalEnds() const override { return !Options().Stats; }

private:
    const TWatchOptions& Options() const { return fCtx.Request().Of<TWatchOptions>(); }
    bool Checked(const QString& AError) {
        if (AError.isEmpty()) return true;
        Failed(AError);
        return false;
    }
    void Failed(const QString& AReason) {
        fFile.Close();
        fCtx.Fail(ceLocalIO, CannotWriteText(Options().CsvPath, AReason));
    }

    TCliMetrics fMetrics;
    TLogStream fFile;
    int64_t fRows = 0;
    QTimer fSummary;
};

// Polls as fast as the link allows for the given seconds, then prints the link figures (also
// when interrupted or when the link is lost before). It only reads, beside any other program.
class TStatsCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    bool TakesKeyLock() const override { return false; }

    void Started() override {
        fEnd.setSingleShot(true);
        QObject::connect(&fEnd, &QTimer::timeout, [this] { fCtx.Done(); });
        fEnd.start(fCtx.Request().Of<TStatsOptions>().Seconds * 1000);
        fRunning = true;
    }

    void Stopping() override {
        fEnd.stop();
        if (fRunning) fCtx.PrintFields(LinkFields(fCtx.Core().LinkFigures()));
        fRunning = false;
    }

    bool InterruptIsSuccess() const override { return true; }
    bool RefusalEnds() const override { return false; }

private:
    QTimer fEnd;
    bool fRunning = false;
};

}  // namespace

std::unique_ptr<TCliCommand> MakeInfoCommand(TCliContext& AContext) {
    return std::make_unique<TInfoCommand>(AContext);
}
std::unique_ptr<TCliCommand> MakeReadCommand(TCliContext& AContext) {
    return std::make_unique<TReadCommand>(AContext);
}
std::unique_ptr<TCliCommand> MakeWatchCommand(TCliContext& AContext) {
    return std::make_unique<TWatchCommand>(AContext);
}
std::unique_ptr<TCliCommand> MakeStatsCommand(TCliContext& AContext) {
    return std::make_unique<TStatsCommand>(AContext);
}
