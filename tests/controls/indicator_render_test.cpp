// Rendering of the four indicator modes into digits and point LEDs.

#include <gtest/gtest.h>

#include "indicator_fakes.h"

namespace indicator_test {
namespace {

using IndicatorRenderTest = IndicatorTest;

struct DecimalCase {
    uint32_t value;
    bool smart;
    bool hoursMinutes;
    const char* shown;
};

class DecimalRenderTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalRenderTest, FourDigitsPointOnThird) {
    const DecimalCase& c = GetParam();
    Rig rig(0, 9999, 4, 3);
    rig.ind->Smart = c.smart;
    rig.ind->SetHoursMinutes(c.hoursMinutes);
    rig.ind->ClearValue();
    rig.Show(c.value);
    EXPECT_EQ(rig.Shown(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecimalRenderTest,
    ::testing::Values(DecimalCase{5, true, false, "_005"}, DecimalCase{1234, true, false, "1234"},
                      DecimalCase{0, true, false, "_000"}, DecimalCase{5, false, false, "0005"},
                      DecimalCase{9999, true, false, "9999"},
                      DecimalCase{10000, true, false, "----"},
                      DecimalCase{4294967294u, true, false, "----"},
                      // Hours-minutes: tens of hours, hours, tens of minutes, minutes.
                      DecimalCase{60, true, true, "_100"}, DecimalCase{60, false, true, "0100"},
                      DecimalCase{5999, true, true, "9959"}, DecimalCase{6000, true, true, "----"},
                      DecimalCase{59, true, true, "_059"}),
    [](const auto& AInfo) {
        const DecimalCase& c = AInfo.param;
        return std::to_string(c.value) + (c.smart ? "_Smart" : "_Plain") +
               (c.hoursMinutes ? "_HoursMinutes" : "");
    });

TEST_F(IndicatorRenderTest, BlanksOnlyLeftOfThePointDigit) {
    Rig rig(0, 999999, 6, 2);
    rig.ind->ClearValue();
    rig.Show(7);
    EXPECT_EQ(rig.Shown(), "____07");
    // A zero between significant digits is never blanked.
    rig.Show(100007);
    EXPECT_EQ(rig.Shown(), "100007");
}

TEST_F(IndicatorRenderTest, FreshIndicatorHoldingZeroRendersNothingUntilCleared) {
    Rig rig;
    rig.digits[4].value = 8;
    rig.Show(0);
    EXPECT_EQ(rig.digits[1].writes, 0);
    rig.ind->ClearValue();
    rig.ind->UpdateDigits();
    EXPECT_EQ(rig.Shown(), "_000");
}

TEST_F(IndicatorRenderTest, UnchangedValueTouchesNoDigit) {
    Rig rig;
    rig.Show(1234);
    int writes = 0;
    for (int i = 0; i < 1000; ++i)
        rig.Show(1234);
    for (uint32_t i = 1; i <= 4; ++i)
        writes += rig.digits[i].writes;
    EXPECT_EQ(writes, 4);
    rig.ind->ClearValue();
    rig.ind->UpdateDigits();
    EXPECT_EQ(rig.digits[1].writes, 2);
}

TEST_F(IndicatorRenderTest, RenderingFiresNoOnChange) {
    Rig rig;
    int changes = 0;
    rig.ind->SetOnChange([&](TIndicator*) { ++changes; });
    rig.Show(42);
    rig.Show(43);
    EXPECT_EQ(changes, 0);
}

TEST_F(IndicatorRenderTest, NoCellRendersNothing) {
    Rig rig;
    rig.ind->ValuePtr = nullptr;
    rig.ind->ClearValue();
    rig.ind->UpdateDigits();
    rig.ind->UpdateTime();
    rig.ind->UpdateCounter();
    EXPECT_EQ(rig.digits[1].writes, 0);
}

struct TimeCase {
    uint32_t seconds;
    const char* shown;
    bool minutesLed;  // PointLed[1]
    bool hoursLed;    // PointLed[2]
};

class TimeRenderTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeRenderTest, SixDigits) {
    const TimeCase& c = GetParam();
    Rig rig(0, 360000, 6, 1);
    rig.leds[1].shown = rig.leds[2].shown = !c.minutesLed;
    int changes = 0;
    rig.ind->SetOnChange([&](TIndicator*) { ++changes; });
    rig.cell = c.seconds;
    rig.ind->ClearValue();
    rig.ind->UpdateTime();
    EXPECT_EQ(rig.Shown(), c.shown);
    EXPECT_EQ(rig.leds[1].shown, c.minutesLed);
    EXPECT_EQ(rig.leds[2].shown, c.hoursLed);
    EXPECT_EQ(changes, 1);
    rig.ind->UpdateTime();
    EXPECT_EQ(changes, 1) << "an unchanged time must not notify";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeRenderTest,
    ::testing::Values(TimeCase{59, "____59", false, false}, TimeCase{60, "___100", true, false},
                      TimeCase{3599, "__5959", true, false}, TimeCase{3600, "_10000", true, true},
                      TimeCase{359999, "995959", true, true},
                      // From 100 hours on the read-out shows whole hours.
                      TimeCase{360000, "___100", false, false},
                      TimeCase{3600000, "__1000", false, false},
                      TimeCase{0, "_____0", false, false}),
    [](const auto& AInfo) { return std::to_string(AInfo.param.seconds) + "s"; });

struct CounterCase {
    uint32_t hundredths;
    const char* shown;
    uint32_t pointPos;
    bool led1;  // point after digit 2
    bool led2;  // point after digit 3
};

class CounterRenderTest : public ::testing::TestWithParam<CounterCase> {};

TEST_P(CounterRenderTest, SixDigits) {
    const CounterCase& c = GetParam();
    Rig rig(0, 4294967295u, 6, 2);
    rig.cell = c.hundredths;
    rig.ind->RefreshCounter();
    EXPECT_EQ(rig.Shown(), c.shown);
    EXPECT_EQ(rig.ind->PointPos, c.pointPos);
    EXPECT_EQ(rig.leds[1].shown, c.led1);
    EXPECT_EQ(rig.leds[2].shown, c.led2);
}

INSTANTIATE_TEST_SUITE_P(Cases, CounterRenderTest,
                         ::testing::Values(CounterCase{0, "___000", 3, false, true},
                                           CounterCase{99999, "_99999", 3, false, true},
                                           CounterCase{100000, "____10", 2, true, false},
                                           CounterCase{123456789, "_12345", 2, true, false},
                                           CounterCase{4294967294u, "429496", 2, true, false}),
                         [](const auto& AInfo) {
                             return std::to_string(AInfo.param.hundredths) + "_hundredths";
                         });

TEST_F(IndicatorRenderTest, CounterSwitchingUnitNotifiesOnce) {
    Rig rig(0, 4294967295u, 6, 2);
    int changes = 0;
    rig.ind->SetOnChange([&](TIndicator* s) {
        EXPECT_EQ(s, rig.ind.get());
        ++changes;
        // A handler that renders again finds nothing left to do.
        s->UpdateCounter();
    });
    rig.cell = 99999;
    rig.ind->UpdateCounter();
    rig.cell = 100000;
    rig.ind->UpdateCounter();
    rig.ind->UpdateCounter();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(rig.Shown(), "____10");
}

}  // namespace
}  // namespace indicator_test
