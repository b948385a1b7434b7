#include "controls/indicator_timer.h"

TQtIndicatorTimer::TQtIndicatorTimer() {
    fTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&fTimer, &QTimer::timeout, [this] {
        if (fOnTick) fOnTick();
    });
}

void TQtIndicatorTimer::SetOnTick(std::function<void()> onTick) {
    fOnTick = std::move(onTick);
}

void TQtIndicatorTimer::Start(int intervalMs) {
    fTimer.start(intervalMs);
}

void TQtIndicatorTimer::Stop() {
    fTimer.stop();
}

bool TQtIndicatorTimer::Running() const {
    return fTimer.isActive();
}
