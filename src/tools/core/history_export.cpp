#include "tools/core/history_export.h"

#include <QDateTime>
#include <QFile>

#include "session/session_history.h"
#include "tools/core/readings_csv.h"
#include "tools/core/save_file.h"

#ifdef BENCHLORD_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace {

QString Fixed(double AUnits, int ADecimals) {
    double scale = 1;
    for (int k = 0; k < ADecimals; ++k)
        scale *= 10;
    return QString::number(AUnits / scale, 'f', ADecimals);
}

QByteArray CsvRow(const THistoryRow& R, int AIdec) {
    QStringList cells = {CsvTimestamp(QDateTime::fromMSecsSinceEpoch(R.Time)),
                         Fixed(R.U, 2),
                         Fixed(R.I, AIdec),
                         Fixed(R.P, 2),
                         R.CC ? "CC" : "CV",
                         ProtectionName(R.Protect),
                         R.Output ? "1" : "0"};
    if (R.Thinned) {
        cells << Fixed(R.URange.Min, 2) << Fixed(R.URange.Max, 2) << Fixed(R.IRange.Min, AIdec)
              << Fixed(R.IRange.Max, AIdec) << Fixed(R.PRange.Min, 2) << Fixed(R.PRange.Max, 2);
    } else {
        cells << ""
              << ""
              << ""
              << ""
              << ""
              << "";
    }
    return (cells.join(',') + '\n').toUtf8();
}

// Streams the rows into ATemp in chunks, so a week of history never sits in memory as text.
QString WriteCsv(const QString& ATemp, const TSessionHistory& AHistory,
                 const THistoryExport& AOptions) {
    QFile file(ATemp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return file.errorString();
    QByteArray chunk = (HistoryCsvHeading() + '\n').toUtf8();
    bool ok = true;
    AHistory.Rows(AOptions.From, AOptions.To, [&](const THistoryRow& ARow) {
        chunk += CsvRow(ARow, AOptions.CurrentDecimals);
        if (chunk.size() >= (1 << 20)) {
            ok = file.write(chunk) == chunk.size();
            chunk.clear();
        }
        return ok;
    });
    if (ok) ok = file.write(chunk) == chunk.size() && file.flush();
    if (!ok) return file.errorString();
    file.close();
    return file.error() == QFileDevice::NoError ? QString() : file.errorString();
}

#ifdef BENCHLORD_HAVE_XLSXWRITER

// Rows of data per sheet (the format's limit, less the heading).
constexpr lxw_row_t kSheetRows = 1'048'575;

QString WriteWorkbook(const QByteArray& APath, const TSessionHistory& AHistory,
                      const THistoryExport& AOptions) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go to disk as they are written
    lxw_workbook* book = workbook_new_opt(APath.constData(), &options);
    if (!book) return QStringLiteral("cannot create the workbook");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "yyyy-mm-dd hh:mm:ss.000");
    lxw_format* volts = workbook_add_format(book);
    format_set_num_format(volts, "0.00");
    lxw_format* amps = workbook_add_format(book);
    format_set_num_format(amps, AOptions.CurrentDecimals == 3 ? "0.000" : "0.00");
    const QStringList headings = HistoryCsvHeading().split(',');
    const double iScale = AOptions.CurrentDecimals == 3 ? 1000.0 : 100.0;

    lxw_worksheet* sheet = nullptr;
    lxw_row_t row = kSheetRows + 1;
    int sheets = 0;
    AHistory.Rows(AOptions.From, AOptions.To, [&](const THistoryRow& R) {
        if (row > kSheetRows) {
            ++sheets;
            const QByteArray name =
                (sheets == 1 ? QStringLiteral("History") : "History " + QString::number(sheets))
                    .toUtf8();
            sheet = workbook_add_worksheet(book, name.constData());
            for (lxw_col_t c = 0; c < static_cast<lxw_col_t>(headings.size()); ++c)
                worksheet_write_string(sheet, 0, c, headings[c].toUtf8().constData(), nullptr);
            worksheet_set_column(sheet, 0, 0, 24, nullptr);
            row = 1;
        }
        // Local time as a spreadsheet date (days since 1899-12-30).
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(R.Time);
        const double days =
            static_cast<double>(R.Time + int64_t{t.offsetFromUtc()} * 1000) / 86'400'000.0 + 25569;
        worksheet_write_number(sheet, row, 0, days, date);
        worksheet_write_number(sheet, row, 1, R.U / 100.0, volts);
        worksheet_write_number(sheet, row, 2, R.I / iScale, amps);
        worksheet_write_number(sheet, row, 3, R.P / 100.0, volts);
        worksheet_write_string(sheet, row, 4, R.CC ? "CC" : "CV", nullptr);
        const QByteArray protect = ProtectionName(R.Protect).toUtf8();
        worksheet_write_string(sheet, row, 5, protect.constData(), nullptr);
        worksheet_write_number(sheet, row, 6, R.Output ? 1 : 0, nullptr);
        if (R.Thinned) {
            const double ranges[6] = {R.URange.Min / 100.0,  R.URange.Max / 100.0,
                                      R.IRange.Min / iScale, R.IRange.Max / iScale,
                                      R.PRange.Min / 100.0,  R.PRange.Max / 100.0};
            for (lxw_col_t c = 0; c < 6; ++c)
                worksheet_write_number(sheet, row, 7 + c, ranges[c],
                                       c == 2 || c == 3 ? amps : volts);
        }
        ++row;
        return true;
    });
    if (!sheet) {  // nothing in the stretch: the headings alone
        sheet = workbook_add_worksheet(book, "History");
        for (lxw_col_t c = 0; c < static_cast<lxw_col_t>(headings.size()); ++c)
            worksheet_write_string(sheet, 0, c, headings[c].toUtf8().constData(), nullptr);
    }
    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR) return QString::fromUtf8(lxw_strerror(error));
    return {};
}

#else

QString WriteWorkbook(const QByteArray&, const TSessionHistory&, const THistoryExport&) {
    return QStringLiteral("this program was built without spreadsheet support");
}

#endif

}  // namespace

QString HistoryCsvHeading() {
    return QStringLiteral(
        "time,uout,iout,power,mode,protect,output,uout_min,uout_max,iout_min,iout_max,power_min,"
        "power_max");
}

QString SaveHistory(const QString& APath, THistoryFormat AFormat, const TSessionHistory& AHistory,
                    const THistoryExport& AOptions) {
    const QString error = SaveFile(APath, [&](const QString& ATemp) {
        return AFormat == hfXlsx ? WriteWorkbook(QFile::encodeName(ATemp), AHistory, AOptions)
                                 : WriteCsv(ATemp, AHistory, AOptions);
    });
    return error.isEmpty() ? QString() : CannotWrite(APath, error);
}
