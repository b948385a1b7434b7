#pragma once
// The readings of a whole session, bounded: the newest two hours at full rate, older readings
// thinned to one record per second (minimum, maximum and mean of each value), so a week-long
// session stays within a few tens of megabytes. Protection trips, output switching and gaps in
// the link are kept as marks. Widget-free; the History window and the export read it.
//
// Times are milliseconds since the epoch (wall clock); values are the device's fixed-point
// cells (0.01 V, the model's current unit, 0.01 W).

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// One reading.
struct THistorySample {
    int64_t Time = 0;
    uint16_t Uout = 0;
    uint16_t Iout = 0;
    uint32_t Power = 0;
    uint8_t Protect = 0;  // protection code, 0 none
    bool Output = false;
    bool CC = false;
};

// One second of thinned readings.
struct THistorySecond {
    int64_t Time = 0;  // start of the second
    uint16_t UMin = 0, UMax = 0, IMin = 0, IMax = 0;
    uint32_t PMin = 0, PMax = 0;
    uint32_t USum = 0, ISum = 0;
    uint64_t PSum = 0;
    uint16_t Count = 0;
    uint8_t Protect = 0;  // the last code of the second
    bool Output = false;  // the output was on at the end of the second
    bool CC = false;
};

enum THistoryMarkKind { hmTrip, hmOutputOn, hmOutputOff, hmGap };

struct THistoryMark {
    int64_t Time = 0;
    THistoryMarkKind Kind = hmTrip;
    uint8_t Protect = 0;  // the code of a trip
};

// Range of one value over a stretch of time.
struct TMinMax {
    uint32_t Min = 0;
    uint32_t Max = 0;
};

// What one pixel column of a plot shows.
struct THistoryColumn {
    bool Valid = false;  // readings fall into the column
    TMinMax U, I, P;
};

// A row of an export: full-rate rows have Min == Max == the value.
struct THistoryRow {
    int64_t Time = 0;
    bool Thinned = false;
    double U = 0, I = 0, P = 0;  // value, or the mean of a thinned second (device units)
    TMinMax URange, IRange, PRange;
    uint8_t Protect = 0;
    bool Output = false;
    bool CC = false;
};

class TSessionHistory {
public:
    // How long the full-rate part reaches back.
    static constexpr int64_t kFullRateMs = 2 * 3600 * 1000;
    // A pause between readings longer than this is a gap too: no line is drawn across it.
    static constexpr int64_t kGapMs = 5000;

    explicit TSessionHistory(int64_t AFullRateMs = kFullRateMs) : fFullRateMs(AFullRateMs) {}

    void Clear();
    // Adds a reading; readings come in time order (an earlier time is taken as the last one's).
    void Append(const THistorySample& ASample);
    // The link was lost here (the next reading starts a new stretch).
    void MarkGap(int64_t ATime);

    bool Empty() const { return fFull.Items.empty() && fThin.Items.empty(); }
    int64_t FirstTime() const;
    int64_t LastTime() const;
    size_t FullRateCount() const { return fFull.Items.size(); }
    size_t ThinnedCount() const { return fThin.Items.size(); }
    const std::vector<THistoryMark>& Marks() const { return fMarks; }
    // Bytes held by the readings (containers' element storage, not counting slack).
    size_t MemoryBytes() const;

    // AColumns columns of equal width over [AFrom, ATo): the minimum and maximum of each value
    // in each column. Costs about the same whatever the number of readings in the range.
    std::vector<THistoryColumn> Columns(int64_t AFrom, int64_t ATo, int AColumns) const;
    // The reading (or thinned second) nearest to ATime, within AMaxDistance ms.
    std::optional<THistoryRow> Nearest(int64_t ATime, int64_t AMaxDistance) const;
    // Every row in [AFrom, ATo], oldest first, through AVisit (false stops).
    template <typename F>
    void Rows(int64_t AFrom, int64_t ATo, F&& AVisit) const;
    // Whether a gap mark lies in [AFrom, ATo).
    bool GapMarkIn(int64_t AFrom, int64_t ATo) const;

    static THistoryRow RowOf(const THistorySample& S);
    static THistoryRow RowOf(const THistorySecond& S);

private:
    // Minimum and maximum of every value over a block of kBlock consecutive entries, so a long
    // range is summarised block by block instead of entry by entry.
    static constexpr size_t kBlock = 64;
    struct TBlock {
        TMinMax U, I, P;
        bool Set = false;
    };
    template <typename T>
    struct TSeries {
        std::deque<T> Items;
        std::deque<TBlock> Blocks;
        uint64_t First = 0;  // running index of Items.front(); Blocks.front() covers index
                             // (First / kBlock) * kBlock onwards
        void Push(const T& AItem);
        void PopFront();
        void Clear();
        void Summarise(size_t ABegin, size_t AEnd, THistoryColumn& ACol) const;
        size_t LowerBound(int64_t ATime) const;
    };

    void Thin();

    int64_t fFullRateMs;
    TSeries<THistorySample> fFull;
    TSeries<THistorySecond> fThin;
    std::vector<THistoryMark> fMarks;
    std::optional<THistorySample> fLast;
};

template <typename F>
void TSessionHistory::Rows(int64_t AFrom, int64_t ATo, F&& AVisit) const {
    for (size_t k = fThin.LowerBound(AFrom); k < fThin.Items.size(); ++k) {
        if (fThin.Items[k].Time > ATo) return;
        if (!AVisit(RowOf(fThin.Items[k]))) return;
    }
    for (size_t k = fFull.LowerBound(AFrom); k < fFull.Items.size(); ++k) {
        if (fFull.Items[k].Time > ATo) return;
        if (!AVisit(RowOf(fFull.Items[k]))) return;
    }
}
