// info, read and watch: what the supply is and what it does.

#include <QFile>

#include "cli/cli_commands.h"
#include "cli/cli_format.h"
#include "session/session_core.h"

namespace {

// The first live reading comes after the start-up reads (memory number and counters, preset
// block, global block), so by then the firmware class and the counters are known.
class TInfoCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    void LiveReading() override {
        fCtx.PrintFields(InfoFields(fCtx.Core()));
        fCtx.Done();
    }
};

class TReadCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;
    void LiveReading() override {
        fCtx.PrintFields(ReadingFields(fCtx.Core()));
        fCtx.Done();
    }
};

// Rows of readings: the first reading after each interval makes a row, so rows are at least one
// interval apart and every row is a fresh reading. Each row is flushed at once.
class TWatchCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;

    QString Prepare() override {
        const QString& path = fCtx.Request().CsvPath;
        if (path.isEmpty()) return {};
        fFile.setFileName(path);
        if (!fFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            return "Cannot write " + path + ": " + fFile.errorString();
        // The file is a valid CSV from the start, whatever happens to the connection.
        WriteFile(CsvHeader());
        return {};
    }

    void Started() override {
        fTimer.setInterval(fCtx.Request().IntervalMs);
        fTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&fTimer, &QTimer::timeout, [this] { fRowDue = true; });
        if (!fCtx.Request().Json) fCtx.Print(CsvHeader() + "\n");
    }

    void LiveReading() override {
        if (!fRowDue) return;
        fRowDue = false;
        if (fRows == 0) fTimer.start();
        const QString time = IsoTimestamp();
        if (fFile.isOpen()) WriteFile(CsvRow(time, fCtx.Core()));
        if (fCtx.Request().Json)
            fCtx.Print(JsonObject(WatchFields(time, fCtx.Core())) + "\n");
        else
            fCtx.Print(CsvRow(time, fCtx.Core()) + "\n");
        ++fRows;
        if (fCtx.Request().Count && fRows >= *fCtx.Request().Count) fCtx.Done();
    }

    void Stopping() override {
        fTimer.stop();
        if (fFile.isOpen()) fFile.close();
    }

    bool InterruptIsSuccess() const override { return true; }

private:
    void WriteFile(const QString& ALine) {
        fFile.write((ALine + "\n").toUtf8());
        fFile.flush();
    }

    QFile fFile;
    QTimer fTimer;
    bool fRowDue = true;
    int64_t fRows = 0;
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
