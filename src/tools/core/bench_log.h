#pragma once
// The bench's one log: a time column, then per supply the columns of the readings CSV
// (readings_csv.h) prefixed by its name without blanks, in the bench's order:
//
//     time,+12V.uset,+12V.iset,...,+12V.output,-12V.uset,...,-12V.output
//
// A row covers one interval: each supply's newest reading that came in it, and empty cells for
// a supply that gave none (not connected, lost, or slower than the interval). Nothing is ever
// filled in from an earlier reading or from the program's own state.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "tools/core/readings_csv.h"

class TBenchCore;

struct TBenchRow {
    QDateTime Time;
    // Per supply in the bench's order: its reading, with its current unit.
    struct TCell {
        std::optional<TReadingRow> Reading;
        uint32_t CurrentDiv = 1;
    };
    std::vector<TCell> Supplies;
};

class TBenchLog {
public:
    explicit TBenchLog(const TBenchCore& ABench);

    // The heading without its line end.
    QString Heading() const;
    // The row of the interval that ends at ATime (each supply's readings since the last row).
    TBenchRow TakeRow(const QDateTime& ATime);
    // The row as CSV, without its line end.
    static QString CsvRow(const TBenchRow& ARow);
    // The column names of a supply ("+12V.uset", ...).
    QStringList Columns(int AIndex) const;

private:
    const TBenchCore& fBench;
    std::vector<uint64_t> fTaken;  // per supply: the number of the reading last put in a row
};
