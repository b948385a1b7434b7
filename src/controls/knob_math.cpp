#include "controls/knob_math.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "controls/seven_segment_geometry.h"

namespace {

int Mod360(int64_t a) {
    const int64_t r = a % 360;
    return static_cast<int>(r < 0 ? r + 360 : r);
}

}  // namespace

TLN_KnobModel::TLN_KnobModel() {
    KnobUpdateMinMax(*this, Min, Max);
}

int KnobMouseAngle(int x, int y, int c) {
    if (x == c) return y > c ? 90 : 270;
    const double deg = std::atan2(double(c - y), double(c - x)) * 180.0 / std::numbers::pi;
    return Mod360(RoundHalfEven(deg) + 180);
}

int KnobAngleOf(const TLN_KnobModel& m, int32_t position) {
    const double a = double(int64_t(position) - m.Min) * double(m.AngleInterval);
    return Mod360(RoundHalfEven(a));
}

int32_t KnobPositionOf(const TLN_KnobModel& m, int angle, int turn) {
    if (m.AngleInterval == 0) return m.Min;
    const int64_t p = RoundHalfEven(double(angle) / double(m.AngleInterval)) + int64_t(m.Min) +
                      int64_t(turn) * m.Steps;
    return static_cast<int32_t>(std::clamp<int64_t>(p, INT32_MIN, INT32_MAX));
}

void KnobUpdateMinMax(TLN_KnobModel& m, int32_t aMin, int32_t aMax) {
    m.Min = aMin;
    m.Max = aMax;
    const int64_t steps = (int64_t(aMax) - aMin) / kKnobTurnsCount;
    if (steps == 0) {
        m.AngleInterval = 0;
    } else {
        m.AngleInterval = static_cast<float>(360.0 / double(steps));
    }
    m.Steps = static_cast<int>(std::llabs(steps));
    m.Angle = KnobAngleOf(m, m.Position);
}

bool KnobUpdatePosition(TLN_KnobModel& m, int64_t v) {
    if (v < m.Min) v = m.Min;
    if (v > m.Max) v = int64_t(m.Max) - 1;
    if (v == m.Position) return false;
    m.Position = static_cast<int32_t>(v);
    // A range narrower than ten positions has no turns to count (and nothing to divide by).
    if (!m.Dragging) m.Turn = m.Steps > 0 ? static_cast<int>((v - m.Min) / m.Steps) : 0;
    m.Angle = KnobAngleOf(m, m.Position);
    return true;
}

int64_t KnobIncrementTarget(const TLN_KnobModel& m, Qt::KeyboardModifiers shift) {
    if (shift & Qt::ShiftModifier) return int64_t(m.Position) + m.PageSize;
    if (shift & Qt::ControlModifier) return int64_t(m.Max) - 1;
    return int64_t(m.Position) + 1;
}

int64_t KnobDecrementTarget(const TLN_KnobModel& m, Qt::KeyboardModifiers shift) {
    if (shift & Qt::ShiftModifier) return int64_t(m.Position) - m.PageSize;
    if (shift & Qt::ControlModifier) return m.Min;
    return int64_t(m.Position) - 1;
}

bool KnobKey(TLN_KnobModel& m, int key, Qt::KeyboardModifiers shift) {
    switch (key) {
        case Qt::Key_PageUp:
            return KnobUpdatePosition(m, KnobIncrementTarget(m, shift | Qt::ShiftModifier));
        case Qt::Key_PageDown:
            return KnobUpdatePosition(m, KnobDecrementTarget(m, shift | Qt::ShiftModifier));
        case Qt::Key_Home:
            return KnobUpdatePosition(m, m.Min);
        case Qt::Key_Up:
        case Qt::Key_Right:
            return KnobUpdatePosition(m, KnobIncrementTarget(m, shift));
        case Qt::Key_Down:
        case Qt::Key_Left:
            return KnobUpdatePosition(m, KnobDecrementTarget(m, shift));
        default:
            return false;
    }
}

