#include "maintenance/advanced_rules.h"

#include <algorithm>

#include <array>

namespace {

QChar Digit(uint32_t AValue, uint32_t AWeight) {
    return QChar(static_cast<char16_t>(u'0' + (AValue / AWeight) % 10));
}

}  // namespace

QString CalibValueText(uint32_t AValue, uint32_t APointPos, const QString& AUnit) {
    if (AValue > 99999) return QStringLiteral("-----") + AUnit;
    QString text;
    const uint32_t top = AValue / 10000;
    text += top == 0 && APointPos == 4 ? QChar(u' ') : Digit(AValue, 10000);
    if (APointPos == 5) text += QChar(u'.');
    text += Digit(AValue, 1000);
    if (APointPos == 4) text += QChar(u'.');
    text += Digit(AValue, 100);
    text += Digit(AValue, 10);
    text += Digit(AValue, 1);
    return text + AUnit;
}

QString CalibTemperatureText(uint32_t AValue) {
    return QString::number(AValue) + QStringLiteral(" C ");
}

QString CalibPanelText(int AIndex, uint32_t AValue, uint32_t ACurrentPointPos) {
    if (AIndex == cpTmp2) return CalibTemperatureText(AValue);
    if (AIndex == cpIout1 || AIndex == cpIout2)
        return CalibValueText(AValue, ACurrentPointPos, QStringLiteral(" A "));
    return CalibValueText(AValue, 4, QStringLiteral(" V "));
}

TCalibRange CalibPointRange(int AIndex, uint32_t AMaxUset, uint32_t AMaxIset) {
    constexpr uint64_t kPanelMax = 99999;
    auto range = [&](uint64_t AMax) {
        return TCalibRange{1, static_cast<uint32_t>(std::min(AMax, kPanelMax))};
    };
    switch (AIndex) {
        case cpUin1:
        case cpUin2:
            return range(uint64_t{AMaxUset} * 12 + 5000);
        case cpUout1:
        case cpUout2:
            return range(uint64_t{AMaxUset} * 11);
        case cpIout1:
        case cpIout2:
            return range(uint64_t{AMaxIset} * 11);
        case cpTmp2:
            return {10, 150};
        default:
            return {1, 1};
    }
}

QString BatteryValueText(uint32_t AValue) {
    if (AValue > 9999) return QStringLiteral("-----");
    QString text;
    text += AValue / 1000 == 0 ? QChar(u' ') : Digit(AValue, 1000);
    text += Digit(AValue, 100);
    text += QChar(u'.');
    text += Digit(AValue, 10);
    text += Digit(AValue, 1);
    return text + QStringLiteral(" V ");
}

int BatteryCharge(uint32_t AUin, uint32_t AMins, uint32_t AMaxs) {
    if (AUin < AMins) return 0;
    if (AUin > AMaxs) return 100;
    // Here AMins <= AUin <= AMaxs, so the span is not negative; zero only when both are equal.
    if (AMaxs == AMins) return 100;
    return static_cast<int>(uint64_t{AUin - AMins} * 100u / (AMaxs - AMins));
}

const std::vector<TCellPreset>& CellPresets() {
    static const std::vector<TCellPreset> presets = {
        {"6 Cells", 2520, 1800},  {"8 Cells", 3360, 2400},  {"10 cells", 4200, 3000},
        {"12 Cells", 5040, 3600}, {"14 Cells", 5880, 4200},
    };
    return presets;
}

int CellPresetIndex(uint32_t AMaxs) {
    const auto& presets = CellPresets();
    for (size_t i = 0; i < presets.size(); ++i) {
        if (presets[i].Full == AMaxs) return static_cast<int>(i);
    }
    return -1;
}

std::vector<TCurrentRange> CurrentRanges(uint32_t AModel, uint32_t AMaxIset, uint32_t ACurrentDiv) {
    // Amperes of each model's ranges, highest first.
    std::vector<uint32_t> amps;
    switch (AModel) {
        case 3003:
            amps = {3, 2};
            break;
        case 3005:
        case 5005:
        case 8005:
            amps = {5, 3, 2};
            break;
        case 3012:
            amps = {10, 8, 5, 3};
            break;
        case 5015:
            amps = {15, 10, 8, 5, 3};
            break;
        case 5020:
            amps = {20, 15, 10, 8, 5, 3};
            break;
        default: {
            // Not in the table: the usual points up to 10 A, the fuse rating of a typical
            // meter's current input, and never above the model's maximum.
            const uint32_t whole = AMaxIset / (ACurrentDiv == 10 ? 1000u : 100u);
            for (uint32_t a : {10u, 8u, 5u, 3u, 2u})
                if (a <= whole) amps.push_back(a);
            if (amps.empty() && whole >= 1) amps = {1};
            break;
        }
    }
    std::vector<TCurrentRange> ranges;
    for (uint32_t a : amps)
        ranges.push_back({QString::number(a) + QStringLiteral("A"), a * 100});
    return ranges;
}

const std::vector<TNamedColor>& NamedColors() {
    // Colour cells are 0x00BBGGRR.
    static const std::vector<TNamedColor> colors = {
        {"Black", 0x000000}, {"Maroon", 0x000080},      {"Green", 0x008000},
        {"Olive", 0x008080}, {"Navy", 0x800000},        {"Purple", 0x800080},
        {"Teal", 0x808000},  {"Gray", 0x808080},        {"Silver", 0xC0C0C0},
        {"Red", 0x0000FF},   {"Lime", 0x00FF00},        {"Yellow", 0x00FFFF},
        {"Blue", 0xFF0000},  {"Fuchsia", 0xFF00FF},     {"Aqua", 0xFFFF00},
        {"White", 0xFFFFFF}, {"Money Green", 0xC0DCC0}, {"Sky Blue", 0xF0CAA6},
        {"Cream", 0xF0FBFF}, {"Medium Gray", 0xA4A0A0},
    };
    return colors;
}

QString CustomColorName(TColor AColor) {
    return QStringLiteral("RGB ") +
           QString::number(AColor & 0xFFFFFF, 16).toUpper().rightJustified(6, QChar(u'0'));
}

bool OutputFellForWait(uint32_t AStartUout, uint32_t AUout) {
    return AUout < AStartUout && AStartUout - AUout > 100;
}
