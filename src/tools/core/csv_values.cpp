#include "tools/core/csv_values.h"

bool ParseFixed(const QByteArray& AText, int ADecimals, uint32_t& AValue) {
    const QByteArray text = AText.trimmed();
    if (text.isEmpty()) return false;
    const int point = text.indexOf('.');
    const QByteArray whole = point < 0 ? text : text.left(point);
    QByteArray fraction = point < 0 ? QByteArray() : text.mid(point + 1);
    if (fraction.size() > ADecimals) return false;
    if (whole.isEmpty() && fraction.isEmpty()) return false;
    for (char c : whole + fraction)
        if (c < '0' || c > '9') return false;
    if (whole.size() > 6) return false;
    fraction = fraction.leftJustified(ADecimals, '0');
    uint64_t value = whole.isEmpty() ? 0 : whole.toULongLong();
    for (int i = 0; i < ADecimals; ++i)
        value *= 10;
    value += fraction.isEmpty() ? 0 : fraction.toULongLong();
    AValue = static_cast<uint32_t>(value);
    return true;
}

bool StartsWithNumber(const QByteArray& ALine) {
    const QByteArray t = ALine.trimmed();
    return !t.isEmpty() && ((t[0] >= '0' && t[0] <= '9') || t[0] == '.' || t[0] == '-');
}

QString FixedCellProblem(const char* AName, const QByteArray& AText, const char* AExpected) {
    const QByteArray text = AText.trimmed();
    const QString cell = QString(AName) + " \"" + QString::fromUtf8(text) + "\" ";
    uint32_t magnitude = 0;
    if (text.startsWith('-') && text.size() > 1 && ParseFixed(text.mid(1), 6, magnitude))
        return cell + "is negative; give " + AExpected;
    return cell + "is not " + AExpected;
}

bool ParseEnabled(const QByteArray& AText, bool& AValue) {
    const QByteArray t = AText.trimmed().toLower();
    if (t == "1" || t == "true" || t == "yes" || t == "on") return AValue = true, true;
    if (t == "0" || t == "false" || t == "no" || t == "off") return AValue = false, true;
    return false;
}