bool KnobWheel(TLN_KnobModel& m, bool up, Qt::KeyboardModifiers shift) {
    return KnobUpdatePosition(m,
                              up ? KnobIncrementTarget(m, shift) : KnobDecrementTarget(m, shift));
}

bool KnobPress(TLN_KnobModel& m, int x, int y, int diameter) {
    if (diameter <= 0) return false;
    const double r = diameter / 2.0;
    const double dx = (x - r) / r, dy = (y - r) / r;
    if (dx * dx + dy * dy > 1.0) return false;
    m.PrevMouseAngle = KnobMouseAngle(x, y, diameter / 2);
    m.PrevAngle = m.Angle;
    m.MouseDown = true;
    return true;
}

bool KnobMove(TLN_KnobModel& m, int x, int y, int c) {
    if (!m.MouseDown) return false;
    const int dx = x - c, dy = y - c;
    if (dx * dx + dy * dy < 25) {
        m.MouseDown = false;
        m.Dragging = false;
        return false;
    }
    return KnobDragStep(m, x, y, c);
}

bool KnobDragStep(TLN_KnobModel& m, int x, int y, int c) {
    const int d = KnobMouseAngle(x, y, c);
    const int e = Mod360(int64_t(d) + m.PrevAngle - m.PrevMouseAngle);
    int t = m.Turn;
    if (e < 90 && m.Angle > 270) {
        if (t >= kKnobTurnsCount - 1) return false;  // clockwise past 0 in the last turn
        ++t;
    } else if (e > 270 && m.Angle >= 0 && m.Angle < 90) {
        if (t <= 0) return false;  // anticlockwise past 0 in the first turn
        --t;
    }
    m.PrevAngle = e;
    m.PrevMouseAngle = d;
    const int32_t v = KnobPositionOf(m, e, t);
    if (v < m.Min || v >= m.Max || v == m.Position) return false;
    // A jump of half a turn or more is taken as noise (the mouse crossed the centre).
    if (std::llabs(int64_t(v) - m.Position) >= m.Steps / 2) return false;
    // In range and different, so the write below takes it unclamped; the turn is the step's own,
    // not one recomputed from the position.
    m.Dragging = true;
    KnobUpdatePosition(m, v);
    m.Turn = t;
    return true;
}

TKnobClick KnobClassifyClick(int pointerAngle, int mouseAngle) {
    const int diff = std::abs(pointerAngle - mouseAngle);
    if (diff == 0) return kcNone;
    if (diff < 30 || diff > 330) return kcJump;
    bool ahead;
    if (pointerAngle > 180) {
        ahead = mouseAngle >= pointerAngle || mouseAngle <= pointerAngle - 180;
    } else {
        ahead = mouseAngle > pointerAngle && mouseAngle < pointerAngle + 180;
    }
    return ahead ? kcIncrement : kcDecrement;
}

bool KnobRelease(TLN_KnobModel& m, int x, int y, int c, Qt::KeyboardModifiers shift) {
    bool changed = false;
    if (m.MouseDown && !m.Dragging) {
        switch (KnobClassifyClick(m.Angle, KnobMouseAngle(x, y, c))) {
            case kcIncrement:
                changed = KnobUpdatePosition(m, KnobIncrementTarget(m, shift));
                break;
            case kcDecrement:
                changed = KnobUpdatePosition(m, KnobDecrementTarget(m, shift));
                break;
            case kcJump:
                // The pointer jumps to where the operator clicked.
                m.PrevMouseAngle = m.Angle;
                changed = KnobDragStep(m, x, y, c);
                break;
            case kcNone:
                break;
        }
    }
    m.Dragging = false;
    m.MouseDown = false;
    return changed;
}

int KnobDiameterForResize(int stored, int width, int height) {
    if (stored < height || stored < width) return std::max(width, height);
    return std::min(width, height);
}
