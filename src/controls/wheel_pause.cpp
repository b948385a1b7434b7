#include "controls/wheel_pause.h"

#include "controls/indicator_timer.h"

TWheelPause::TWheelPause(std::unique_ptr<TIndicatorTimer> timer) : fTimer(std::move(timer)) {
    if (!fTimer) fTimer = std::make_unique<TQtIndicatorTimer>();
    fTimer->SetOnTick([this] { fTimer->Stop(); });
}
