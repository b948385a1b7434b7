#pragma once
// The log's file forms: the text log (CR LF lines, the heading, the locale's long time format and
// number separators), the readings CSV (benchlordctl and the autotest's recovery file), and the
// CSV read back into records.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

#include "tools/core/data_logger.h"
#include "tools/core/readings_csv.h"

inline constexpr char kTextLogHeading[] = "Time       Uset   Iset   Uout   Iout    Pout";

// The locale's long time format without its time-zone part ("HH:mm:ss"), as the log shows it.
QString LogTimeFormat(const QLocale& ALocale);
QString LogTimeText(double ADayFraction, const QLocale& ALocale);
// The date and time of a default log name in the locale's short date order, in digits only
// (a month or day written as a word becomes its number), every other character '_':
// "9_12_2026_15_35_35" in the C locale.
QString LogNameStamp(const QDateTime& AWhen, const QLocale& ALocale);

// Characters of the time column: the locale's widest time of day (8 for "HH:mm:ss", more in
// 12-hour locales). Shorter times are padded, and the heading's "Time" takes the same width, so
// the columns line up in every locale.
int LogTimeWidth(const QLocale& ALocale);
// kTextLogHeading with its time column widened to LogTimeWidth.
QString TextLogHeading(const QLocale& ALocale);

// One text-log line without its line end: the time, then the five values with two decimals
// (the currents with three when ACurrentDiv is 10), at least 5 (power 6) characters wide, with
// the locale's separators.
QString TextLogLine(const TLogRecord& ARecord, uint32_t ACurrentDiv, const QLocale& ALocale);
// The whole text file: the heading and one line per record, CR LF line ends, in the locale's
// 8-bit encoding.
QByteArray TextLogBytes(const TLogList& ARecords, uint32_t ACurrentDiv, const QLocale& ALocale);

// A record as a readings CSV row (readings_csv.h), and back.
TReadingRow ReadingRowOf(const TLogRecord& ARecord);
TLogRecord LogRecordOf(const TReadingRow& ARow);
QString CsvLogLine(const TLogRecord& ARecord, uint32_t ACurrentDiv);
// The header and one row per record.
QByteArray CsvLogBytes(const TLogList& ARecords, uint32_t ACurrentDiv);

// Records of a CSV log (heading optional). The current unit is read from the current columns
// (three decimals: 0.001 A). Lines that do not parse are skipped.
struct TParsedLog {
    TLogList Records;
    uint32_t CurrentDiv = 1;
};
TParsedLog ParseCsvLog(const QByteArray& ABytes);
