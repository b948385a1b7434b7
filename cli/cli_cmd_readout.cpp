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

// Rows of readings: the session polls the live readings once per interval (or as fast as the
// link allows for shorter ones), and each reading makes a row, flushed at once. A row that cannot
// be written ends the command with a local I/O error, keys released.
class TWatchCommand : public TCliCommand {
public:
    using TCliCommand::TCliCommand;

    QString Prepare() override {
        const QString& path = fCtx.Request().CsvPath;
        if (path.isEmpty()) return {};
        fFile.setFileName(path);
        if (!fFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            return "cannot write " + path + ": " + fFile.errorString();
        // The file is a valid CSV from the start, whatever happens to the connection.
        WriteFile(CsvHeader());
        return {};
    }

    void Started() override {
        fCtx.Core().TaskMgr().SetPollPause(static_cast<uint32_t>(fCtx.Request().IntervalMs));
        if (!fCtx.Request().Json) fCtx.Print(CsvHeader() + "\n");
    }

    void LiveReading() override {
        const QString time = IsoTimestamp();
        if (fFile.isOpen() && !WriteFile(CsvRow(time, fCtx.Core()))) return;
        if (fCtx.Request().Json)
            fCtx.Print(JsonObject(WatchFields(time, fCtx.Core())) + "\n");
        else
            fCtx.Print(CsvRow(time, fCtx.Core()) + "\n");
        ++fRows;
        if (fCtx.Request().Count && fRows >= *fCtx.Request().Count) fCtx.Done();
    }

    void Stopping() override {
        if (fFile.isOpen()) fFile.close();
    }

    bool InterruptIsSuccess() const override { return true; }

private:
    // Writes and flushes one line; on failure ends the command with exit code 6.
    bool WriteFile(const QString& ALine) {
        const QByteArray bytes = (ALine + "\n").toUtf8();
        if (fFile.write(bytes) == bytes.size() && fFile.flush()) return true;
        fCtx.Fail(ceLocalIO, "cannot write " + fFile.fileName() + ": " + fFile.errorString());
        fFile.close();
        return false;
    }

    QFile fFile;
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
