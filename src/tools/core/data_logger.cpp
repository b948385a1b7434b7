#include "tools/core/data_logger.h"

#include <QStringList>
#include <cstdlib>

#include "session/reading.h"
#include "session/settings_store.h"
#include "tools/core/log_files.h"

QString LogIntervalText(int AIndex) {
    const int32_t seconds = kLogIntervals[AIndex];
    if (seconds < 60) return "Save every " + QString::number(seconds) + " sec.";
    return "Save every " + QString::number(seconds / 60) + " min.";
}

namespace {
QStringList ThresholdTexts(const QString& AWhat) {
    QStringList texts{AWhat + " change <1%"};
    for (int k = 1; k <= 5; ++k)
        texts << AWhat + " change >" + QString::number(k) + "%";
    texts << AWhat + " no matter";
    return texts;
}

int IndexOr(const TSettingsStore& AStore, const char* AName, int ACount, int ADefault) {
    const int32_t value = AStore.ReadIntegerOr(AName, ADefault);
    return value >= 0 && value < ACount ? value : ADefault;
}
}  // namespace

QStringList VoltageThresholdTexts() {
    return ThresholdTexts("Output voltage");
}
QStringList CurrentThresholdTexts() {
    return ThresholdTexts("Output current");
}

int32_t TLogOptions::LogInterval() const {
    if (IntervalSeconds > 0) return IntervalSeconds;
    const int index = IntervalIndex >= 0 && IntervalIndex < kLogIntervalCount
                          ? IntervalIndex
                          : settings::kDefaultLTIM;
    return kLogIntervals[index];
}

TLogOptions TLogOptions::Load(const TSettingsStore& AStore, bool ASpreadsheetOffered) {
    TLogOptions options;
    options.ByEvent = AStore.ReadIntegerOr(settings::kLOG, 0) > 0;
    options.IntervalIndex =
        IndexOr(AStore, settings::kLTIM, kLogIntervalCount, settings::kDefaultLTIM);
    options.VoltageEvent =
        IndexOr(AStore, settings::kLUEV, kThresholdCount, settings::kDefaultLUEV);
    options.CurrentEvent =
        IndexOr(AStore, settings::kLIEV, kThresholdCount, settings::kDefaultLIEV);
    options.Spreadsheet = ASpreadsheetOffered && AStore.ReadIntegerOr(settings::kEXCEL, 0) > 0;
    return options;
}

void TLogOptions::Save(const TSettingsStore& AStore) const {
    AStore.WriteInteger(settings::kLOG, ByEvent ? 1 : 0);
    AStore.WriteInteger(settings::kEXCEL, Spreadsheet ? 1 : 0);
    AStore.WriteInteger(settings::kLTIM, IntervalIndex);
    AStore.WriteInteger(settings::kLUEV, VoltageEvent);
    AStore.WriteInteger(settings::kLIEV, CurrentEvent);
}

bool TDataLogger::WriteLogData() {
    if (!NewReading()) return false;
    fWritten = fLast.Number;
    fRecords.push_back(LogRecordOf(ReadingRowOf(fLast)));
    if (fOnRecord) fOnRecord(fRecords.back());
    return true;
}

void TDataLogger::ClearLogData() {
    fRecords.clear();
    fWritten = 0;
}

bool ThresholdExceeded(int AEntry, uint16_t ALast, uint16_t ANow, uint16_t ASet) {
    if (AEntry < 0 || AEntry >= kThresholdCount - 1) return false;
    const uint32_t set = ASet == 0 ? 1 : ASet;
    int64_t percent = std::abs(int64_t{ALast} - int64_t{ANow}) * 100 / set;
    if (AEntry == 0 && ALast != ANow) percent = 1;
    return percent > AEntry;
}

bool TDataLogger::CheckLogEvent(int AVoltageEvent, int ACurrentEvent) {
    if (fRecords.empty() || !NewReading()) return false;
    const TLogRecord& last = fRecords.back();
    const auto now = [](uint32_t AValue) { return static_cast<uint16_t>(AValue); };
    const bool fire = last.Uset != now(fLast.Uset) || last.Iset != now(fLast.Iset) ||
                      ThresholdExceeded(AVoltageEvent, last.Uout, now(fLast.Uout), last.Uset) ||
                      ThresholdExceeded(ACurrentEvent, last.Iout, now(fLast.Iout), last.Iset);
    return fire && WriteLogData();
}

double DayFraction(const QTime& ATime) {
    return ATime.msecsSinceStartOfDay() / 86400000.0;
}

QTime TimeOfDay(double ADayFraction) {
    const int ms = static_cast<int>(ADayFraction * 86400000.0 + 0.5);
    return QTime::fromMSecsSinceStartOfDay(ms % 86400000);
}
