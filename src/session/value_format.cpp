#include "session/value_format.h"

#include <string>

namespace {

// Weights of digit positions 1..6 (index 0 unused).
constexpr uint32_t kDecimalWeights[7] = {0, 1, 10, 100, 1000, 10000, 100000};
constexpr uint32_t kMinuteWeights[7] = {0, 1, 10, 60, 600, 6000, 60000};

bool IsNumberChar(char c) {
    return c == '+' || c == '-' || (c >= '0' && c <= '9');
}

// Converts an optionally signed decimal run; false when it is not a number or leaves int32.
bool ConvertRun(std::string_view run, int32_t& out) {
    bool negative = false;
    if (!run.empty() && (run.front() == '+' || run.front() == '-')) {
        negative = run.front() == '-';
        run.remove_prefix(1);
    }
    if (run.empty()) return false;
    int64_t value = 0;
    for (char c : run) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > int64_t{INT32_MAX} + 1) return false;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    out = static_cast<int32_t>(value);
    return true;
}

}  // namespace

QString FormatFixedPoint(uint32_t value, uint32_t pointPos) {
    const uint32_t p = pointPos == 0 ? 1 : pointPos;
    // Built in place: this runs for several read-outs of every reading.
    char text[24];
    size_t n = 0;
    uint32_t rest = value;
    for (uint32_t i = 6; i >= 1; --i) {
        uint32_t d = rest / kDecimalWeights[i];
        rest -= d * kDecimalWeights[i];
        if (i <= p || d != 0 || n > 0) {
            // The leading position takes what is above six digits, as a number of its own.
            char digits[11];
            size_t k = 0;
            do {
                digits[k++] = static_cast<char>('0' + d % 10);
                d /= 10;
            } while (d != 0);
            while (k > 0)
                text[n++] = digits[--k];
        }
        if (i == p && i > 1) text[n++] = '.';
    }
    return QString::fromLatin1(text, static_cast<qsizetype>(n));
}

QString FormatHoursMinutes(uint32_t minutes) {
    QString text;
    uint32_t rest = minutes;
    for (uint32_t i = 6; i >= 1; --i) {
        const uint32_t d = rest / kMinuteWeights[i];
        rest -= d * kMinuteWeights[i];
        if (i <= 3 || d != 0 || !text.isEmpty()) text += QString::number(d);
        if (i == 3) text += QLatin1Char(':');
    }
    return text;
}

int ScanFormatted(std::string_view text, std::string_view format, int32_t* targets, int count) {
    int converted = 0;
    size_t t = 0;
    // The loop looks one character ahead for conversions, so the format's last character is
    // never taken as a literal.
    for (size_t f = 0; f + 1 < format.size() && converted < count;) {
        const char c = format[f];
        if (c == '%' && format[f + 1] == 'd') {
            while (t < text.size() && text[t] == ' ')
                ++t;
            size_t end = t;
            while (end < text.size() && IsNumberChar(text[end]))
                ++end;
            int32_t value = 0;
            if (!ConvertRun(text.substr(t, end - t), value)) break;
            targets[converted++] = value;
            t = end;
            f += 2;
        } else if (c == ' ') {
            ++f;
        } else {
            const size_t at = text.find(c, t);
            if (at == std::string_view::npos || at + 1 >= text.size()) break;
            t = at + 1;
            ++f;
        }
    }
    return converted;
}

int ScanFormatted(const QString& text, const QString& format, int32_t* targets, int count) {
    const std::string t = text.toStdString();
    const std::string f = format.toStdString();
    return ScanFormatted(std::string_view(t), std::string_view(f), targets, count);
}
