#include "tools/core/log_files.h"

#include <QFile>
#include <QList>
#include <cmath>

QString LogTimeFormat(const QLocale& ALocale) {
    // Long formats on this platform carry the time zone ("t" ... "tttt"); the log shows the
    // time of day only.
    QString format = ALocale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == '\'') quoted = !quoted;
        if (!quoted && c == 't') continue;
        result += c;
    }
    result = result.trimmed();
    return result.isEmpty() ? QStringLiteral("HH:mm:ss") : result;
}

QString LogTimeText(double ADayFraction, const QLocale& ALocale) {
    return ALocale.toString(TimeOfDay(ADayFraction), LogTimeFormat(ALocale));
}

QString LogNameStamp(const QDateTime& AWhen, const QLocale& ALocale) {
    // Month names ("MMM", "MMMM") become month numbers, weekday names ("ddd", "dddd") go.
    QString format;
    const QString shortDate = ALocale.dateFormat(QLocale::ShortFormat);
    bool quoted = false;
    for (qsizetype i = 0; i < shortDate.size();) {
        const QChar c = shortDate[i];
        qsizetype run = 1;
        while (i + run < shortDate.size() && shortDate[i + run] == c)
            ++run;
        if (c == '\'') quoted = !quoted;
        if (!quoted && c == 'M' && run >= 3)
            format += QStringLiteral("MM");
        else if (!(!quoted && c == 'd' && run >= 3))
            format += shortDate.mid(i, run);
        i += run;
    }
    const QString stamp = ALocale.toString(AWhen.date(), format) + "_" +
                          ALocale.toString(AWhen.time(), LogTimeFormat(ALocale));
    QString name;
    for (const QChar c : stamp) {
        const bool digit = c >= '0' && c <= '9';
        // Runs of other characters make one '_'.
        if (digit)
            name += c;
        else if (!name.isEmpty() && !name.endsWith('_'))
            name += '_';
    }
    while (name.endsWith('_'))
        name.chop(1);
    return name;
}

namespace {
QString Number(double AValue, int AWidth, int ADecimals, const QLocale& ALocale) {
    return ALocale.toString(AValue, 'f', ADecimals).rightJustified(AWidth, ' ');
}

double CurrentScale(uint32_t ACurrentDiv) {
    return ACurrentDiv == 10 ? 1000.0 : 100.0;
}
int CurrentDecimals(uint32_t ACurrentDiv) {
    return ACurrentDiv == 10 ? 3 : 2;
}
}  // namespace

int LogTimeWidth(const QLocale& ALocale) {
    // The widest time of the day in this locale ("10:59:59 PM" is wider than "9:59:59 PM").
    const QString format = LogTimeFormat(ALocale);
    qsizetype width = 0;
    for (int hour = 0; hour < 24; ++hour)
        width = std::max(width, ALocale.toString(QTime(hour, 59, 59), format).size());
    return static_cast<int>(width);
}

QString TextLogHeading(const QLocale& ALocale) {
    const QString heading = QString::fromLatin1(kTextLogHeading);
    // "Time" and its blanks stand over the time column (8 characters for "HH:mm:ss").
    return QStringLiteral("Time").leftJustified(LogTimeWidth(ALocale) + 3) + heading.mid(11);
}

QString TextLogLine(const TLogRecord& ARecord, uint32_t ACurrentDiv, const QLocale& ALocale) {
    const double scale = CurrentScale(ACurrentDiv);
    const int decimals = CurrentDecimals(ACurrentDiv);
    return LogTimeText(ARecord.Time, ALocale).leftJustified(LogTimeWidth(ALocale)) + "  " +
           Number(ARecord.Uset / 100.0, 5, 2, ALocale) + "  " +
           Number(ARecord.Iset / scale, 5, decimals, ALocale) + "  " +
           Number(ARecord.Uout / 100.0, 5, 2, ALocale) + "  " +
           Number(ARecord.Iout / scale, 5, decimals, ALocale) + "  " +
           Number(ARecord.Pout / 100.0, 6, 2, ALocale) + "  ";
}

QByteArray TextLogBytes(const TLogList& ARecords, uint32_t ACurrentDiv, const QLocale& ALocale) {
    QString text = TextLogHeading(ALocale) + "\r\n";
    for (const TLogRecord& record : ARecords)
        text += TextLogLine(record, ACurrentDiv, ALocale) + "\r\n";
    return text.toLocal8Bit();
}

TReadingRow ReadingRowOf(const TLogRecord& ARecord) {
    TReadingRow row;
    row.Time = ARecord.Stamp.isValid() ? ARecord.Stamp
                                       : QDateTime(QDate::currentDate(), TimeOfDay(ARecord.Time));
    row.Uset = ARecord.Uset;
    row.Iset = ARecord.Iset;
    row.Uout = ARecord.Uout;
    row.Iout = ARecord.Iout;
    row.Power = ARecord.Pout;
    row.Uin = ARecord.Uin;
    row.ConstantCurrent = ARecord.ConstantCurrent;
    row.Protect = ARecord.Protect;
    row.Output = ARecord.Output;
    return row;
}

TLogRecord LogRecordOf(const TReadingRow& ARow) {
    const auto cell = [](uint32_t AValue) { return static_cast<uint16_t>(AValue); };
    TLogRecord record;
    // The time of day where the record was made.
    const bool dated = ARow.Time.date().isValid();
    record.Time = DayFraction(dated ? ARow.Time.toLocalTime().time() : ARow.Time.time());
    if (dated) record.Stamp = ARow.Time;
    record.Uset = cell(ARow.Uset);
    record.Iset = cell(ARow.Iset);
    record.Uout = cell(ARow.Uout);
    record.Iout = cell(ARow.Iout);
    record.Pout = cell(ARow.Power);
    record.Uin = cell(ARow.Uin);
    record.ConstantCurrent = ARow.ConstantCurrent;
    record.Protect = cell(ARow.Protect);
    record.Output = ARow.Output;
    return record;
}

QString CsvLogLine(const TLogRecord& ARecord, uint32_t ACurrentDiv) {
    return ReadingsCsvRow(ReadingRowOf(ARecord), ACurrentDiv);
}

QByteArray CsvLogBytes(const TLogList& ARecords, uint32_t ACurrentDiv) {
    QByteArray bytes = QByteArray(kReadingsCsvHeader) + "\n";
    for (const TLogRecord& record : ARecords)
        bytes += CsvLogLine(record, ACurrentDiv).toUtf8() + "\n";
    return bytes;
}

TParsedLog ParseCsvLog(const QByteArray& ABytes) {
    TParsedLog log;
    bool divKnown = false;
    for (const QByteArray& line : ABytes.split('\n')) {
        int decimals = 2;
        const std::optional<TReadingRow> row = ParseReadingsCsvRow(line, &decimals);
        if (!row) continue;
        if (!divKnown) {
            log.CurrentDiv = decimals == 3 ? 10 : 1;
            divKnown = true;
        }
        if (row->Uset > 65535 || row->Iset > 65535 || row->Uout > 65535 || row->Iout > 65535 ||
            row->Power > 65535)
            continue;
        log.Records.push_back(LogRecordOf(*row));
    }
    return log;
}
