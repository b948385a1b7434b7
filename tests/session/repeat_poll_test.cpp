// The live-reading poll repeated by the link (the window's way of polling) against the virtual
// supply: readings flow at the link's pace in batches, a job still goes out between them, the
// link figures and the history keep the link's own times, and a disconnect or a lost supply ends
// the repetition.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "session/session_core.h"
#include "session/settings_store.h"
#include "sim/virtual_supply.h"
#include "tests/support/event_loop.h"
#include "tests/support/fast_timings.h"
#include "tests/support/recording_view.h"
#include "tests/support/supply_over_tcp.h"

namespace {

using testsupport::ProcessUntil;

struct TRepeatSession {
    QTemporaryDir dir;
    TSettingsStore settings{TSettingsStore::PathUnder(dir.path())};
    testsupport::TRecordingView view;
    std::unique_ptr<VirtualSupply> supply;
    std::unique_ptr<TSessionCore> core;
    int readings = 0;
    int handOvers = 0;  // readings that arrived in a turn of the event loop of their own

    TRepeatSession() {
        testsupport::EnsureCoreApp();
        TSessionTimings timings = testsupport::FastTimings();
        timings.TaskInterval = 5;
        timings.ResponseTimeout = 400;
        timings.RepeatPoll = true;
        core = std::make_unique<TSessionCore>(view, settings, SystemTickClock(), timings);
        QObject::connect(core.get(), &TSessionCore::LiveReading, [this] { ++readings; });
    }
    ~TRepeatSession() {
        core.reset();
        supply.reset();
    }
    bool Connect() { return testsupport::ConnectToNewSupply(*core, supply); }
    bool WaitReadings(int ACount) {
        const int target = readings + ACount;
        return ProcessUntil([&] { return readings >= target; }, 5000);
    }
};

TEST(RepeatPoll, ReadingsComeInBatchesAndJobsStillGoOutBetweenThem) {
    TRepeatSession s;
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.WaitReadings(20));

    // Readings keep coming at the link's pace, but the link hands them over a frame at a time:
    // far fewer event-loop turns deliver readings than there are readings.
    int turns = 0;
    int last = s.readings;
    const int start = s.readings;
    ASSERT_TRUE(ProcessUntil(
        [&] {
            if (s.readings != last) ++turns, last = s.readings;
            return s.readings >= start + 60;
        },
        5000));
    EXPECT_LT(turns, 30);

    // A job marked meanwhile goes out between the rounds and the readings show it.
    const uint32_t iset = s.core->Data().ISET;
    s.core->SetPoints(512, iset);
    ASSERT_TRUE(ProcessUntil([&] { return s.supply->Register(0) == 512; }, 3000));
    ASSERT_TRUE(ProcessUntil([&] { return s.core->ReadingShowsSetValues(512, iset); }, 3000));
    ASSERT_TRUE(s.WaitReadings(20));

    // Round trips are the link's own, not the wait for a batch (a frame is 40 ms).
    const TLinkFigures figures = s.core->LinkStats().Figures();
    ASSERT_TRUE(figures.HaveRoundTrip);
    EXPECT_LT(figures.RoundTripMedianMs, 20.0);
    EXPECT_EQ(figures.Timeouts, 0u);

    // The readings of a batch keep the times they were taken at: no run of equal times.
    std::vector<int64_t> times;
    const TSessionHistory& history = s.core->History();
    history.Rows(history.FirstTime(), history.LastTime(), [&](const THistoryRow& ARow) {
        times.push_back(ARow.Time);
        return true;
    });
    ASSERT_GE(times.size(), 60u);
    int equal = 0;
    for (size_t i = times.size() - 60; i < times.size(); ++i)
        if (times[i] == times[i - 1]) ++equal;
    EXPECT_LT(equal, 20);
}

TEST(RepeatPoll, DisconnectAndALostSupplyEndTheRepetition) {
    TRepeatSession s;
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.WaitReadings(10));
    s.core->DisconnectBtnClick();
    const uint32_t exchanges = s.core->TCPConnector().GetCounter();
    testsupport::ProcessFor(200);
    EXPECT_EQ(s.core->TCPConnector().GetCounter(), exchanges);

    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.WaitReadings(10));
    s.supply.reset();
    ASSERT_TRUE(ProcessUntil([&] { return !s.core->Connected(); }, 5000));
    EXPECT_EQ(s.view.errors, QStringList{"Connection lost !!!"});
}

}  // namespace
