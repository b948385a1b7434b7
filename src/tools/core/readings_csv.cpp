#include "tools/core/readings_csv.h"

#include <QList>
#include <QStringList>
#include <cmath>
#include <iterator>

#include "session/reading.h"

namespace {

QString Fixed(uint32_t AValue, int ADecimals) {
    uint32_t scale = 1;
    for (int i = 0; i < ADecimals; ++i)
        scale *= 10;
    return QString::number(AValue / scale) + "." +
           QString::number(AValue % scale).rightJustified(ADecimals, '0');
}

// A decimal in units of 10^-ADecimals, rounded; nothing when it is not a number that fits.
std::optional<uint32_t> Units(const QByteArray& AText, int ADecimals) {
    bool ok = false;
    const double value = AText.trimmed().toDouble(&ok);
    if (!ok) return std::nullopt;
    const double units = std::round(value * std::pow(10.0, ADecimals));
    if (!(units >= 0 && units <= 4294967295.0)) return std::nullopt;
    return static_cast<uint32_t>(units);
}

}  // namespace

TReadingRow ReadingRowOf(const TReading& AReading) {
    TReadingRow row;
    row.Time = QDateTime::fromMSecsSinceEpoch(AReading.TimeMs);
    row.Uset = AReading.Uset;
    row.Iset = AReading.Iset;
    row.Uout = AReading.Uout;
    row.Iout = AReading.Iout;
    row.Power = AReading.Power;
    row.Uin = AReading.Uin;
    row.ConstantCurrent = AReading.Cvcc == 1;
    row.Protect = AReading.Protect;
    row.Output = AReading.OnOff != 0;
    return row;
}

QString CsvTimestamp(const QDateTime& ATime) {
    // A local time carries its offset; Qt writes Z for UTC itself.
    const QDateTime t =
        ATime.timeSpec() == Qt::LocalTime ? ATime.toOffsetFromUtc(ATime.offsetFromUtc()) : ATime;
    return t.toString(Qt::ISODateWithMs);
}

QString ProtectionName(uint32_t ACode) {
    static const char* const kNames[] = {"none", "OVP", "OCP", "OPP", "TIM", "OHP",
                                         "BAT",  "END", "EVP", "ECP", "VIN", "EPR"};
    if (ACode < std::size(kNames)) return kNames[ACode];
    return "E" + QString::number(ACode);
}

int CurrentDecimalsOf(uint32_t ACurrentDiv) {
    return ACurrentDiv == 10 ? 3 : 2;
}

QStringList ReadingsCsvCells(const TReadingRow& ARow, uint32_t ACurrentDiv) {
    const int amps = CurrentDecimalsOf(ACurrentDiv);
    return {Fixed(ARow.Uset, 2),
            Fixed(ARow.Iset, amps),
            Fixed(ARow.Uout, 2),
            Fixed(ARow.Iout, amps),
            Fixed(ARow.Power, 2),
            Fixed(ARow.Uin, 2),
            ARow.ConstantCurrent ? "CC" : "CV",
            ProtectionName(ARow.Protect),
            ARow.Output ? "1" : "0"};
}

QString ReadingsCsvRow(const TReadingRow& ARow, uint32_t ACurrentDiv) {
    return (QStringList{CsvTimestamp(ARow.Time)} + ReadingsCsvCells(ARow, ACurrentDiv)).join(',');
}

std::optional<TReadingRow> ParseReadingsCsvRow(const QByteArray& ALine, int* ACurrentDecimals) {
    const QList<QByteArray> f = ALine.trimmed().split(',');
    if (f.size() < 6) return std::nullopt;
    TReadingRow row;
    const QString time = QString::fromLatin1(f[0].trimmed());
    row.Time = QDateTime::fromString(time, Qt::ISODateWithMs);
    if (row.Time.isValid()) {
        if (f.size() != 10) return std::nullopt;  // a torn line
    } else {
        // The earlier form: the time of day and six columns.
        const QTime ofDay = QTime::fromString(time, "HH:mm:ss");
        if (!ofDay.isValid() || f.size() != 6) return std::nullopt;  // the heading, torn
        row.Time = QDateTime(QDate(), ofDay);
    }
    const qsizetype point = f[2].indexOf('.');
    const int amps = point >= 0 && f[2].trimmed().size() - point - 1 == 3 ? 3 : 2;
    const auto uset = Units(f[1], 2);
    const auto iset = Units(f[2], amps);
    const auto uout = Units(f[3], 2);
    const auto iout = Units(f[4], amps);
    const auto power = Units(f[5], 2);
    if (!uset || !iset || !uout || !iout || !power) return std::nullopt;
    row.Uset = *uset;
    row.Iset = *iset;
    row.Uout = *uout;
    row.Iout = *iout;
    row.Power = *power;
    if (f.size() == 10) {
        const auto uin = Units(f[6], 2);
        if (!uin) return std::nullopt;
        row.Uin = *uin;
        row.ConstantCurrent = f[7].trimmed() == "CC";
        const QByteArray protect = f[8].trimmed();
        for (uint32_t code = 0; code < 256; ++code)
            if (ProtectionName(code).toLatin1() == protect) {
                row.Protect = code;
                break;
            }
        row.Output = f[9].trimmed() == "1";
    }
    if (ACurrentDecimals) *ACurrentDecimals = amps;
    return row;
}
