// The data logger: the event check's percentage rule, and the text, CSV and .xlsx files.

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "session/reading.h"
#include "session/settings_store.h"
#include "tools/core/data_logger.h"
#include "tools/core/log_files.h"
#include "tools/core/log_xlsx.h"

namespace {

// A log whose first record is a reading of 10.00 V 0.200 A set, 10.00 V 0.100 A out.
struct Logger {
    TReading data{1, 0, 1000, 200, 1000, 100};
    TDataLogger log{data};
    Logger() { log.WriteLogData(); }
    // The next reading came: its cells can be changed.
    TReading& Next() {
        ++data.Number;
        return data;
    }
};

TEST(DataLogger, EventCheckFiresByWholePercentOfTheLastSetValue) {
    {
        SCOPED_TRACE("1.5 % truncates to 1 and does not exceed >1%; 2.1 % does");
        Logger l;
        l.Next().Uout = 985;
        EXPECT_FALSE(l.log.CheckLogEvent(1, 6));
        l.Next().Uout = 979;
        EXPECT_TRUE(l.log.CheckLogEvent(1, 6));
        EXPECT_EQ(l.log.Records().size(), 2u);
        EXPECT_EQ(l.log.Records().back().Uout, 979);
    }
    {
        SCOPED_TRACE("<1% fires on any change, and only on a change");
        Logger l;
        l.Next();
        EXPECT_FALSE(l.log.CheckLogEvent(0, 6));
        l.Next().Uout = 999;
        EXPECT_TRUE(l.log.CheckLogEvent(0, 6));
    }
    {
        SCOPED_TRACE("the current list uses the last Iset: 0.100 -> 0.106 A of 0.200 is 3 %");
        Logger l;
        l.Next().Iout = 106;
        EXPECT_FALSE(l.log.CheckLogEvent(6, 3));
        EXPECT_TRUE(l.log.CheckLogEvent(6, 2));
    }
    {
        SCOPED_TRACE("no matter: only a set point change writes");
        Logger l;
        l.Next().Uout = 0;
        l.data.Iout = 0;
        EXPECT_FALSE(l.log.CheckLogEvent(6, 6));
        l.Next().Iset = 201;
        EXPECT_TRUE(l.log.CheckLogEvent(6, 6));
    }
    {
        SCOPED_TRACE("a last set value of 0 counts as one unit instead of dividing by zero");
        Logger l;
        l.Next().Uset = 0;
        l.log.WriteLogData();
        l.Next().Uout = 1001;
        EXPECT_TRUE(l.log.CheckLogEvent(5, 6));  // 1 unit of 1: 100 %
    }
    {
        SCOPED_TRACE("an empty log is never extended by the check");
        Logger l;
        l.log.ClearLogData();
        l.Next().Uset = 2000;
        EXPECT_FALSE(l.log.CheckLogEvent(0, 0));
        EXPECT_TRUE(l.log.Records().empty());
    }
    {
        SCOPED_TRACE("a reading that did not come makes no record, by time or by event");
        Logger l;
        l.data.Uout = 0;  // the cells change, but no reading came
        EXPECT_FALSE(l.log.WriteLogData());
        EXPECT_FALSE(l.log.CheckLogEvent(0, 0));
        EXPECT_EQ(l.log.Records().size(), 1u);
        // A fresh log may start with the last reading again.
        l.log.ClearLogData();
        EXPECT_TRUE(l.log.WriteLogData());
    }
}

TEST(DataLogger, OptionsReadTheirDefaultsAndRefuseOutOfRangeIndexes) {
    QTemporaryDir dir;
    TSettingsStore store(dir.filePath("DPS.ini"));
    EXPECT_EQ(TLogOptions::Load(store, true), TLogOptions{});
    EXPECT_EQ(TLogOptions{}.LogInterval(), 3);
    store.WriteInteger("LTIM", 40);
    store.WriteInteger("LUEV", 6);
    store.WriteInteger("EXCEL", 1);
    store.WriteInteger("LOG", 2);
    const TLogOptions read = TLogOptions::Load(store, true);
    EXPECT_EQ(read.IntervalIndex, 2);
    EXPECT_EQ(read.VoltageEvent, 6);
    EXPECT_TRUE(read.ByEvent);
    EXPECT_TRUE(read.Spreadsheet);
    EXPECT_FALSE(TLogOptions::Load(store, false).Spreadsheet);
    EXPECT_EQ(LogIntervalText(4), "Save every 5 sec.");
    EXPECT_EQ(LogIntervalText(13), "Save every 30 min.");
}

TEST(LogFiles, TextFileHasHeadingCrLfLinesAndTheLocaleSeparators) {
    const QLocale c = QLocale::c();
    EXPECT_EQ(TextLogBytes({}, 1, c), QByteArray(kTextLogHeading) + "\r\n");

    const TLogRecord r{DayFraction(QTime(9, 5, 7)), 500, 200, 498, 1234, 99};
    EXPECT_EQ(TextLogBytes({r}, 10, c), QByteArray(kTextLogHeading) + "\r\n" +
                                            "09:05:07   5.00  0.200   4.98  1.234    0.99  \r\n");
    const QLocale german(QLocale::German, QLocale::Germany);
    const QString line = TextLogLine(r, 1, german);
    EXPECT_TRUE(line.endsWith("   5,00   2,00   4,98  12,34    0,99  ")) << line.toStdString();
    EXPECT_TRUE(line.startsWith("09:05:07")) << line.toStdString();

    // A 12-hour locale: "9:05:07 AM" and "10:05:07 PM" differ in width; the columns still line
    // up under the heading.
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    TLogRecord late = r;
    late.Time = DayFraction(QTime(22, 5, 7));
    const QStringList lines = QString::fromLocal8Bit(TextLogBytes({r, late}, 1, us)).split("\r\n");
    ASSERT_EQ(lines.size(), 4);
    const qsizetype usetEnd = lines[0].indexOf("Uset") + 4;
    const qsizetype poutEnd = lines[0].indexOf("Pout") + 4;
    for (const QString& row : {lines[1], lines[2]}) {
        EXPECT_EQ(row.indexOf("5.00") + 4, usetEnd) << row.toStdString();
        EXPECT_EQ(row.indexOf("0.99") + 4, poutEnd) << row.toStdString();
    }
}

TLogRecord Recorded(const QDateTime& AWhen, uint16_t AUset, uint16_t AIset, uint16_t AUout,
                    uint16_t AIout, uint16_t APout) {
    TLogRecord r{DayFraction(AWhen.time()), AUset, AIset, AUout, AIout, APout};
    r.Stamp = AWhen;
    r.Uin = 2400;
    r.ConstantCurrent = true;
    r.Protect = 2;
    r.Output = true;
    return r;
}

TEST(LogFiles, DefaultNameHasTheMonthInEveryLocale) {
    const QDateTime when(QDate(2026, 12, 9), QTime(15, 35, 35));
    // The C locale writes the month as a word ("9 Dec 2026").
    EXPECT_EQ(LogNameStamp(when, QLocale::c()), "9_12_2026_15_35_35");
    for (const char* name : {"en_US", "de_DE", "ja_JP", "fr_FR"}) {
        const QString stamp = LogNameStamp(when, QLocale(name));
        EXPECT_TRUE(stamp.contains(QRegularExpression("(^|_)12(_|$)")) && stamp.contains("35"))
            << name << " " << stamp.toStdString();
    }
}

TEST(LogFiles, CsvLogIsTheReadingsFormAndReadsBackToTheSameRecords) {
    const TLogList records{
        Recorded(QDateTime(QDate(2026, 12, 9), QTime(23, 59, 59, 123)), 500, 2000, 498, 1999, 9950),
        Recorded(QDateTime(QDate(2026, 12, 10), QTime(0, 0, 1)), 1, 1, 0, 0, 65535)};
    for (uint32_t div : {1u, 10u}) {
        SCOPED_TRACE(div);
        QByteArray bytes = CsvLogBytes(records, div);
        EXPECT_TRUE(bytes.startsWith("time,uset,iset,uout,iout,power,uin,mode,protect,output\n"));
        bytes += "2026-12-10T00:00:02.000";  // a line torn by a crash
        const TParsedLog parsed = ParseCsvLog(bytes);
        EXPECT_EQ(parsed.CurrentDiv, div);
        EXPECT_EQ(parsed.Records, records);
    }
    TLogRecord utc = records[0];
    utc.Stamp = QDateTime(QDate(2026, 12, 9), QTime(8, 5, 7, 40), Qt::UTC);
    EXPECT_EQ(CsvLogLine(utc, 10),
              "2026-12-09T08:05:07.040Z,5.00,2.000,4.98,1.999,99.50,24.00,CC,OCP,1");

    // The recovery copy of an earlier version: a time of day and six columns.
    const TParsedLog earlier =
        ParseCsvLog("time,uset,iset,uout,iout,pout\n09:05:07,5.00,0.200,4.98,1.234,0.99\n");
    EXPECT_EQ(earlier.CurrentDiv, 10u);
    ASSERT_EQ(earlier.Records.size(), 1u);
    EXPECT_EQ(earlier.Records[0],
              (TLogRecord{DayFraction(QTime(9, 5, 7)), 500, 200, 498, 1234, 99}));
}

// Started through popen, not QProcess: Qt starts its children with clone(CLONE_VM | CLONE_VFORK),
// and ThreadSanitizer then runs its after-fork bookkeeping in memory the child shares with this
// process; from then on this thread's locks go unseen and later tests report false races.
QString Unzip(const QString& AFile, const QString& AMember) {
    // The temporary paths and member names hold no quote.
    const QByteArray command = QString("unzip -p '%1' '%2'").arg(AFile, AMember).toLocal8Bit();
    FILE* pipe = popen(command.constData(), "r");
    if (!pipe) return {};
    QByteArray out;
    char buffer[4096];
    while (const size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, static_cast<qsizetype>(n));
    pclose(pipe);
    return QString::fromUtf8(out);
}

TEST(LogFiles, XlsxWorkbookHoldsHeadingsNumbersAndTheSheetName) {
    if (!SpreadsheetOffered()) GTEST_SKIP() << "built without libxlsxwriter";
    QTemporaryDir dir;
    const QString path = dir.filePath("Log_1.xlsx");
    const TLogList records{{DayFraction(QTime(9, 5, 7)), 500, 200, 498, 1234, 99}};
    ASSERT_EQ(SaveXlsxLog(path, records, 10, "1282026090507", QLocale::c()), "");

    const QString workbook = Unzip(path, "xl/workbook.xml");
    EXPECT_TRUE(workbook.contains("name=\"1282026090507\"")) << workbook.toStdString();
    const QString strings = Unzip(path, "xl/sharedStrings.xml");
    for (const char* text : {"Time", "Uset", "Iset", "Uout", "Iout", "Pout", "09:05:07"})
        EXPECT_TRUE(strings.contains(QString("<t>") + text + "</t>")) << text;
    const QString sheet = Unzip(path, "xl/worksheets/sheet1.xml");
    for (const char* value :
         {"<v>5</v>", "<v>0.2</v>", "<v>4.98</v>", "<v>1.234</v>", "<v>0.99</v>"})
        EXPECT_TRUE(sheet.contains(value)) << value << "\n" << sheet.toStdString();
    EXPECT_TRUE(Unzip(path, "xl/styles.xml").contains("formatCode=\"0.000\""));

    // A name the format refuses leaves the default one; the export goes on.
    ASSERT_EQ(SaveXlsxLog(path, records, 1, "bad:name", QLocale::c()), "");
    EXPECT_TRUE(Unzip(path, "xl/workbook.xml").contains("name=\"Sheet1\""));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
