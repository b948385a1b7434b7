#include "session/session_history.h"

#include <algorithm>

namespace {

void Merge(TMinMax& ATo, const TMinMax& AFrom, bool AFirst) {
    if (AFirst) {
        ATo = AFrom;
        return;
    }
    ATo.Min = std::min(ATo.Min, AFrom.Min);
    ATo.Max = std::max(ATo.Max, AFrom.Max);
}

struct TRanges {
    TMinMax U, I, P;
};

TRanges RangesOf(const THistorySample& S) {
    return {{S.Uout, S.Uout}, {S.Iout, S.Iout}, {S.Power, S.Power}};
}

TRanges RangesOf(const THistorySecond& S) {
    return {{S.UMin, S.UMax}, {S.IMin, S.IMax}, {S.PMin, S.PMax}};
}

template <typename TTarget>
void MergeRanges(TTarget& ATo, bool& ASet, const TRanges& AFrom) {
    Merge(ATo.U, AFrom.U, !ASet);
    Merge(ATo.I, AFrom.I, !ASet);
    Merge(ATo.P, AFrom.P, !ASet);
    ASet = true;
}

int64_t SecondOf(int64_t ATime) {
    const int64_t s = ATime / 1000 * 1000;
    return s > ATime ? s - 1000 : s;  // times before the epoch round down too
}

}  // namespace

// --- series with block summaries ----------------------------------------------------------------

template <typename T>
void TSessionHistory::TSeries<T>::Push(const T& AItem) {
    const uint64_t index = First + Items.size();
    const size_t block = static_cast<size_t>(index / kBlock - First / kBlock);
    Items.push_back(AItem);
    if (block == Blocks.size()) Blocks.emplace_back();
    TBlock& b = Blocks[block];
    MergeRanges(b, b.Set, RangesOf(AItem));
}

template <typename T>
void TSessionHistory::TSeries<T>::PopFront() {
    Items.pop_front();
    ++First;
    if (First % kBlock == 0) Blocks.pop_front();
    if (Items.empty()) Clear();
}

template <typename T>
void TSessionHistory::TSeries<T>::Clear() {
    Items.clear();
    Blocks.clear();
    First = 0;
}

template <typename T>
void TSessionHistory::TSeries<T>::Summarise(size_t ABegin, size_t AEnd,
                                            THistoryColumn& ACol) const {
    const uint64_t firstBlock = First / kBlock;
    uint64_t i = First + ABegin;
    const uint64_t end = First + AEnd;
    while (i < end) {
        // A whole block inside the range holds only entries still present (it starts at or
        // after First), so its summary stands for them.
        if (i % kBlock == 0 && i + kBlock <= end) {
            MergeRanges(ACol, ACol.Valid,
                        {Blocks[i / kBlock - firstBlock].U, Blocks[i / kBlock - firstBlock].I,
                         Blocks[i / kBlock - firstBlock].P});
            i += kBlock;
        } else {
            MergeRanges(ACol, ACol.Valid, RangesOf(Items[static_cast<size_t>(i - First)]));
            ++i;
        }
    }
}

template <typename T>
size_t TSessionHistory::TSeries<T>::LowerBound(int64_t ATime) const {
    const auto it = std::lower_bound(Items.begin(), Items.end(), ATime,
                                     [](const T& AItem, int64_t AT) { return AItem.Time < AT; });
    return static_cast<size_t>(it - Items.begin());
}

// --- history
// --------------------------------------------------------------------------------------

void TSessionHistory::Clear() {
    fFull.Clear();
    fThin.Clear();
    fMarks.clear();
    fLast.reset();
}

void TSessionHistory::Append(const THistorySample& ASample) {
    THistorySample s = ASample;
    if (fLast && s.Time < fLast->Time) s.Time = fLast->Time;
    if (fLast) {
        if (s.Protect != 0 && fLast->Protect != s.Protect)
            fMarks.push_back({s.Time, hmTrip, s.Protect});
        if (s.Output != fLast->Output)
            fMarks.push_back({s.Time, s.Output ? hmOutputOn : hmOutputOff, 0});
    } else if (s.Protect != 0) {
        fMarks.push_back({s.Time, hmTrip, s.Protect});
    }
    fFull.Push(s);
    fLast = s;
    Thin();
}

void TSessionHistory::MarkGap(int64_t ATime) {
    if (Empty()) return;
    fMarks.push_back({std::max(ATime, LastTime()), hmGap, 0});
}

