// Editing through an indicator: typed digits, steps, the wheel and the step control.

#include <gtest/gtest.h>

#include "indicator_fakes.h"

namespace indicator_test {
namespace {

using IndicatorEditTest = IndicatorTest;

TEST_F(IndicatorEditTest, TypingOneTwoThreeFour) {
    Rig rig(0, 9999, 4, 3);
    std::vector<uint32_t> seen;
    rig.ind->SetOnChange([&](TIndicator*) { seen.push_back(rig.cell); });
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(4);
    for (uint32_t d : {1u, 2u, 3u, 4u})
        rig.ind->ValueAtCursor(d);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1000, 1200, 1230, 1234}));
    EXPECT_EQ(rig.ind->CursorPos(), 1);
    EXPECT_EQ(rig.Shown(), "1234");
    rig.ind->ValueAtCursor(9);
    EXPECT_EQ(rig.cell, 1239u);
    EXPECT_EQ(rig.ind->CursorPos(), 1);
}

TEST_F(IndicatorEditTest, RefusedDigitLeavesTheValueButMovesOn) {
    Rig rig(10, 5100, 4, 3);
    rig.cell = 1200;
    int changes = 0;
    rig.ind->SetOnChange([&](TIndicator*) { ++changes; });
    rig.ind->ClearValue();
    rig.ind->UpdateDigits();
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(4);
    rig.ind->ValueAtCursor(6);  // 6200 > 5100
    EXPECT_EQ(rig.cell, 1200u);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(rig.ind->CursorPos(), 3);
    // 0 at the ones position gives 1200 - fine; 0 everywhere would be 0 < MinValue.
    rig.cell = 5;
    rig.ind->SetCursorPos(1);
    rig.ind->ValueAtCursor(0);
    EXPECT_EQ(rig.cell, 5u);
}

TEST_F(IndicatorEditTest, NothingHappensWithoutACursor) {
    Rig rig;
    rig.cell = 100;
    rig.ind->SetEnabled(true);
    rig.ind->ValueAtCursor(5);
    rig.ind->ValueAtCursorUp();
    rig.ind->ValueAtCursorDown();
    EXPECT_EQ(rig.cell, 100u);
}

struct StepCase {
    uint32_t min, max, value;
    int cursor;
    bool up;
    uint32_t expected;
};

class StepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(StepTest, StepsByTheCursorWeightOrRefusesWhole) {
    TIndicator::ResetActive();
    const StepCase& c = GetParam();
    Rig rig(c.min, c.max, 4, 3);
    rig.cell = c.value;
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(c.cursor);
    if (c.up) {
        rig.ind->ValueAtCursorUp();
    } else {
        rig.ind->ValueAtCursorDown();
    }
    EXPECT_EQ(rig.cell, c.expected);
    EXPECT_EQ(rig.ind->CursorPos(), c.cursor);
    TIndicator::ResetActive();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StepTest,
    ::testing::Values(StepCase{10, 5100, 5050, 3, true, 5050},
                      StepCase{10, 5100, 5050, 3, false, 4950},
                      StepCase{10, 5100, 50, 2, false, 40}, StepCase{10, 5100, 15, 2, false, 15},
                      StepCase{0, 9999, 5, 2, false, 5}, StepCase{0, 9999, 9000, 4, true, 9000},
                      StepCase{0, 9999, 8999, 4, true, 9999}, StepCase{0, 9999, 10, 2, false, 0}),
    [](const auto& AInfo) {
        const StepCase& c = AInfo.param;
        return std::to_string(c.value) + "_At" + std::to_string(c.cursor) +
               (c.up ? "_Up" : "_Down");
    });

TEST_F(IndicatorEditTest, StepNearTheTopOfTheCellNeverWraps) {
    Rig rig(0, 4294967295u, 6, 1);
    rig.cell = 4294967290u;
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(2);
    rig.ind->ValueAtCursorUp();
    EXPECT_EQ(rig.cell, 4294967290u);
}

TEST_F(IndicatorEditTest, TypedDigitNearTheTopOfTheCellNeverWraps) {
    Rig rig(0, 4294967295u, 6, 1);
    rig.cell = 4294967295u;
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(5);
    rig.ind->ValueAtCursor(9);  // would be 4294997295, past 32 bits
    EXPECT_EQ(rig.cell, 4294967295u);
}

