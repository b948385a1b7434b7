// The session history: thinning beyond the full-rate window, per-column minima and maxima that
// match a brute-force pass over every reading, marks, and the history a session keeps.

#include <gtest/gtest.h>

#include <map>

#include "session/session_history.h"
#include "sim/sim_device.h"
#include "tests/session/session_harness.h"

using sessiontest::TSessionHarness;

namespace {

TEST(SessionHistory, ThinnedAndFullRateColumnsMatchEveryReading) {
    // A one-minute full-rate window, five minutes at 100 readings a second.
    TSessionHistory h(60'000);
    std::vector<THistorySample> all;
    const int64_t start = 1'700'000'000'000;
    for (int k = 0; k < 30'000; ++k) {
        THistorySample s;
        s.Time = start + k * 10;
        s.Uout = static_cast<uint16_t>(1000 + (k * 37) % 500);
        s.Iout = static_cast<uint16_t>((k * 13) % 300);
        s.Power = static_cast<uint32_t>(s.Uout) * s.Iout / 100;
        s.Output = k >= 1000 && k < 20'000;
        s.Protect = k >= 19'999 ? 2 : 0;
        h.Append(s);
        all.push_back(s);
    }
    EXPECT_EQ(h.FullRateCount(), 6001u);
    EXPECT_EQ(h.ThinnedCount(), 240u);
    EXPECT_EQ(h.FirstTime(), start);
    EXPECT_EQ(h.LastTime(), all.back().Time);

    // Columns on whole seconds (a thinned second lies wholly in one column), of several widths
    // so that block summaries and single entries both take part.
    for (const int64_t width : {1000, 7000, 64'000}) {
        const int columns = static_cast<int>(300'000 / width);
        const auto cols = h.Columns(start, start + columns * width, columns);
        ASSERT_EQ(cols.size(), static_cast<size_t>(columns));
        std::map<int, THistoryColumn> expect;
        for (const THistorySample& s : all) {
            THistoryColumn& c = expect[static_cast<int>((s.Time - start) / width)];
            if (!c.Valid) c.U = {s.Uout, s.Uout}, c.I = {s.Iout, s.Iout}, c.P = {s.Power, s.Power};
            c.Valid = true;
            c.U = {std::min<uint32_t>(c.U.Min, s.Uout), std::max<uint32_t>(c.U.Max, s.Uout)};
            c.I = {std::min<uint32_t>(c.I.Min, s.Iout), std::max<uint32_t>(c.I.Max, s.Iout)};
            c.P = {std::min(c.P.Min, s.Power), std::max(c.P.Max, s.Power)};
        }
        for (int c = 0; c < columns; ++c) {
            const THistoryColumn& e = expect[c];
            SCOPED_TRACE("width " + std::to_string(width) + " column " + std::to_string(c));
            ASSERT_EQ(cols[c].Valid, e.Valid);
            EXPECT_EQ(cols[c].U.Min, e.U.Min);
            EXPECT_EQ(cols[c].U.Max, e.U.Max);
            EXPECT_EQ(cols[c].I.Min, e.I.Min);
            EXPECT_EQ(cols[c].I.Max, e.I.Max);
            EXPECT_EQ(cols[c].P.Min, e.P.Min);
            EXPECT_EQ(cols[c].P.Max, e.P.Max);
        }
    }

    // Output on, then the trip and the output off in one reading.
    ASSERT_EQ(h.Marks().size(), 3u);
    EXPECT_EQ(h.Marks()[0].Kind, hmOutputOn);
    EXPECT_EQ(h.Marks()[0].Time, start + 10'000);
    EXPECT_EQ(h.Marks()[1].Kind, hmTrip);
    EXPECT_EQ(h.Marks()[1].Protect, 2);
    EXPECT_EQ(h.Marks()[2].Kind, hmOutputOff);

    // A thinned second exports its mean and range; a full-rate reading itself.
    const auto thinned = h.Nearest(start + 5'400, 1000);
    ASSERT_TRUE(thinned);
    EXPECT_TRUE(thinned->Thinned);
    EXPECT_EQ(thinned->Time, start + 5'000);
    double sum = 0;
    for (int k = 500; k < 600; ++k)
        sum += all[k].Uout;
    EXPECT_DOUBLE_EQ(thinned->U, sum / 100);
    const auto full = h.Nearest(all.back().Time - 3, 1000);
    ASSERT_TRUE(full);
    EXPECT_FALSE(full->Thinned);
    EXPECT_EQ(full->U, all.back().Uout);
}

TEST(SessionHistory, SessionKeepsReadingsOverAReconnectionAndStartsAfreshOnConnect) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.ConnectTcp());
    ASSERT_TRUE(h.WaitFor([&] { return h.core->History().FullRateCount() >= 5; }));
    h.supply->SetOutput(true);
    ASSERT_TRUE(h.WaitFor([&] { return h.core->History().Marks().size() >= 1; }));
    h.supply->TripProtection(1);
    ASSERT_TRUE(h.WaitFor([&] { return h.core->History().Marks().size() >= 3; }));
    const auto& marks = h.core->History().Marks();
    EXPECT_EQ(marks[0].Kind, hmOutputOn);
    EXPECT_EQ(marks[1].Kind, hmTrip);
    EXPECT_EQ(marks[2].Kind, hmOutputOff);
    const auto last = h.core->History().Nearest(h.core->History().LastTime(), 0);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->U, h.supply->Register(simreg::UOUT));

    // Lost and brought back by autoconnect: one history with a gap.
    h.core->AutoConnectSwitchClick(true);
    const size_t before = h.core->History().FullRateCount();
    SimFaults drop;
    drop.dropEvery = 1;
    h.supply->SetFaults(drop);
    ASSERT_TRUE(h.WaitFor([&] { return !h.core->Connected(); }, 3000));
    h.supply->SetFaults({});
    ASSERT_TRUE(h.WaitFor([&] { return h.core->History().FullRateCount() > before + 2; }, 3000));
    ASSERT_GE(h.core->History().Marks().size(), 4u);
    EXPECT_EQ(h.core->History().Marks()[3].Kind, hmGap);
    EXPECT_EQ(h.core->LinkFigures().Reconnects, 1u);

    // The user's own connect starts a new history; the old one stays after the disconnect.
    h.core->AutoConnectSwitchClick(false);
    h.core->DisconnectBtnClick();
    EXPECT_GT(h.core->History().FullRateCount(), before);
    const int64_t ended = h.core->History().LastTime();
    ASSERT_TRUE(h.ConnectTcp());
    EXPECT_TRUE(h.core->History().Marks().empty());
    EXPECT_TRUE(h.core->History().Empty() || h.core->History().FirstTime() > ended);
}

}  // namespace
