// The program's own time, charge and energy counters, driven by an injected clock.

#include <gtest/gtest.h>

#include "sim/sim_device.h"
#include "tests/session/session_harness.h"

using sessiontest::TSessionHarness;

namespace {

class SessionCounters : public ::testing::Test {
protected:
    void SetUp() override {
        VirtualSupplyOptions opt;
        opt.identity.model = 5005;  // current unit 0.001 A
        opt.loadOhms = 2.0;
        ASSERT_TRUE(h.StartSupply(opt));
        ASSERT_TRUE(h.ConnectTcp());
        h.core->U_KnobChange(1000);  // 10.00 V into 2 ohm: 5.000 A
        h.core->I_KnobChange(5100);
        h.core->OnOffBtnClick();
        ASSERT_TRUE(h.WaitFor([&] { return h.view.iout == 5000 && h.view.cv; }));
        // Let any start-up counter read pass, then start from zero.
        ASSERT_TRUE(h.WaitPolls(3));
        h.core->ResetCountersButtonClick();
        testsupport::ProcessFor(60);
    }

    // Advances the clock and waits for a session tick to see it.
    void Second(uint32_t AMs = 1000) {
        const uint32_t before = h.core->Time();
        h.clock.Advance(AMs);
        ASSERT_TRUE(h.WaitFor([&] { return h.core->Time() != before; }, 500));
    }

    TSessionHarness h{true};
};

TEST_F(SessionCounters, ChargeAndEnergyAccumulateWithFractionalBits) {
    // 5.000 A: 5 / 3600 Ah per second, 0.1388 units of 0.01 Ah; 50 W: 1.388 units of 0.01 Wh.
    for (int s = 0; s < 36; ++s)
        Second();
    EXPECT_EQ(h.core->Time(), 36u);
    EXPECT_EQ(h.view.timeSeconds, 36u);
    // 36 s at 5 A is 0.05 Ah; the fixed-point sum truncates the last fraction.
    EXPECT_GE(h.core->AHCounter(), 4u);
    EXPECT_LE(h.core->AHCounter(), 5u);
    EXPECT_EQ(h.core->AHCounter(), static_cast<uint32_t>(h.core->AHCounter64() >> 32));
    EXPECT_GE(h.core->WHCounter(), 49u);  // 0.5 Wh
    EXPECT_LE(h.core->WHCounter(), 50u);
    EXPECT_EQ(h.view.charge.Value, h.core->AHCounter());
}

TEST_F(SessionCounters, SkippedSecondAddsNothing) {
    Second();
    const uint64_t ah = h.core->AHCounter64();
    Second(2000);  // a late tick: two seconds at once
    EXPECT_EQ(h.core->Time(), 3u);
    EXPECT_EQ(h.core->AHCounter64(), ah);
    Second();
    EXPECT_GT(h.core->AHCounter64(), ah);
}

TEST_F(SessionCounters, TimeContinuesAcrossOffAndOnWithoutAutoReset) {
    Second();
    Second();
    h.core->OnOffBtnClick();  // off
    ASSERT_TRUE(h.WaitFor([&] { return !h.view.cv; }));
    h.clock.Advance(5000);  // time while off does not count
    testsupport::ProcessFor(50);
    h.core->OnOffBtnClick();  // on again
    Second();
    EXPECT_EQ(h.core->Time(), 3u);
}

TEST_F(SessionCounters, AutoResetStartsFromZeroAtSwitchOn) {
    Second();
    Second();
    h.core->Model().RCNT = true;
    h.core->OnOffBtnClick();  // off
    h.core->OnOffBtnClick();  // on: counters reset
    EXPECT_EQ(h.core->Time(), 0u);
    EXPECT_EQ(h.core->AHCounter64(), 0u);
    Second();
    EXPECT_EQ(h.core->Time(), 1u);
}

}  // namespace