TEST_F(IndicatorEditTest, HoursMinutesEditing) {
    Rig rig(1, 5999, 4, 3);
    rig.ind->SetHoursMinutes(true);
    rig.cell = 59;
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(2);
    rig.ind->ValueAtCursor(7);
    EXPECT_EQ(rig.cell, 59u);
    EXPECT_EQ(rig.ind->CursorPos(), 2) << "a refused tens-of-minutes digit does not move on";
    rig.ind->ValueAtCursor(3);
    EXPECT_EQ(rig.cell, 39u);
    EXPECT_EQ(rig.ind->CursorPos(), 1);
    rig.cell = 59;
    rig.ind->ValueAtCursorUp();
    EXPECT_EQ(rig.cell, 60u);
    EXPECT_EQ(rig.Shown(), "0100");
    rig.ind->SetCursorPos(3);
    rig.ind->ValueAtCursorUp();  // one hour
    EXPECT_EQ(rig.cell, 120u);
}

TEST_F(IndicatorEditTest, WheelOverADigitMovesTheCursorAndSteps) {
    Rig rig(0, 9999, 4, 3);
    rig.cell = 1000;
    rig.ind->SetEnabled(true);
    rig.ind->MouseWheelUp(&rig.digits[3]);
    EXPECT_EQ(rig.ind->CursorPos(), 3);
    EXPECT_EQ(rig.cell, 1100u);
    rig.ind->MouseWheelDown(&rig.digits[4]);
    EXPECT_EQ(rig.ind->CursorPos(), 4);
    EXPECT_EQ(rig.cell, 100u);
    // Digits above DataLen and foreign controls do nothing.
    rig.ind->MouseWheelUp(&rig.digits[5]);
    FakeDigit stranger;
    rig.ind->MouseWheelUp(&stranger);
    EXPECT_EQ(rig.cell, 100u);
    EXPECT_EQ(rig.ind->CursorPos(), 4);
}

TEST_F(IndicatorEditTest, WheelOnADisabledIndicatorDoesNothing) {
    Rig rig;
    rig.cell = 1000;
    rig.ind->MouseWheelUp(&rig.digits[1]);
    EXPECT_EQ(rig.cell, 1000u);
    EXPECT_EQ(rig.ind->CursorPos(), 0);
}

TEST_F(IndicatorEditTest, StepControlFirstPlacesTheCursorThenSteps) {
    Rig rig(0, 9999, 4, 3);
    FakeStepControl step;
    rig.ind->SetUpDownCtrl(&step);
    EXPECT_EQ(step.min, 0);
    EXPECT_EQ(step.max, 65535);
    EXPECT_EQ(step.position, 32768);
    rig.cell = 500;
    step.Click(true);
    EXPECT_EQ(rig.ind->CursorPos(), 0) << "a disabled indicator ignores its step control";
    rig.ind->SetEnabled(true);
    step.Click(true);
    EXPECT_EQ(rig.ind->CursorPos(), 2);
    EXPECT_EQ(rig.cell, 500u);
    step.Click(true);
    EXPECT_EQ(rig.cell, 510u);
    step.Click(false);
    step.Click(false);
    EXPECT_EQ(rig.cell, 490u);
}

TEST_F(IndicatorEditTest, StepControlFollowsItsLatestIndicator) {
    FakeStepControl step;
    auto first = std::make_unique<Rig>();
    Rig second;
    first->ind->SetUpDownCtrl(&step);
    second.ind->SetUpDownCtrl(&step);
    EXPECT_EQ(step.target, second.ind.get());
    EXPECT_EQ(first->ind->UpDownCtrl(), nullptr) << "only the latest indicator stays linked";
    // The first indicator going away must not detach the second one's link.
    first.reset();
    EXPECT_EQ(step.target, second.ind.get());
    second.ind.reset();
    EXPECT_EQ(step.target, nullptr);
}

TEST_F(IndicatorEditTest, StepControlGoingFirstUnlinksItself) {
    Rig rig;
    auto step = std::make_unique<FakeStepControl>();
    rig.ind->SetUpDownCtrl(step.get());
    step.reset();
    EXPECT_EQ(rig.ind->UpDownCtrl(), nullptr);
    rig.ind->SetEnabled(true);  // would touch the control's pointer shape
}

TEST_F(IndicatorEditTest, OnChangeFiresOnlyForAcceptedEdits) {
    Rig rig(0, 9999, 4, 3);
    rig.cell = 9990;
    rig.ind->ClearValue();
    rig.ind->UpdateDigits();
    int changes = 0;
    rig.ind->SetOnChange([&](TIndicator*) { ++changes; });
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(2);
    rig.ind->ValueAtCursorUp();  // 10000 refused
    EXPECT_EQ(changes, 0);
    rig.ind->ValueAtCursorDown();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(rig.Shown(), "9980");
}

}  // namespace
}  // namespace indicator_test
