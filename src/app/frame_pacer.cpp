#include "app/frame_pacer.h"

#include <limits>

namespace {
// A frame counts as over this much early, so a timer firing a little early does not skip it.
constexpr qint64 kSlackMs = 2;
}  // namespace

TFramePacer::TFramePacer(QObject* AParent) : QObject(AParent) {
    fClock.start();
    fTimer.setSingleShot(true);
    fTimer.setTimerType(Qt::PreciseTimer);
    connect(&fTimer, &QTimer::timeout, this, [this] { FrameEnd(); });
}

void TFramePacer::Post(int AKey, std::function<void()> AApply) {
    TSlot& slot = fSlots[AKey];
    const qint64 now = fClock.elapsed();
    if (!slot.Waiting && now - slot.LastMs >= kFrameMs - kSlackMs) {
        slot.LastMs = now;
        AApply();
        return;
    }
    slot.Waiting = std::move(AApply);
    if (!fTimer.isActive()) Schedule();
}

bool TFramePacer::Pending() const {
    for (const auto& [key, slot] : fSlots)
        if (slot.Waiting) return true;
    return false;
}

void TFramePacer::Flush() {
    const qint64 now = fClock.elapsed();
    for (auto& [key, slot] : fSlots) {
        if (!slot.Waiting) continue;
        // Taken out first: applying may post again.
        auto apply = std::move(slot.Waiting);
        slot.Waiting = nullptr;
        slot.LastMs = now;
        apply();
    }
    fTimer.stop();
    Schedule();
}

void TFramePacer::FrameEnd() {
    const qint64 now = fClock.elapsed();
    for (auto& [key, slot] : fSlots) {
        if (!slot.Waiting || now - slot.LastMs < kFrameMs - kSlackMs) continue;
        auto apply = std::move(slot.Waiting);
        slot.Waiting = nullptr;
        slot.LastMs = now;
        apply();
    }
    Schedule();
}

void TFramePacer::Schedule() {
    qint64 due = std::numeric_limits<qint64>::max();
    for (const auto& [key, slot] : fSlots)
        if (slot.Waiting) due = std::min(due, slot.LastMs + kFrameMs);
    if (due == std::numeric_limits<qint64>::max()) return;
    fTimer.start(static_cast<int>(std::max<qint64>(0, due - fClock.elapsed())));
}
