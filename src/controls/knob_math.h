#pragma once
// Position and angle arithmetic of the multi-turn knob, free of any drawing: the range is spread
// over ten turns, the pointer angle follows the position, and mouse, key and wheel input become
// position changes. The knob widget only forwards its events here and repaints.
//
// Angles are whole degrees on the screen, 0 pointing right and growing clockwise (90 is down).

#include <Qt>
#include <cstdint>

constexpr int kKnobTurnsCount = 10;

struct TLN_KnobModel {
    int32_t Min = 0;
    int32_t Max = 5000;
    int32_t Position = 0;
    uint16_t PageSize = 10;
    int Steps = 0;            // positions per turn, made positive
    float AngleInterval = 0;  // degrees per position; 0 when Steps is 0
    int Angle = 0;            // pointer angle, 0..359
    int Turn = 0;             // current turn
    int PrevAngle = 0;        // knob angle at the last drag step
    int PrevMouseAngle = 0;   // mouse angle at the last drag step
    bool MouseDown = false;   // a press inside the face is active
    bool Dragging = false;    // the press has moved the knob

    TLN_KnobModel();
};

// Mouse angle of the point (x, y) about the centre (c, c).
int KnobMouseAngle(int x, int y, int c);

// Pointer angle of a position, and position of an angle in a turn.
int KnobAngleOf(const TLN_KnobModel& m, int32_t position);
int32_t KnobPositionOf(const TLN_KnobModel& m, int angle, int turn);

// Stores new limits (the position is not re-clamped) and recomputes Steps, AngleInterval, Angle.
void KnobUpdateMinMax(TLN_KnobModel& m, int32_t aMin, int32_t aMax);

// Moves the knob to v, clamped (below Min gives Min, above Max gives Max - 1); the turn follows
// unless a drag is in progress. Returns whether the position changed.
bool KnobUpdatePosition(TLN_KnobModel& m, int64_t v);

// Targets of one step up or down: Shift a page, else Ctrl the end of the range, else one.
int64_t KnobIncrementTarget(const TLN_KnobModel& m, Qt::KeyboardModifiers shift);
int64_t KnobDecrementTarget(const TLN_KnobModel& m, Qt::KeyboardModifiers shift);

// Input handlers; each returns whether the position changed (the widget then notifies).
bool KnobKey(TLN_KnobModel& m, int key, Qt::KeyboardModifiers shift);
bool KnobWheel(TLN_KnobModel& m, bool up, Qt::KeyboardModifiers shift);
// A left press inside the ellipse inscribed in the diameter x diameter square starts a press;
// returns whether it did (the widget then takes the focus).
bool KnobPress(TLN_KnobModel& m, int x, int y, int diameter);
bool KnobMove(TLN_KnobModel& m, int x, int y, int c);
bool KnobRelease(TLN_KnobModel& m, int x, int y, int c, Qt::KeyboardModifiers shift);
// One drag step to (x, y): the knob turns by as much as the mouse angle changed since the last
// step. Refused across the first or last turn, out of range, or for jumps of half a turn or more.
bool KnobDragStep(TLN_KnobModel& m, int x, int y, int c);

// What a release without a drag does, from the pointer angle and the mouse angle of the release.
enum TKnobClick { kcNone, kcIncrement, kcDecrement, kcJump };
TKnobClick KnobClassifyClick(int pointerAngle, int mouseAngle);

// Side of the square control after a resize to width x height, given the stored diameter.
int KnobDiameterForResize(int stored, int width, int height);
