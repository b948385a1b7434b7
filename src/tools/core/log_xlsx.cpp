#include "tools/core/log_xlsx.h"

#include <QFile>
#include <cerrno>
#include <cstring>

#include "tools/core/log_files.h"
#include "tools/core/save_file.h"

#ifdef BENCHLORD_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

#ifdef BENCHLORD_HAVE_XLSXWRITER

bool SpreadsheetOffered() {
    return true;
}

namespace {
QString WriteWorkbook(const QByteArray& APath, const TLogList& ARecords, uint32_t ACurrentDiv,
                      const QString& ASheetName, const QLocale& ALocale) {
    lxw_workbook* book = workbook_new(APath.constData());
    if (!book) return QString::fromLocal8Bit(std::strerror(errno));
    // The name is checked by the library; a refused one leaves "Sheet1".
    const QByteArray sheetName = ASheetName.toUtf8();
    lxw_worksheet* sheet = workbook_validate_sheet_name(book, sheetName.constData()) == LXW_NO_ERROR
                               ? workbook_add_worksheet(book, sheetName.constData())
                               : nullptr;
    if (!sheet) sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* number = workbook_add_format(book);
    format_set_num_format(number, ACurrentDiv == 1 ? "0.00" : "0.000");

    static const char* const kHeadings[] = {"Time", "Uset", "Iset", "Uout", "Iout", "Pout"};
    for (lxw_col_t col = 0; col < 6; ++col)
        worksheet_write_string(sheet, 0, col, kHeadings[col], nullptr);
    const double currentScale = ACurrentDiv == 10 ? 1000.0 : 100.0;
    lxw_row_t row = 1;
    for (const TLogRecord& r : ARecords) {
        worksheet_write_string(sheet, row, 0, LogTimeText(r.Time, ALocale).toUtf8().constData(),
                               nullptr);
        const double values[5] = {r.Uset / 100.0, r.Iset / currentScale, r.Uout / 100.0,
                                  r.Iout / currentScale, r.Pout / 100.0};
        for (lxw_col_t col = 1; col <= 5; ++col)
            worksheet_write_number(sheet, row, col, values[col - 1], number);
        ++row;
    }
    worksheet_set_column(sheet, 0, 0, 12, nullptr);
    errno = 0;
    const lxw_error error = workbook_close(book);
    if (error == LXW_NO_ERROR) return {};
    // The system's reason where there is one (a full disk), else the library's.
    if (errno != 0) return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(lxw_strerror(error));
}
}  // namespace

QString SaveXlsxLog(const QString& APath, const TLogList& ARecords, uint32_t ACurrentDiv,
                    const QString& ASheetName, const QLocale& ALocale) {
    // The library writes the file when the workbook closes; it goes to a temporary name beside
    // the target first, so a failure never leaves a half-written workbook under the chosen name.
    return SaveFile(APath, [&](const QString& ATemp) {
        return WriteWorkbook(QFile::encodeName(ATemp), ARecords, ACurrentDiv, ASheetName, ALocale);
    });
}

#else

bool SpreadsheetOffered() {
    return false;
}

QString SaveXlsxLog(const QString&, const TLogList&, uint32_t, const QString&, const QLocale&) {
    return QStringLiteral("This program was built without spreadsheet support");
}

#endif
