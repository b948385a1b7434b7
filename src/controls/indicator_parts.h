#pragma once
// What a numeric indicator needs from the controls it drives: seven-segment digits, point LEDs,
// an up/down step control and a periodic cursor timer. The widget adapters implement these over
// the real controls; tests implement them with plain recording objects.

#include <cstdint>
#include <functional>

#include "session/color_helpers.h"

class TIndicator;

// Value codes a digit understands besides 0..9.
constexpr uint32_t kDigitBlank = 10;  // no segment lit
constexpr uint32_t kDigitDash = 11;   // middle segment only

class TIndicatorDigit {
public:
    virtual ~TIndicatorDigit() = default;
    virtual void SetValue(uint32_t code) = 0;
    virtual uint32_t Value() const = 0;
    virtual void SetOnColor(TColor color) = 0;
    // Hand pointer while the indicator is editable, the default arrow otherwise.
    virtual void SetHandCursor(bool hand) = 0;
    // The control this digit stands for (for a widget, its QWidget address): a wheel event names
    // the control under the pointer by this identity.
    virtual const void* Control() const = 0;
};

class TIndicatorLed {
public:
    virtual ~TIndicatorLed() = default;
    virtual void SetShown(bool shown) = 0;
    virtual void SetOnColor(TColor color) = 0;
};

// An up/down spin control whose clicks step the indicator. Its position is only ever set, so that
// it can always move either way; the indicator never reads it. A control that is destroyed while
// it has a target calls the target's StepControlGone.
class TIndicatorStepControl {
public:
    virtual ~TIndicatorStepControl() = default;
    virtual void SetRange(int32_t min, int32_t max) = 0;
    virtual void SetPosition(int32_t position) = 0;
    virtual void SetHandCursor(bool hand) = 0;
    // Routes the control's step notifications to `target` (nullptr detaches).
    virtual void SetStepTarget(TIndicator* target) = 0;
    virtual TIndicator* StepTarget() const = 0;
};

// The cursor blink timer: periodic ticks on the user-interface thread.
class TIndicatorTimer {
public:
    virtual ~TIndicatorTimer() = default;
    virtual void SetOnTick(std::function<void()> onTick) = 0;
    // Starts the timer, or restarts its period if it is running.
    virtual void Start(int intervalMs) = 0;
    virtual void Stop() = 0;
    virtual bool Running() const = 0;
};
