#pragma once
// Export of the session history (or a stretch of it) as CSV or as an .xlsx workbook.
//
// CSV: a heading line, then one row per reading, oldest first:
//   time,uout,iout,power,mode,protect,output,uout_min,uout_max,iout_min,iout_max,power_min,power_max
// time is local ISO 8601 with milliseconds and UTC offset; the names are those of
// `benchlordctl read --json`; mode CV or CC; protect none or OVP ...; output 1 or 0. A second
// thinned to one record carries its mean in uout/iout/power and its range in the *_min/*_max
// columns, which full-rate rows leave empty. The workbook has the same columns (the time as a
// spreadsheet date), split over several sheets when it has more rows than a sheet holds.

#include <QString>
#include <cstdint>

class TSessionHistory;

enum THistoryFormat { hfCsv, hfXlsx };

struct THistoryExport {
    int64_t From = INT64_MIN;  // the stretch exported, both ends included
    int64_t To = INT64_MAX;
    int CurrentDecimals = 2;  // 3 on models that count in 0.001 A
};

QString HistoryCsvHeading();

// Writes the file as SaveFile does (complete or not at all, through symbolic links, special
// files refused). Returns "Cannot write PATH: REASON", empty on success.
QString SaveHistory(const QString& APath, THistoryFormat AFormat, const TSessionHistory& AHistory,
                    const THistoryExport& AOptions);
