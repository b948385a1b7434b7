// The digit cursor: placement, moves, blinking, auto-stop and the process-wide active indicator.

#include <gtest/gtest.h>

#include "indicator_fakes.h"

namespace indicator_test {
namespace {

using IndicatorCursorTest = IndicatorTest;

constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kGrey = 0x808080;

TEST_F(IndicatorCursorTest, DisabledIndicatorTakesNoCursor) {
    Rig rig;
    rig.ind->SetCursorPos(2);
    EXPECT_EQ(rig.ind->CursorPos(), 0);
    EXPECT_EQ(TIndicator::Active(), nullptr);
    EXPECT_FALSE(rig.timer->running);
}

TEST_F(IndicatorCursorTest, PlacementFlashesTheDigitAndUnblanksIt) {
    Rig rig;
    rig.ind->SetEnabled(true);
    rig.ind->ClearValue();
    rig.Show(500);
    EXPECT_EQ(rig.Shown(), "_500");
    rig.ind->SetCursorPos(4);
    EXPECT_EQ(rig.Shown(), "0500");
    EXPECT_EQ(rig.digits[4].onColor, kGrey);
    EXPECT_TRUE(rig.ind->FlashOn());
    EXPECT_TRUE(rig.timer->running);
    EXPECT_EQ(rig.timer->interval, 300);
    EXPECT_EQ(TIndicator::Active(), rig.ind.get());
    // Moving on returns the old digit to the on-colour.
    rig.ind->SetCursorPos(1);
    EXPECT_EQ(rig.digits[4].onColor, kWhite);
    EXPECT_EQ(rig.digits[1].onColor, kGrey);
    // While the cursor is shown nothing is blanked.
    rig.Show(7);
    EXPECT_EQ(rig.Shown(), "0007");
}

struct MoveCase {
    int start;
    bool left;
    int expected;
};

class CursorMoveTest : public ::testing::TestWithParam<MoveCase> {};

TEST_P(CursorMoveTest, WrapsAround) {
    TIndicator::ResetActive();
    Rig rig;
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(GetParam().start);
    if (GetParam().left) {
        rig.ind->MoveCursorLeft();
    } else {
        rig.ind->MoveCursorRight();
    }
    EXPECT_EQ(rig.ind->CursorPos(), GetParam().expected);
    TIndicator::ResetActive();
}

INSTANTIATE_TEST_SUITE_P(Cases, CursorMoveTest,
                         ::testing::Values(MoveCase{1, false, 4}, MoveCase{4, true, 1},
                                           MoveCase{2, true, 3}, MoveCase{3, false, 2},
                                           // Without a cursor both moves land on position 1.
                                           MoveCase{0, true, 1}, MoveCase{0, false, 1},
                                           // Positions past DataLen go to 1.
                                           MoveCase{5, true, 2}, MoveCase{65536 + 3, true, 4}),
                         [](const auto& AInfo) {
                             return "From" + std::to_string(AInfo.param.start) +
                                    (AInfo.param.left ? "_Left" : "_Right");
                         });

TEST_F(IndicatorCursorTest, WritingZeroRemovesTheCursorSilently) {
    Rig rig;
    int leaves = 0;
    rig.ind->SetOnLeaveCursor([&](TIndicator*) { ++leaves; });
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(3);
    rig.ind->SetCursorPos(0);
    EXPECT_EQ(rig.ind->CursorPos(), 0);
    EXPECT_EQ(rig.digits[3].onColor, kWhite);
    EXPECT_EQ(leaves, 0);
    // The next tick finds no cursor and stops the timer.
    rig.timer->Tick();
    EXPECT_FALSE(rig.timer->running);
}

TEST_F(IndicatorCursorTest, SecondIndicatorTakesTheCursorAway) {
    Rig first, second;
    int firstLeaves = 0, secondLeaves = 0;
    first.ind->SetOnLeaveCursor([&](TIndicator*) { ++firstLeaves; });
    second.ind->SetOnLeaveCursor([&](TIndicator*) { ++secondLeaves; });
    first.ind->SetEnabled(true);
    second.ind->SetEnabled(true);
    first.ind->SetCursorPos(2);
    second.ind->SetCursorPos(3);
    EXPECT_EQ(first.ind->CursorPos(), 0);
    EXPECT_EQ(first.digits[2].onColor, kWhite);
    EXPECT_EQ(firstLeaves, 1);
    EXPECT_EQ(secondLeaves, 0);
    EXPECT_EQ(TIndicator::Active(), second.ind.get());
    EXPECT_EQ(second.ind->CursorPos(), 3);
}

TEST_F(IndicatorCursorTest, LeaveCursorRedrawsBlankingAndNotifies) {
    Rig rig;
    int leaves = 0;
    rig.ind->SetOnLeaveCursor([&](TIndicator* s) {
        EXPECT_EQ(s, rig.ind.get());
        ++leaves;
    });
    rig.ind->SetEnabled(true);
    rig.ind->ClearValue();
    rig.Show(5);
    rig.ind->SetCursorPos(4);
    rig.cell = 6;  // changed while editing, so leaving redraws with blanking
    rig.ind->LeaveCursor();
    EXPECT_EQ(rig.Shown(), "_006");
    EXPECT_EQ(TIndicator::Active(), nullptr);
    EXPECT_EQ(leaves, 1);
    EXPECT_FALSE(rig.ind->FlashOn());
}

TEST_F(IndicatorCursorTest, CursorBlinksAndLeavesOnTheSixteenthIdleTick) {
    Rig rig;
    int leaves = 0;
    rig.ind->SetOnLeaveCursor([&](TIndicator*) { ++leaves; });
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(2);
    rig.timer->Tick();
    EXPECT_EQ(rig.digits[2].onColor, kWhite);
    rig.timer->Tick();
    EXPECT_EQ(rig.digits[2].onColor, kGrey);
    for (int i = 3; i <= 15; ++i)
        rig.timer->Tick();
    EXPECT_EQ(rig.ind->CursorPos(), 2);
    rig.timer->Tick();
    EXPECT_EQ(rig.ind->CursorPos(), 0);
    EXPECT_EQ(leaves, 1);
    EXPECT_FALSE(rig.timer->running);
    EXPECT_EQ(rig.digits[2].onColor, kWhite);
}

TEST_F(IndicatorCursorTest, AnEditRestartsTheIdleCount) {
    Rig rig(0, 9999, 4, 3);
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(1);
    for (int i = 0; i < 15; ++i)
        rig.timer->Tick();
    rig.ind->ValueAtCursorUp();
    for (int i = 0; i < 15; ++i)
        rig.timer->Tick();
    EXPECT_EQ(rig.ind->CursorPos(), 1);
    rig.timer->Tick();
    EXPECT_EQ(rig.ind->CursorPos(), 0);
}

TEST_F(IndicatorCursorTest, WithoutAutoStopTheCursorStays) {
    Rig rig;
    rig.ind->SetAutoStop(false);
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(4);
    for (int i = 0; i < 100; ++i)
        rig.timer->Tick();
    EXPECT_EQ(rig.ind->CursorPos(), 4);
    EXPECT_TRUE(rig.timer->running);
    // An even number of ticks leaves the digit in its flash phase.
    EXPECT_EQ(rig.digits[4].onColor, kGrey);
    EXPECT_NE(rig.digits[4].value, kDigitBlank);
}

TEST_F(IndicatorCursorTest, DisablingTakesTheCursorAwayAndSetsPointers) {
    Rig rig;
    FakeStepControl step;
    rig.ind->SetUpDownCtrl(&step);
    int leaves = 0;
    rig.ind->SetOnLeaveCursor([&](TIndicator*) { ++leaves; });
    rig.ind->SetEnabled(true);
    EXPECT_TRUE(rig.digits[1].handCursor);
    EXPECT_TRUE(rig.digits[6].handCursor);
    EXPECT_TRUE(step.handCursor);
    rig.ind->SetCursorPos(3);
    rig.ind->SetEnabled(false);
    EXPECT_EQ(rig.ind->CursorPos(), 0);
    EXPECT_EQ(leaves, 1);
    EXPECT_FALSE(rig.digits[1].handCursor);
    EXPECT_FALSE(step.handCursor);
    EXPECT_EQ(TIndicator::Active(), nullptr);
}

TEST_F(IndicatorCursorTest, ColourRecoloursDigitsLedsAndFlash) {
    Rig rig;
    EXPECT_EQ(rig.ind->FlashColor(), kGrey);
    const TColor orange = 0x0088FF;  // #FF8800 as 0x00BBGGRR
    rig.ind->SetColor(orange);
    EXPECT_EQ(rig.ind->FlashColor(), TColor{0x00447F});  // #7F4400
    for (uint32_t i = 1; i <= 6; ++i)
        EXPECT_EQ(rig.digits[i].onColor, orange);
    EXPECT_EQ(rig.leds[1].onColor, orange);
    EXPECT_EQ(rig.leds[2].onColor, orange);
    rig.ind->SetEnabled(true);
    rig.ind->SetCursorPos(2);
    EXPECT_EQ(rig.digits[2].onColor, TColor{0x00447F});
}

TEST_F(IndicatorCursorTest, DestroyingTheActiveIndicatorClearsIt) {
    auto rig = std::make_unique<Rig>();
    rig->ind->SetEnabled(true);
    rig->ind->SetCursorPos(1);
    rig.reset();
    EXPECT_EQ(TIndicator::Active(), nullptr);
    Rig other;
    other.ind->SetEnabled(true);
    other.ind->SetCursorPos(1);
    EXPECT_EQ(other.ind->CursorPos(), 1);
}

}  // namespace
}  // namespace indicator_test
