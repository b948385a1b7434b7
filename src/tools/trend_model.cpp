#include "tools/trend_model.h"

#include <QLocale>
#include <algorithm>
#include <cstdlib>

void TTrendModel::Clear() {
    fOscData.fill(TOscDataRecord{});
    fOscIdx = 0;
}

void TTrendModel::Sample(uint32_t AUout, uint32_t AIout, uint32_t ACurrentDiv) {
    TOscDataRecord& slot = fOscData[static_cast<size_t>(fOscIdx % kOscSamples)];
    slot.Volt = static_cast<uint16_t>(AUout & 0xFFFF);
    slot.Amper = static_cast<uint16_t>(AIout / (ACurrentDiv ? ACurrentDiv : 1));
    // Stays positive for 6.8 years of 10 samples a second; wrap back into the same slot phase
    // rather than overflow after that.
    fOscIdx =
        fOscIdx < INT32_MAX - kOscSamples ? fOscIdx + 1 : kOscSamples + 1 + fOscIdx % kOscSamples;
}

int TTrendModel::Count() const {
    return std::min(fOscIdx, static_cast<int32_t>(kOscSamples));
}

const TOscDataRecord& TTrendModel::Newest(int j) const {
    const int32_t slot = ((fOscIdx - 1 - j) % kOscSamples + kOscSamples) % kOscSamples;
    return fOscData[static_cast<size_t>(slot)];
}

int32_t MulDiv(int32_t ANumber, int32_t ANumerator, int32_t ADenominator) {
    if (ADenominator == 0) return -1;
    const int64_t product = static_cast<int64_t>(ANumber) * ANumerator;
    const int64_t div = std::llabs(ADenominator);
    const int64_t q = (std::llabs(product) + div / 2) / div;
    const bool negative = (product < 0) != (ADenominator < 0);
    return static_cast<int32_t>(negative ? -q : q);
}

int TraceHeight(int32_t AValue, int32_t AOffset, int32_t APerDiv) {
    int h = MulDiv(AValue + AOffset, kOscRowStep, APerDiv) + kOscRowStep;
    if (h > kOscHeight) h = kOscHeight;
    if (h < 1) h = 2;
    return h;
}

int TraceRow(int32_t AValue, int32_t AOffset, int32_t APerDiv) {
    return kOscHeight - TraceHeight(AValue, AOffset, APerDiv);
}

int GridShift(int32_t AOscIdx) {
    // The newest drawn sample is number AOscIdx - 1 (none yet after a clear).
    return std::max(AOscIdx - 1, 0) % kOscColumnStep;
}

TOscDataRecord TrendPeaks(const TTrendModel& AModel) {
    TOscDataRecord peak;
    const int count = AModel.Count();
    for (int k = 0; k < count; ++k) {
        const TOscDataRecord& s = AModel.Data()[static_cast<size_t>(k)];
        peak.Volt = std::max(peak.Volt, s.Volt);
        peak.Amper = std::max(peak.Amper, s.Amper);
    }
    return peak;
}

namespace {

template <size_t N>
int AutoPosition(const std::array<int32_t, N>& ATable, uint16_t APeak) {
    for (size_t k = 0; k < N; ++k) {
        if (ATable[k] * 9 > APeak) return static_cast<int>(k);
    }
    return static_cast<int>(N) - 1;
}

}  // namespace

int AutoVoltPosition(uint16_t APeakVolt) {
    return AutoPosition(kVoltsPerDiv, APeakVolt);
}

int AutoAmpPosition(uint16_t APeakAmper) {
    return AutoPosition(kAmpsPerDiv, APeakAmper);
}

bool ApplyAutoRange(const TTrendModel& AModel, TOscSettings& ASettings) {
    if (!ASettings.VoltAuto && !ASettings.AmpAuto) return false;
    const TOscDataRecord peak = TrendPeaks(AModel);
    const TOscSettings before = ASettings;
    if (ASettings.VoltAuto) ASettings.VoltDiv = AutoVoltPosition(peak.Volt);
    if (ASettings.AmpAuto) ASettings.AmpDiv = AutoAmpPosition(peak.Amper);
    // Two traces ranged alike would lie on one line (12 V at 2 V/d, 1.2 A at 0.2 A/d) and the
    // current would hide the voltage: the current takes larger divisions until their peaks are
    // a division apart.
    if (ASettings.AmpAuto && ASettings.Traces == otBoth && peak.Volt > 0 && peak.Amper > 0) {
        const auto apart = [&] {
            const TOscScale s = ScaleOf(ASettings);
            return std::abs(TraceRow(peak.Volt, s.VoltOffset, s.VoltPerDiv) -
                            TraceRow(peak.Amper, s.AmpOffset, s.AmpPerDiv)) >= kOscRowStep;
        };
        while (!apart() && ASettings.AmpDiv + 1 < static_cast<int>(kAmpsPerDiv.size()))
            ++ASettings.AmpDiv;
    }
    return !(before == ASettings);
}

namespace {

template <size_t N>
int32_t At(const std::array<int32_t, N>& ATable, int APosition) {
    return ATable[static_cast<size_t>(std::clamp(APosition, 0, static_cast<int>(N) - 1))];
}

}  // namespace

TOscScale ScaleOf(const TOscSettings& ASettings) {
    return {At(kVoltsPerDiv, ASettings.VoltDiv), At(kVoltOffsets, ASettings.VoltShift),
            At(kAmpsPerDiv, ASettings.AmpDiv), At(kAmpOffsets, ASettings.AmpShift)};
}

QString ShortDecimal(int32_t AHundredths) {
    const int64_t magnitude = std::llabs(static_cast<int64_t>(AHundredths));
    QString text = QString::number(magnitude / 100);
    int64_t fraction = magnitude % 100;
    if (fraction != 0) {
        text += QLocale().decimalPoint();
        if (fraction % 10 == 0)
            text += QString::number(fraction / 10);
        else
            text += QString::number(fraction).rightJustified(2, QLatin1Char('0'));
    }
    return AHundredths < 0 ? QLatin1Char('-') + text : text;
}

QString TraceLabel(int32_t APerDiv, int32_t AOffset, QChar AUnit) {
    return ShortDecimal(APerDiv) + AUnit + QStringLiteral("/d ") +
           (AOffset >= 0 ? QStringLiteral("+") : QString()) + ShortDecimal(AOffset) + AUnit;
}
