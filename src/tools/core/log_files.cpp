#include "tools/core/log_files.h"

#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QSaveFile>
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

QString TextLogLine(const TLogRecord& ARecord, uint32_t ACurrentDiv, const QLocale& ALocale) {
    const double scale = CurrentScale(ACurrentDiv);
    const int decimals = CurrentDecimals(ACurrentDiv);
    return LogTimeText(ARecord.Time, ALocale) + "  " + Number(ARecord.Uset / 100.0, 5, 2, ALocale) +
           "  " + Number(ARecord.Iset / scale, 5, decimals, ALocale) + "  " +
           Number(ARecord.Uout / 100.0, 5, 2, ALocale) + "  " +
           Number(ARecord.Iout / scale, 5, decimals, ALocale) + "  " +
           Number(ARecord.Pout / 100.0, 6, 2, ALocale) + "  ";
}

QByteArray TextLogBytes(const TLogList& ARecords, uint32_t ACurrentDiv, const QLocale& ALocale) {
    QString text = QString::fromLatin1(kTextLogHeading) + "\r\n";
    for (const TLogRecord& record : ARecords)
        text += TextLogLine(record, ACurrentDiv, ALocale) + "\r\n";
    return text.toLocal8Bit();
}

QString CsvLogLine(const TLogRecord& ARecord, uint32_t ACurrentDiv) {
    const double scale = CurrentScale(ACurrentDiv);
    const int decimals = CurrentDecimals(ACurrentDiv);
    const auto num = [](double AValue, int ADecimals) {
        return QString::number(AValue, 'f', ADecimals);
    };
    return TimeOfDay(ARecord.Time).toString(QStringLiteral("HH:mm:ss")) + "," +
           num(ARecord.Uset / 100.0, 2) + "," + num(ARecord.Iset / scale, decimals) + "," +
           num(ARecord.Uout / 100.0, 2) + "," + num(ARecord.Iout / scale, decimals) + "," +
           num(ARecord.Pout / 100.0, 2);
}

QByteArray CsvLogBytes(const TLogList& ARecords, uint32_t ACurrentDiv) {
    QByteArray bytes = QByteArray(kCsvLogHeading) + "\n";
    for (const TLogRecord& record : ARecords)
        bytes += CsvLogLine(record, ACurrentDiv).toUtf8() + "\n";
    return bytes;
}

TParsedLog ParseCsvLog(const QByteArray& ABytes) {
    TParsedLog log;
    bool divKnown = false;
    for (const QByteArray& raw : ABytes.split('\n')) {
        const QList<QByteArray> fields = raw.trimmed().split(',');
        if (fields.size() != 6) continue;
        const QTime time = QTime::fromString(QString::fromLatin1(fields[0]), "HH:mm:ss");
        if (!time.isValid()) continue;  // the heading, or a torn last line
        if (!divKnown) {
            const int point = fields[2].indexOf('.');
            log.CurrentDiv = point >= 0 && fields[2].size() - point - 1 == 3 ? 10 : 1;
            divKnown = true;
        }
        const double currentScale = log.CurrentDiv == 10 ? 1000.0 : 100.0;
        uint16_t values[5];
        bool ok = true;
        for (int i = 0; i < 5 && ok; ++i) {
            const double v = fields[i + 1].toDouble(&ok);
            const double scaled = std::round(v * (i == 1 || i == 3 ? currentScale : 100.0));
            ok = ok && scaled >= 0 && scaled <= 65535;
            if (ok) values[i] = static_cast<uint16_t>(scaled);
        }
        if (!ok) continue;
        log.Records.push_back(
            {DayFraction(time), values[0], values[1], values[2], values[3], values[4]});
    }
    return log;
}

QString WriteFileAtomically(const QString& APath, const QByteArray& ABytes) {
    QSaveFile file(APath);
    if (!file.open(QIODevice::WriteOnly))
        return "Cannot write " + APath + ": " + file.errorString();
    if (file.write(ABytes) != ABytes.size() || !file.commit())
        return "Cannot write " + APath + ": " + file.errorString();
    return {};
}
