#pragma once
// The one CSV form of the supply's readings, written by every file of rows (benchlordctl's watch
// and sequence logs, the autotest's recovery copy); the history export writes its own columns
// with the same cells:
//
//     time,uset,iset,uout,iout,power,uin,mode,protect,output
//     2024-05-01T12:00:00.123+02:00,5.00,1.000,4.98,0.998,4.97,24.00,CV,none,1
//
// The column names are those of `read --json`. The time is ISO 8601 with the date, milliseconds
// and the local offset (Z at UTC); voltages and power have two decimals, currents the model's
// (three where its unit is 0.001 A); mode is CV or CC, protect "none" or the protection's name
// (OVP, OCP, ...), output 1 or 0. Rows end with '\n'.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

struct TReading;

inline constexpr char kReadingsCsvHeader[] =
    "time,uset,iset,uout,iout,power,uin,mode,protect,output";

// One row: the fixed-point cells as the device holds them (0.01 V, the current unit, 0.01 W).
struct TReadingRow {
    QDateTime Time;
    uint32_t Uset = 0;
    uint32_t Iset = 0;
    uint32_t Uout = 0;
    uint32_t Iout = 0;
    uint32_t Power = 0;
    uint32_t Uin = 0;
    bool ConstantCurrent = false;
    uint32_t Protect = 0;  // protection code, 0 none
    bool Output = false;
    bool operator==(const TReadingRow&) const = default;
};

// The row of a live reading, stamped with the time its reply arrived (local time). Every log
// row is made here: plan, charge, sequence and watch logs, and the window's logs.
TReadingRow ReadingRowOf(const TReading& AReading);

// 2024-05-01T12:00:00.123+02:00 for a local time, ...Z for UTC.
QString CsvTimestamp(const QDateTime& ATime);
// "none" for 0, "OVP" ... "EPR", "E12" for codes the firmware does not name.
QString ProtectionName(uint32_t ACode);
// 2 decimals, or 3 where the current unit is 0.001 A (ACurrentDiv 10).
int CurrentDecimalsOf(uint32_t ACurrentDiv);

// One row without its line end.
QString ReadingsCsvRow(const TReadingRow& ARow, uint32_t ACurrentDiv);
// Its cells after the time (uset ... output), for files that put several supplies in a row.
QStringList ReadingsCsvCells(const TReadingRow& ARow, uint32_t ACurrentDiv);

// A row read back. The earlier form of the autotest's recovery copy (a time of day, then uset,
// iset, uout, iout and power) reads too, with the date left invalid. ACurrentDecimals gets the
// decimals of the iset column. Nothing for the heading, a torn line or a value that does not fit.
std::optional<TReadingRow> ParseReadingsCsvRow(const QByteArray& ALine,
                                               int* ACurrentDecimals = nullptr);
