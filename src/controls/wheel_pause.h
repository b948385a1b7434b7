#pragma once
// The short pause after a wheel step during which further wheel events are ignored, so that a fast
// wheel applies at most one step per 20 ms. The main window owns one and shares it with the entry
// pop-ups. The timer stops itself on its first tick.

#include <memory>

#include "controls/indicator_parts.h"

class TWheelPause {
public:
    static constexpr int kPauseMs = 20;

    // The timer defaults to a QTimer on the current thread; tests pass their own.
    explicit TWheelPause(std::unique_ptr<TIndicatorTimer> timer = nullptr);
    bool Running() const { return fTimer->Running(); }
    void Start() { fTimer->Start(kPauseMs); }

private:
    std::unique_ptr<TIndicatorTimer> fTimer;
};
