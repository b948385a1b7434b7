#pragma once
// The log's file forms: the text log (CR LF lines, the heading, the locale's long time format and
// number separators), a plain CSV (benchlordctl and the autotest's recovery file), and the CSV
// read back into records.

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

#include "tools/core/data_logger.h"

inline constexpr char kTextLogHeading[] = "Time       Uset   Iset   Uout   Iout    Pout";
inline constexpr char kCsvLogHeading[] = "time,uset,iset,uout,iout,pout";

// The locale's long time format without its time-zone part ("HH:mm:ss"), as the log shows it.
QString LogTimeFormat(const QLocale& ALocale);
QString LogTimeText(double ADayFraction, const QLocale& ALocale);

// One text-log line without its line end: the time, then the five values with two decimals
// (the currents with three when ACurrentDiv is 10), at least 5 (power 6) characters wide, with
// the locale's separators.
QString TextLogLine(const TLogRecord& ARecord, uint32_t ACurrentDiv, const QLocale& ALocale);
// The whole text file: the heading and one line per record, CR LF line ends, in the locale's
// 8-bit encoding.
QByteArray TextLogBytes(const TLogList& ARecords, uint32_t ACurrentDiv, const QLocale& ALocale);

// "12:30:05,5.00,0.200,4.98,0.199,0.99": time, then the values with '.' decimals.
QString CsvLogLine(const TLogRecord& ARecord, uint32_t ACurrentDiv);
QByteArray CsvLogBytes(const TLogList& ARecords, uint32_t ACurrentDiv);

// Records of a CSV log written by CsvLogLine (heading optional). The current unit is read from
// the current columns (three decimals: 0.001 A). Lines that do not parse are skipped.
struct TParsedLog {
    TLogList Records;
    uint32_t CurrentDiv = 1;
};
TParsedLog ParseCsvLog(const QByteArray& ABytes);

// Writes ABytes to APath as a whole (a temporary file renamed over the target). Returns an
// error text, empty on success.
QString WriteFileAtomically(const QString& APath, const QByteArray& ABytes);
