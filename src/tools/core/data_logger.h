#pragma once
// The data logger: records of the supply's set and measured values kept in memory while an
// autotest runs, the event check that adds a record when a set point changes or an output value
// moves by more than a chosen percentage, and the logging options of the "Test Logging" tab.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "session/reading.h"

class TSettingsStore;

// One log entry: the time of day as a fraction of a day, and the low 16 bits of the USET, ISET,
// UOUT, IOUT and POWER of one live reading (fixed-point cells). The CSV form also carries the
// full time stamp, the input voltage, the regulation mode, the protection and the output state.
struct TLogRecord {
    double Time = 0;
    uint16_t Uset = 0;
    uint16_t Iset = 0;
    uint16_t Uout = 0;
    uint16_t Iout = 0;
    uint16_t Pout = 0;
    QDateTime Stamp = {};
    uint16_t Uin = 0;
    bool ConstantCurrent = false;
    uint16_t Protect = 0;
    bool Output = false;
    bool operator==(const TLogRecord&) const = default;
};
using TLogList = std::vector<TLogRecord>;

// Log intervals of the interval list, in seconds, by entry.
inline constexpr int kLogIntervalCount = 14;
inline constexpr int32_t kLogIntervals[kLogIntervalCount] = {1,  2,  3,   4,   5,   10,   20,
                                                             30, 60, 120, 300, 600, 1200, 1800};
// Entries of the two threshold lists; the last ("no matter") never fires.
inline constexpr int kThresholdCount = 7;

// "Save every 3 sec." or "Save every 2 min.".
QString LogIntervalText(int AIndex);
// The voltage or current threshold list's texts.
QStringList VoltageThresholdTexts();
QStringList CurrentThresholdTexts();

// The options of the "Test Logging" tab as stored ("LOG", "LTIM", "LUEV", "LIEV", "EXCEL").
struct TLogOptions {
    bool ByEvent = false;      // "Log by event" rather than "Log by time"
    int IntervalIndex = 2;     // 3 s
    int VoltageEvent = 1;      // "Output voltage change >1%"
    int CurrentEvent = 2;      // "Output current change >2%"
    bool Spreadsheet = false;  // "Save log in Excel format"
    // Seconds between timed records when above 0, instead of the list entry (benchlordctl).
    int32_t IntervalSeconds = 0;
    bool operator==(const TLogOptions&) const = default;

    // Seconds of the selected interval entry (entry 2 when the index is out of range).
    int32_t LogInterval() const;
    // Reads the stored values; absent or out-of-range values give the defaults. The spreadsheet
    // choice is read only when ASpreadsheetOffered, otherwise the text format is forced.
    static TLogOptions Load(const TSettingsStore& AStore, bool ASpreadsheetOffered);
    void Save(const TSettingsStore& AStore) const;
};

class TDataLogger {
public:
    // Records are made from ALast, the session's last live reading (TSessionCore::LastReading).
    explicit TDataLogger(const TReading& ALast) : fLast(ALast) {}

    // Appends a record of the last reading, stamped with the time it came. Nothing when no
    // reading came since the last record (a lost link adds no rows). True when one was written.
    bool WriteLogData();
    // Empties the log; the last reading may start the next one.
    void ClearLogData();
    // Event check, run every 100 ms while the output is on and Logging is set: compares a new
    // reading with the last record and writes a record when a set point differs, or when Uout
    // or Iout moved by more than the list's threshold (whole percent of the last record's set
    // value; entry 0 any change, entry 6 never). True when a record was written.
    bool CheckLogEvent(int AVoltageEvent, int ACurrentEvent);

    const TLogList& Records() const { return fRecords; }
    // The event-logging switch.
    bool Logging = false;
    // Called after every record is appended (recovery file, streamed logs).
    std::function<void(const TLogRecord&)> fOnRecord;

private:
    bool NewReading() const { return fLast.Number != 0 && fLast.Number != fWritten; }

    const TReading& fLast;
    uint64_t fWritten = 0;  // number of the reading last recorded
    TLogList fRecords;
};

// Percentage rule of the event check for one value: AEntry 0 fires on any change, 1..5 when
// |ALast - ANow| * 100 / ASet (integer division) exceeds it, 6 never. A set value of 0 (which
// the controls never produce) is taken as one unit, so the rule cannot divide by zero.
bool ThresholdExceeded(int AEntry, uint16_t ALast, uint16_t ANow, uint16_t ASet);

// Fraction of a day of a time of day, and back.
double DayFraction(const QTime& ATime);
QTime TimeOfDay(double ADayFraction);
