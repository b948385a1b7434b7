#include "session/typed_values.h"

#include <QStringList>

namespace {

constexpr uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

bool AllDigits(const QString& AText) {
    for (QChar c : AText)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::optional<TDecimal> ParseDecimal(const QString& AText) {
    const QString text = AText.trimmed();
    const qsizetype dot = text.indexOf('.');
    const QString whole = dot < 0 ? text : text.left(dot);
    const QString frac = dot < 0 ? QString() : text.mid(dot + 1);
    if (whole.isEmpty() && frac.isEmpty()) return std::nullopt;
    if (!AllDigits(whole) || !AllDigits(frac) || whole.size() > 9) return std::nullopt;
    return TDecimal{whole.isEmpty() ? 0 : whole.toULongLong(), frac, text};
}

bool IsNegativeDecimal(const QString& AText) {
    const QString text = AText.trimmed();
    return text.startsWith('-') && ParseDecimal(text.mid(1)).has_value();
}

uint64_t ToUnits(const TDecimal& AValue, int ADecimals) {
    const int d = ADecimals < 0 ? 0 : (ADecimals > 6 ? 6 : ADecimals);
    uint64_t units = AValue.Whole * kPow10[d];
    for (int k = 0; k < d; ++k) {
        const int digit = k < AValue.Fraction.size() ? AValue.Fraction[k].digitValue() : 0;
        units += static_cast<uint64_t>(digit) * kPow10[d - 1 - k];
    }
    // Half up: the rest is at least one half exactly when its first digit is 5 or more.
    if (d < AValue.Fraction.size() && AValue.Fraction[d].digitValue() >= 5) ++units;
    return units;
}

std::optional<uint32_t> ParseHoursMinutes(const QString& AText) {
    const QString text = AText.trimmed();
    const QStringList parts = text.split(':');
    if (parts.size() == 1) {
        if (text.isEmpty() || !AllDigits(text) || text.size() > 6) return std::nullopt;
        return text.toUInt();
    }
    if (parts.size() != 2) return std::nullopt;
    const QString& h = parts[0];
    const QString& m = parts[1];
    if (h.isEmpty() || m.size() != 2 || !AllDigits(h) || !AllDigits(m) || h.size() > 4)
        return std::nullopt;
    const uint32_t minutes = m.toUInt();
    if (minutes >= 60) return std::nullopt;
    return h.toUInt() * 60 + minutes;
}

std::optional<int64_t> ParseWhole(const QString& AText, int64_t AMin, int64_t AMax) {
    const QString text = AText.trimmed();
    if (text.isEmpty() || text.size() > 12 || !AllDigits(text)) return std::nullopt;
    const int64_t value = text.toLongLong();
    if (value < AMin || value > AMax) return std::nullopt;
    return value;
}

std::optional<uint32_t> ParsePresetNumber(const QString& AText) {
    const QString text = AText.trimmed().toUpper();
    if (text.size() == 2 && (text[0] == 'M' || text[0] == 'C') && text[1].isDigit())
        return static_cast<uint32_t>(text[1].digitValue() + (text[0] == 'C' ? 10 : 0));
    const auto n = ParseWhole(text, 0, 19);
    if (!n) return std::nullopt;
    return static_cast<uint32_t>(*n);
}

QString FormatUnits(uint64_t AValue, int ADecimals) {
    if (ADecimals <= 0) return QString::number(AValue);
    const uint64_t p = kPow10[ADecimals > 6 ? 6 : ADecimals];
    return QString::number(AValue / p) + "." +
           QString("%1").arg(AValue % p, ADecimals, 10, QChar('0'));
}
