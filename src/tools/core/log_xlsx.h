#pragma once
// The log as an .xlsx workbook, written by the program itself with libxlsxwriter: row 1 the
// headings "Time", "Uset", "Iset", "Uout", "Iout", "Pout"; one row per record with the time as
// text and the five values as numbers in the number format "0.00" ("0.000" when the current
// unit is 0.001 A); the sheet named by the caller.

#include <QLocale>
#include <QString>
#include <cstdint>

#include "tools/core/data_logger.h"

// True when the program was built with libxlsxwriter, so the spreadsheet format is offered.
bool SpreadsheetOffered();

// Saves the workbook to APath as every save does (save_file.h). A sheet name the format refuses
// leaves the default name. Returns the reason of a failure, empty on success.
QString SaveXlsxLog(const QString& APath, const TLogList& ARecords, uint32_t ACurrentDiv,
                    const QString& ASheetName, const QLocale& ALocale);