void TSessionHistory::Thin() {
    const int64_t cutoff = fLast->Time - fFullRateMs;
    while (!fFull.Items.empty() && fFull.Items.front().Time < cutoff) {
        const THistorySample s = fFull.Items.front();
        fFull.PopFront();
        const int64_t second = SecondOf(s.Time);
        if (fThin.Items.empty() || fThin.Items.back().Time != second) {
            THistorySecond b;
            b.Time = second;
            b.UMin = b.UMax = s.Uout;
            b.IMin = b.IMax = s.Iout;
            b.PMin = b.PMax = s.Power;
            b.USum = s.Uout;
            b.ISum = s.Iout;
            b.PSum = s.Power;
            b.Count = 1;
            b.Protect = s.Protect;
            b.Output = s.Output;
            b.CC = s.CC;
            fThin.Push(b);
            continue;
        }
        THistorySecond& b = fThin.Items.back();
        b.UMin = std::min(b.UMin, s.Uout);
        b.UMax = std::max(b.UMax, s.Uout);
        b.IMin = std::min(b.IMin, s.Iout);
        b.IMax = std::max(b.IMax, s.Iout);
        b.PMin = std::min(b.PMin, s.Power);
        b.PMax = std::max(b.PMax, s.Power);
        b.USum += s.Uout;
        b.ISum += s.Iout;
        b.PSum += s.Power;
        b.Count = static_cast<uint16_t>(std::min<int>(b.Count + 1, UINT16_MAX));
        b.Protect = s.Protect;
        b.Output = s.Output;
        b.CC = s.CC;
        TBlock& block = fThin.Blocks.back();
        MergeRanges(block, block.Set, RangesOf(b));
    }
}

int64_t TSessionHistory::FirstTime() const {
    if (!fThin.Items.empty()) return fThin.Items.front().Time;
    return fFull.Items.empty() ? 0 : fFull.Items.front().Time;
}

int64_t TSessionHistory::LastTime() const {
    if (!fFull.Items.empty()) return fFull.Items.back().Time;
    return fThin.Items.empty() ? 0 : fThin.Items.back().Time;
}

size_t TSessionHistory::MemoryBytes() const {
    return fFull.Items.size() * sizeof(THistorySample) +
           fThin.Items.size() * sizeof(THistorySecond) +
           (fFull.Blocks.size() + fThin.Blocks.size()) * sizeof(TBlock) +
           fMarks.size() * sizeof(THistoryMark);
}

std::vector<THistoryColumn> TSessionHistory::Columns(int64_t AFrom, int64_t ATo,
                                                     int AColumns) const {
    std::vector<THistoryColumn> cols(static_cast<size_t>(std::max(AColumns, 0)));
    if (cols.empty() || ATo <= AFrom) return cols;
    const auto edge = [&](size_t c) {
        return AFrom + static_cast<int64_t>(static_cast<__int128>(ATo - AFrom) *
                                            static_cast<int64_t>(c) / AColumns);
    };
    const auto fill = [&](const auto& ASeries) {
        if (ASeries.Items.empty()) return;
        size_t begin = ASeries.LowerBound(AFrom);
        for (size_t c = 0; c < cols.size() && begin < ASeries.Items.size(); ++c) {
            const size_t end = ASeries.LowerBound(edge(c + 1));
            ASeries.Summarise(begin, end, cols[c]);
            begin = end;
        }
    };
    fill(fThin);
    fill(fFull);
    return cols;
}

std::optional<THistoryRow> TSessionHistory::Nearest(int64_t ATime, int64_t AMaxDistance) const {
    std::optional<THistoryRow> best;
    int64_t bestDistance = AMaxDistance + 1;
    const auto consider = [&](const auto& ASeries) {
        const size_t k = ASeries.LowerBound(ATime);
        for (size_t j : {k == 0 ? k : k - 1, k}) {
            if (j >= ASeries.Items.size()) continue;
            const int64_t d = std::llabs(ASeries.Items[j].Time - ATime);
            if (d < bestDistance) {
                bestDistance = d;
                best = RowOf(ASeries.Items[j]);
            }
        }
    };
    consider(fThin);
    consider(fFull);
    return best;
}

bool TSessionHistory::GapMarkIn(int64_t AFrom, int64_t ATo) const {
    const auto it = std::lower_bound(fMarks.begin(), fMarks.end(), AFrom,
                                     [](const THistoryMark& M, int64_t AT) { return M.Time < AT; });
    for (auto m = it; m != fMarks.end() && m->Time < ATo; ++m)
        if (m->Kind == hmGap) return true;
    return false;
}

THistoryRow TSessionHistory::RowOf(const THistorySample& S) {
    THistoryRow r;
    r.Time = S.Time;
    r.U = S.Uout;
    r.I = S.Iout;
    r.P = S.Power;
    r.URange = {S.Uout, S.Uout};
    r.IRange = {S.Iout, S.Iout};
    r.PRange = {S.Power, S.Power};
    r.Protect = S.Protect;
    r.Output = S.Output;
    r.CC = S.CC;
    return r;
}

THistoryRow TSessionHistory::RowOf(const THistorySecond& S) {
    THistoryRow r;
    r.Time = S.Time;
    r.Thinned = true;
    const double n = std::max<double>(S.Count, 1);
    r.U = S.USum / n;
    r.I = S.ISum / n;
    r.P = static_cast<double>(S.PSum) / n;
    r.URange = {S.UMin, S.UMax};
    r.IRange = {S.IMin, S.IMax};
    r.PRange = {S.PMin, S.PMax};
    r.Protect = S.Protect;
    r.Output = S.Output;
    r.CC = S.CC;
    return r;
}
