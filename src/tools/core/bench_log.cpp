#include "tools/core/bench_log.h"

#include "session/session_core.h"
#include "tools/core/bench_core.h"

namespace {

// The readings CSV's columns after the time.
QStringList ReadingColumns() {
    QStringList columns = QString::fromLatin1(kReadingsCsvHeader).split(',');
    columns.removeFirst();
    return columns;
}

}  // namespace

TBenchLog::TBenchLog(const TBenchCore& ABench)
    : fBench(ABench), fTaken(static_cast<size_t>(ABench.Count()), 0) {}

QStringList TBenchLog::Columns(int AIndex) const {
    const QString prefix = BenchColumnPrefix(fBench.Supply(AIndex).Name) + ".";
    QStringList columns;
    for (const QString& column : ReadingColumns())
        columns << prefix + column;
    return columns;
}

QString TBenchLog::Heading() const {
    QStringList columns{"time"};
    for (int i = 0; i < fBench.Count(); ++i)
        columns += Columns(i);
    return columns.join(',');
}

TBenchRow TBenchLog::TakeRow(const QDateTime& ATime) {
    TBenchRow row;
    row.Time = ATime;
    row.Supplies.resize(fTaken.size());
    for (size_t i = 0; i < fTaken.size(); ++i) {
        const TSessionCore* session = fBench.Session(static_cast<int>(i));
        if (session == nullptr) continue;
        const TReading& reading = session->LastReading();
        // Reading numbers only grow within one session core, so a newer one came in this
        // interval; the last one of a lost session is not taken twice.
        if (reading.Number == 0 || reading.Number == fTaken[i]) continue;
        fTaken[i] = reading.Number;
        row.Supplies[i].Reading = ReadingRowOf(reading);
        row.Supplies[i].CurrentDiv = session->Limits().CurrentDiv;
    }
    return row;
}

QString TBenchLog::CsvRow(const TBenchRow& ARow) {
    static const qsizetype kCells = ReadingColumns().size();
    QStringList cells{CsvTimestamp(ARow.Time)};
    for (const TBenchRow::TCell& cell : ARow.Supplies) {
        if (cell.Reading)
            cells += ReadingsCsvCells(*cell.Reading, cell.CurrentDiv);
        else
            for (qsizetype i = 0; i < kCells; ++i)
                cells << QString();
    }
    return cells.join(',');
}
