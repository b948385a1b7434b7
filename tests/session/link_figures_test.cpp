// The link figures of a session: each kind of fault switched on at the virtual supply shows in
// its own counter and in no other, the round trip follows an injected delay, and figures of an
// ended session say so.

#include <gtest/gtest.h>
#include <sched.h>

#include "link/tcp_connector.h"
#include "session/link_figures.h"
#include "tests/session/session_harness.h"

using sessiontest::TSessionHarness;

namespace {

struct TFaultCase {
    const char* Name;
    bool Pty;
    SimFaults Faults;
    uint64_t TLinkFigures::*Counter;
};

std::string CaseName(const ::testing::TestParamInfo<TFaultCase>& AInfo) {
    return AInfo.param.Name;
}

class LinkFigureFaults : public ::testing::TestWithParam<TFaultCase> {};

TEST_P(LinkFigureFaults, EachFaultCountsInItsOwnFigure) {
    const TFaultCase& c = GetParam();
    TSessionHarness h;
    VirtualSupplyOptions opt;
    opt.pty = c.Pty;
    ASSERT_TRUE(h.StartSupply(opt));
    // Replies that never come are given up before the scheduler's own wait ends. Only where
    // replies are dropped: elsewhere so short a wait would count a reply slowed by a loaded
    // machine as a time-out.
    if (c.Counter == &TLinkFigures::Timeouts) h.core->TCPConnector().SetReadTimeout(60);
    ASSERT_TRUE(c.Pty ? h.ConnectPty() : h.ConnectTcp());
    // Five replies taken by the session, not only answered by the supply: the figures count
    // a reply when the session has it.
    ASSERT_TRUE(h.WaitFor([&] { return h.core->LinkFigures().GoodReplies >= 5; }, 3000));
    const TLinkFigures clean = h.core->LinkFigures();
    EXPECT_EQ(clean.Requests, clean.GoodReplies);
    EXPECT_GT(clean.RequestsPerSecond, 0);
    EXPECT_TRUE(clean.HaveRoundTrip);
    EXPECT_GE(clean.SinceGoodMs, 0);

    h.supply->SetFaults(c.Faults);
    ASSERT_TRUE(h.WaitFor([&] { return h.core->LinkFigures().*c.Counter >= 2; }, 3000))
        << LinkFiguresDetails(h.core->LinkFigures()).toStdString();
    h.supply->SetFaults({});
    const TLinkFigures f = h.core->LinkFigures();
    // No other kind was counted, and every completed request has exactly one outcome.
    for (auto counter :
         {&TLinkFigures::Timeouts, &TLinkFigures::ChecksumErrors, &TLinkFigures::LengthErrors,
          &TLinkFigures::ExceptionReplies, &TLinkFigures::OtherErrors}) {
        if (counter == c.Counter) continue;
        EXPECT_EQ(f.*counter, 0u) << LinkFiguresDetails(f).toStdString();
    }
    EXPECT_EQ(f.Requests, f.GoodReplies + f.*c.Counter);
}

SimFaults Faults(void (*ASet)(SimFaults&)) {
    SimFaults f;
    ASet(f);
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LinkFigureFaults,
    ::testing::Values(TFaultCase{"DroppedReplyIsATimeout", false,
                                 Faults([](SimFaults& f) { f.dropEvery = 4; }),
                                 &TLinkFigures::Timeouts},
                      TFaultCase{"CorruptCrcIsAChecksumError", true,
                                 Faults([](SimFaults& f) { f.corruptCrcEvery = 3; }),
                                 &TLinkFigures::ChecksumErrors},
                      TFaultCase{"ShortReplyIsALengthError", false,
                                 Faults([](SimFaults& f) { f.shortEvery = 3; }),
                                 &TLinkFigures::LengthErrors},
                      TFaultCase{"ExceptionReplyIsCounted", false,
                                 Faults([](SimFaults& f) { f.exceptionCode = 4; }),
                                 &TLinkFigures::ExceptionReplies}),
    CaseName);

TEST(LinkFigures, RoundTripFollowsTheDelayAndReconnectsAreCounted) {
    TSessionHarness h;
    ASSERT_TRUE(h.StartSupply());
    ASSERT_TRUE(h.ConnectTcp());
    h.supply->SetFaults(Faults([](SimFaults& f) { f.replyDelayMs = 40; }));
    h.core->LinkStats().Reset();
    ASSERT_TRUE(h.WaitFor([&] { return h.core->LinkFigures().GoodReplies >= 4; }, 3000));
    TLinkFigures f = h.core->LinkFigures();
    EXPECT_GE(f.RoundTripMedianMs, 40);
    EXPECT_GE(f.RoundTripP99Ms, f.RoundTripMedianMs);
    EXPECT_LT(f.RequestsPerSecond, 1000.0 / 40 + 1);

    // The bridge stops answering: the session is lost and autoconnect brings it back, which
    // continues the figures and counts a reconnect.
    h.core->AutoConnectSwitchClick(true);
    const uint64_t good = h.core->LinkFigures().GoodReplies;
    h.supply->SetFaults(Faults([](SimFaults& f) { f.dropEvery = 1; }));
    ASSERT_TRUE(h.WaitFor([&] { return !h.core->Connected(); }, 3000));
    h.supply->SetFaults({});
    ASSERT_TRUE(h.WaitFor([&] { return h.core->Connected(); }, 3000));
    f = h.core->LinkFigures();
    EXPECT_EQ(f.Reconnects, 1u);
    EXPECT_GE(f.GoodReplies, good);
    EXPECT_GE(f.Timeouts, 1u);

    // After a disconnect the figures say they are those of the session's end; a connect of
    // the user's starts them afresh.
    h.core->AutoConnectSwitchClick(false);
    h.core->DisconnectBtnClick();
    f = h.core->LinkFigures();
    EXPECT_TRUE(f.Ended);
    EXPECT_TRUE(LinkFiguresLine(f).startsWith("ended: ")) << LinkFiguresLine(f).toStdString();
    ASSERT_TRUE(h.ConnectTcp());
    EXPECT_EQ(h.core->LinkFigures().Reconnects, 0u);
    EXPECT_FALSE(h.core->LinkFigures().Ended);
}

TEST(LinkFigures, EveryReplyHasItsRoundTripAlsoWhenItOutrunsTheSender) {
    // On one core the woken supply answers before the sending thread runs again: the reply's
    // arrival stamp then predates anything taken after send() returned.
    cpu_set_t all{}, one{};
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    {
        TSessionHarness h;
        ASSERT_TRUE(h.StartSupply());
        ASSERT_TRUE(h.ConnectTcp());
        ASSERT_TRUE(h.WaitFor([&] { return h.core->LinkFigures().GoodReplies >= 20; }, 3000));
        const TLinkFigures f = h.core->LinkFigures();
        EXPECT_EQ(f.RoundTripCount, f.GoodReplies);
    }
    sched_setaffinity(0, sizeof all, &all);
}

TEST(LinkFigures, PercentilesAndRateCoverTheLastMinuteOnly) {
    int64_t now = 0;
    TLinkStats s([&] { return now; });
    // A minute of replies at 10 per second, 1 ms each, one in fifty taking 50 ms.
    for (int i = 0; i < 600; ++i) {
        now += 100'000;
        s.RequestDone(0, i % 50 == 49 ? 50'000 : 1'000, now);
    }
    TLinkFigures f = s.Figures();
    EXPECT_NEAR(f.RequestsPerSecond, 10, 0.2);
    EXPECT_DOUBLE_EQ(f.RoundTripMedianMs, 1);
    EXPECT_DOUBLE_EQ(f.RoundTripP99Ms, 50);
    EXPECT_EQ(f.SinceGoodMs, 0);
    // Ended, the figures stay those of the end however long they are looked at.
    s.End();
    now += 61'000'000;
    EXPECT_NEAR(s.Figures().RequestsPerSecond, 10, 0.2);
    EXPECT_EQ(s.Figures().SinceGoodMs, 0);
    EXPECT_EQ(LinkFiguresLine(s.Figures()), "ended: 10 req/s · rtt 1.0/50 ms · 0 errors");
    // Going on (the link came back), a silent minute later: no rate, no round trip, but the
    // totals and the age remain.
    s.Resume();
    f = s.Figures();
    EXPECT_EQ(f.RequestsPerSecond, 0);
    EXPECT_FALSE(f.HaveRoundTrip);
    EXPECT_EQ(f.GoodReplies, 600u);
    EXPECT_EQ(f.SinceGoodMs, 61'000);
    EXPECT_EQ(LinkFiguresLine(f), "0 req/s · 0 errors");
}

}  // namespace
