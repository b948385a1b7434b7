#include <gtest/gtest.h>

#include <QPoint>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "controls/knob_math.h"

namespace {

// The main window's voltage knob range.
TLN_KnobModel VoltageKnob(int32_t position) {
    TLN_KnobModel m;
    KnobUpdateMinMax(m, 10, 5100);
    KnobUpdatePosition(m, position);
    return m;
}

// A point at screen angle `deg` (clockwise from the right) and distance `dist` from centre c.
QPoint At(int c, double deg, double dist = 40) {
    const double a = deg * std::numbers::pi / 180;
    return QPoint(static_cast<int>(std::lround(c + dist * std::cos(a))),
                  static_cast<int>(std::lround(c + dist * std::sin(a))));
}

constexpr int kC = 49;  // centre of a 98 x 98 knob

TEST(KnobMath, VoltageRangeStepsAndInterval) {
    const TLN_KnobModel m = VoltageKnob(10);
    EXPECT_EQ(m.Steps, 509);
    EXPECT_NEAR(m.AngleInterval, 0.70727, 1e-5);
    EXPECT_EQ(m.Angle, 0);
    EXPECT_EQ(m.Turn, 0);
}

TEST(KnobMath, AngleAndTurnFollowThePosition) {
    TLN_KnobModel m = VoltageKnob(519);
    EXPECT_EQ(m.Angle, 0);
    EXPECT_EQ(m.Turn, 1);
    m = VoltageKnob(515);
    EXPECT_EQ(m.Angle, 357);
    EXPECT_EQ(m.Turn, 0);
    m = VoltageKnob(5100);  // the end of the range is the end of the tenth turn
    EXPECT_EQ(m.Angle, 0);
    EXPECT_EQ(m.Turn, 10);
}

TEST(KnobMath, PositionOfAnAngleInATurn) {
    const TLN_KnobModel m = VoltageKnob(10);
    EXPECT_EQ(KnobPositionOf(m, 0, 0), 10);
    EXPECT_EQ(KnobPositionOf(m, 358, 0), 516);
    EXPECT_EQ(KnobPositionOf(m, 90, 3), 10 + 127 + 3 * 509);
}

TEST(KnobMath, MouseAngleIsClockwiseFromTheRight) {
    EXPECT_EQ(KnobMouseAngle(90, kC, kC), 0);
    EXPECT_EQ(KnobMouseAngle(kC, 90, kC), 90);
    EXPECT_EQ(KnobMouseAngle(10, kC, kC), 180);
    EXPECT_EQ(KnobMouseAngle(kC, 10, kC), 270);
    EXPECT_EQ(KnobMouseAngle(kC, kC, kC), 270);  // the centre itself counts as "up"
    EXPECT_EQ(KnobMouseAngle(kC + 10, kC + 10, kC), 45);
    EXPECT_EQ(KnobMouseAngle(kC + 10, kC - 10, kC), 315);
}

TEST(KnobMath, EmptyRangeHasNoTurnsAndDoesNotDivideByZero) {
    TLN_KnobModel m;
    KnobUpdateMinMax(m, 0, 5);
    EXPECT_EQ(m.Steps, 0);
    EXPECT_EQ(m.AngleInterval, 0);
    EXPECT_TRUE(KnobUpdatePosition(m, 3));
    EXPECT_EQ(m.Turn, 0);
    EXPECT_EQ(m.Angle, 0);
    EXPECT_EQ(KnobPositionOf(m, 200, 4), 0);
}

struct ClampCase {
    int64_t in;
    int32_t out;
};
class KnobClampTest : public ::testing::TestWithParam<ClampCase> {};

TEST_P(KnobClampTest, UpdatePositionClamps) {
    TLN_KnobModel m = VoltageKnob(2000);
    KnobUpdatePosition(m, GetParam().in);
    EXPECT_EQ(m.Position, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Limits, KnobClampTest,
                         ::testing::Values(ClampCase{5100, 5100}, ClampCase{5101, 5099},
                                           ClampCase{3, 10}, ClampCase{-70000, 10},
                                           ClampCase{5099, 5099}),
                         [](const auto& AInfo) {
                             const int64_t in = AInfo.param.in;
                             return (in < 0 ? "InMinus" : "In") + std::to_string(in < 0 ? -in : in);
                         });

TEST(KnobMath, UpdatePositionReportsOnlyRealChanges) {
    TLN_KnobModel m = VoltageKnob(2000);
    EXPECT_FALSE(KnobUpdatePosition(m, 2000));
    EXPECT_TRUE(KnobUpdatePosition(m, 2001));
    EXPECT_FALSE(KnobUpdatePosition(m, 2001));
}

struct KeyCase {
    int key;
    Qt::KeyboardModifiers shift;
    int32_t expected;
};
class KnobKeyTest : public ::testing::TestWithParam<KeyCase> {};

// "Shift_Ctrl_PageUp": the modifiers, then the key.
std::string KeyCaseName(const KeyCase& c) {
    std::string name;
    if (c.shift.testFlag(Qt::ShiftModifier)) name += "Shift_";
    if (c.shift.testFlag(Qt::ControlModifier)) name += "Ctrl_";
    switch (c.key) {
        case Qt::Key_Up:
            return name + "Up";
        case Qt::Key_Down:
            return name + "Down";
        case Qt::Key_Left:
            return name + "Left";
        case Qt::Key_Right:
            return name + "Right";
        case Qt::Key_PageUp:
            return name + "PageUp";
        case Qt::Key_PageDown:
            return name + "PageDown";
        case Qt::Key_Home:
            return name + "Home";
        case Qt::Key_End:
            return name + "End";
        default:
            if (c.key >= Qt::Key_A && c.key <= Qt::Key_Z) return name + static_cast<char>(c.key);
            return name + "Key" + std::to_string(c.key);
    }
}

TEST_P(KnobKeyTest, KeysStepFromTwoThousand) {
    TLN_KnobModel m = VoltageKnob(2000);
    KnobKey(m, GetParam().key, GetParam().shift);
    EXPECT_EQ(m.Position, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, KnobKeyTest,
                         ::testing::Values(KeyCase{Qt::Key_Up, Qt::NoModifier, 2001},
                                           KeyCase{Qt::Key_Right, Qt::NoModifier, 2001},
                                           KeyCase{Qt::Key_Down, Qt::NoModifier, 1999},
                                           KeyCase{Qt::Key_Left, Qt::NoModifier, 1999},
                                           KeyCase{Qt::Key_Up, Qt::ControlModifier, 5099},
                                           KeyCase{Qt::Key_Down, Qt::ControlModifier, 10},
                                           KeyCase{Qt::Key_Up, Qt::ShiftModifier, 2010},
                                           KeyCase{Qt::Key_Down, Qt::ShiftModifier, 1990},
                                           // Shift wins over Ctrl.
                                           KeyCase{Qt::Key_Up,
                                                   Qt::ShiftModifier | Qt::ControlModifier, 2010},
                                           KeyCase{Qt::Key_PageUp, Qt::NoModifier, 2010},
                                           KeyCase{Qt::Key_PageDown, Qt::NoModifier, 1990},
                                           KeyCase{Qt::Key_PageDown, Qt::ControlModifier, 1990},
                                           KeyCase{Qt::Key_Home, Qt::NoModifier, 10},
                                           KeyCase{Qt::Key_End, Qt::NoModifier, 2000},
                                           KeyCase{Qt::Key_A, Qt::NoModifier, 2000}),
                         [](const auto& AInfo) { return KeyCaseName(AInfo.param); });

TEST(KnobMath, StepsClampAtTheEnds) {
    TLN_KnobModel m = VoltageKnob(5095);
    KnobKey(m, Qt::Key_PageUp, Qt::NoModifier);
    EXPECT_EQ(m.Position, 5099);
    m = VoltageKnob(12);
    KnobWheel(m, false, Qt::ShiftModifier);
    EXPECT_EQ(m.Position, 10);
    KnobWheel(m, true, Qt::NoModifier);
    EXPECT_EQ(m.Position, 11);
}

// Presses at mouse angle 0 (straight right of the centre, exact) and drags through points far
// out at the given angles, so every mouse angle is exact. With the press at 0 the knob turns to
// its angle at the press plus each mouse angle.
bool PressAtZeroAndDrag(TLN_KnobModel& m, std::initializer_list<double> toDegs) {
    EXPECT_TRUE(KnobPress(m, kC + 40, kC, 2 * kC));
    bool moved = false;
    for (double deg : toDegs) {
        const QPoint p = At(kC, deg, 400);
        EXPECT_EQ(KnobMouseAngle(p.x(), p.y(), kC), static_cast<int>(deg));
        moved = KnobMove(m, p.x(), p.y(), kC);
    }
    return moved;
}

TEST(KnobDrag, SmallClockwiseDragFrom515Reaches516) {
    TLN_KnobModel m = VoltageKnob(515);  // angle 357
    EXPECT_TRUE(PressAtZeroAndDrag(m, {1}));
    EXPECT_EQ(m.Position, 516);
    EXPECT_EQ(m.Turn, 0);
    EXPECT_TRUE(m.Dragging);
}

TEST(KnobDrag, ClockwiseAcrossZeroEntersTheNextTurn) {
    TLN_KnobModel m = VoltageKnob(515);       // angle 357, turn 0
    EXPECT_TRUE(PressAtZeroAndDrag(m, {8}));  // knob angle 365 = 5
    EXPECT_EQ(m.Turn, 1);
    EXPECT_EQ(m.Position, 10 + 509 + 7);  // rnd(5 / 0.70727) = 7
    EXPECT_EQ(m.Angle, 5);
}

TEST(KnobDrag, AnticlockwiseAcrossZeroReturnsToThePreviousTurn) {
    TLN_KnobModel m = VoltageKnob(526);  // angle 5, turn 1
    ASSERT_EQ(m.Turn, 1);
    EXPECT_TRUE(PressAtZeroAndDrag(m, {352}));  // knob angle 357
    EXPECT_EQ(m.Turn, 0);
    EXPECT_EQ(m.Position, 515);
}

TEST(KnobDrag, DragFollowsTheMouseTurnByTurn) {
    TLN_KnobModel m = VoltageKnob(10);
    // Three full clockwise turns in 30-degree steps.
    std::vector<double> path;
    for (int i = 1; i <= 36; ++i)
        path.push_back((i * 30) % 360);
    EXPECT_TRUE(KnobPress(m, kC + 40, kC, 2 * kC));
    for (double deg : path) {
        const QPoint p = At(kC, deg, 400);
        KnobMove(m, p.x(), p.y(), kC);
    }
    EXPECT_EQ(m.Turn, 3);
    EXPECT_EQ(m.Position, 10 + 3 * 509);
}

TEST(KnobDrag, ClockwisePastZeroInTheLastTurnIsRefused) {
    TLN_KnobModel m = VoltageKnob(5096);  // angle 357, turn 9
    ASSERT_EQ(m.Turn, 9);
    ASSERT_EQ(m.Angle, 357);
    EXPECT_FALSE(PressAtZeroAndDrag(m, {8}));
    EXPECT_EQ(m.Position, 5096);
    EXPECT_EQ(m.Turn, 9);
    EXPECT_FALSE(m.Dragging);
}

TEST(KnobDrag, AnticlockwisePastZeroInTheFirstTurnIsRefused) {
    TLN_KnobModel m = VoltageKnob(15);  // angle 4, turn 0
    EXPECT_FALSE(PressAtZeroAndDrag(m, {350}));
    EXPECT_EQ(m.Position, 15);
    EXPECT_EQ(m.Turn, 0);
}

TEST(KnobDrag, JumpOfHalfATurnIsNoise) {
    TLN_KnobModel m = VoltageKnob(2000);  // angle 327, turn 3
    ASSERT_EQ(m.Angle, 327);
    // Knob angle 147 in turn 3 is position 1745: 255 away, at least half of 509.
    EXPECT_FALSE(PressAtZeroAndDrag(m, {180}));
    EXPECT_EQ(m.Position, 2000);
    // The step still became the reference: a further small move is measured from there.
    const QPoint p = At(kC, 181, 400);
    KnobMove(m, p.x(), p.y(), kC);
    EXPECT_EQ(m.Position, 2000);
}

TEST(KnobDrag, JustUnderHalfATurnIsAccepted) {
    TLN_KnobModel m = VoltageKnob(2000);  // angle 327, turn 3
    // Knob angle 148: rnd(209.25) = 209, position 1746, 254 away: still refused (>= 509 div 2).
    EXPECT_FALSE(PressAtZeroAndDrag(m, {181}));
    m = VoltageKnob(2000);
    // Knob angle 149: rnd(210.67) = 211, position 1748, 252 away: accepted.
    EXPECT_TRUE(PressAtZeroAndDrag(m, {182}));
    EXPECT_EQ(m.Position, 1748);
}

TEST(KnobDrag, CentreZoneEndsThePress) {
    TLN_KnobModel m = VoltageKnob(2000);
    EXPECT_TRUE(PressAtZeroAndDrag(m, {10}));
    EXPECT_TRUE(m.Dragging);
    EXPECT_FALSE(KnobMove(m, kC, kC, kC));
    EXPECT_FALSE(m.MouseDown);
    EXPECT_FALSE(m.Dragging);
    const int32_t pos = m.Position;
    const QPoint p = At(kC, 40, 400);
    EXPECT_FALSE(KnobMove(m, p.x(), p.y(), kC));  // no press any more
    EXPECT_FALSE(KnobRelease(m, p.x(), p.y(), kC, Qt::NoModifier));
    EXPECT_EQ(m.Position, pos);
}

TEST(KnobDrag, PressOutsideTheFaceDoesNothing) {
    TLN_KnobModel m = VoltageKnob(2000);
    EXPECT_FALSE(KnobPress(m, 2, 2, 98));
    EXPECT_FALSE(m.MouseDown);
    EXPECT_TRUE(KnobPress(m, 49, 2, 98));
}

struct ClickCase {
    int pointer, mouse;
    TKnobClick expected;
};
class KnobClickTest : public ::testing::TestWithParam<ClickCase> {};

// "Pointer100_Mouse190_Increment".
std::string ClickCaseName(const ::testing::TestParamInfo<ClickCase>& AInfo) {
    static const char* const kClicks[] = {"None", "Increment", "Decrement", "Jump"};
    const ClickCase& c = AInfo.param;
    return "Pointer" + std::to_string(c.pointer) + "_Mouse" + std::to_string(c.mouse) + "_" +
           kClicks[c.expected];
}

TEST_P(KnobClickTest, Classify) {
    EXPECT_EQ(KnobClassifyClick(GetParam().pointer, GetParam().mouse), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, KnobClickTest,
    ::testing::Values(ClickCase{100, 100, kcNone}, ClickCase{100, 190, kcIncrement},
                      ClickCase{100, 10, kcDecrement}, ClickCase{100, 110, kcJump},
                      ClickCase{100, 71, kcJump}, ClickCase{100, 70, kcDecrement},
                      ClickCase{100, 130, kcIncrement}, ClickCase{350, 80, kcIncrement},
                      ClickCase{300, 200, kcDecrement}, ClickCase{10, 350, kcJump},
                      ClickCase{350, 20, kcIncrement}, ClickCase{0, 330, kcDecrement},
                      ClickCase{0, 331, kcJump}, ClickCase{200, 20, kcIncrement}),
    ClickCaseName);

// Press and release at the same point at mouse angle `deg` (exact axis points only).
bool ClickAt(TLN_KnobModel& m, int deg, Qt::KeyboardModifiers shift = Qt::NoModifier) {
    const QPoint p = At(kC, deg, 40);
    EXPECT_EQ(KnobMouseAngle(p.x(), p.y(), kC), deg);
    EXPECT_TRUE(KnobPress(m, p.x(), p.y(), 2 * kC));
    return KnobRelease(m, p.x(), p.y(), kC, shift);
}

TEST(KnobClick, ClickAheadIncrementsAndBehindDecrements) {
    TLN_KnobModel m = VoltageKnob(1993);  // rnd(1402.51) = 1403: angle 323
    ASSERT_EQ(m.Angle, 323);
    EXPECT_TRUE(ClickAt(m, 90));  // 127 degrees ahead (across 0)
    EXPECT_EQ(m.Position, 1994);
    EXPECT_TRUE(ClickAt(m, 180));  // behind
    EXPECT_EQ(m.Position, 1993);
    EXPECT_TRUE(ClickAt(m, 90, Qt::ShiftModifier));
    EXPECT_EQ(m.Position, 2003);
    EXPECT_TRUE(ClickAt(m, 180, Qt::ControlModifier));
    EXPECT_EQ(m.Position, 10);
    EXPECT_FALSE(m.MouseDown);
}

TEST(KnobClick, ClickNearThePointerMovesItThere) {
    TLN_KnobModel m = VoltageKnob(10 + 3 * 509 + 113);  // angle 80 in turn 3
    ASSERT_EQ(m.Angle, 80);
    EXPECT_TRUE(ClickAt(m, 90));
    EXPECT_EQ(m.Position, 10 + 3 * 509 + 127);  // rnd(90 / 0.70727) = 127
    EXPECT_EQ(m.Angle, 90);
    EXPECT_FALSE(m.Dragging);
}

TEST(KnobMath, ResizeKeepsTheControlSquare) {
    EXPECT_EQ(KnobDiameterForResize(40, 98, 60), 98);  // grows to the larger side
    EXPECT_EQ(KnobDiameterForResize(98, 95, 98), 95);  // otherwise the smaller one
    EXPECT_EQ(KnobDiameterForResize(98, 98, 98), 98);
}

}  // namespace
