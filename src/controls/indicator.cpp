#include "controls/indicator.h"

#include "controls/indicator_timer.h"

namespace {

// Weights of digit positions 1..7 (index 0 unused).
constexpr uint32_t kDecimalWeights[8] = {0, 1, 10, 100, 1000, 10000, 100000, 1000000};
constexpr uint32_t kHoursMinutesWeights[8] = {0, 1, 10, 60, 600, 6000, 60000, 600000};
constexpr uint32_t kTimeWeights[8] = {0, 1, 10, 60, 600, 3600, 36000, 360000};

// Counter values from here on are shown in thousands with one decimal.
constexpr uint32_t kCounterRangeSwitch = 100000;
// Time values from here on are shown as whole hours.
constexpr uint32_t kSecondsPerHour = 3600;
constexpr uint32_t kSecondsPerMinute = 60;
// Ticks without activity after which the cursor leaves by itself (about 4.8 s).
constexpr int32_t kAutoStopTicks = 15;

TIndicator* gActiveIndicator = nullptr;

}  // namespace

TIndicator::TIndicator(std::unique_ptr<TIndicatorTimer> timer) : fHandle(std::move(timer)) {
    if (!fHandle) fHandle = std::make_unique<TQtIndicatorTimer>();
    fHandle->SetOnTick([this] { OnTimerTick(); });
}

TIndicator::TIndicator(uint32_t aMinValue, uint32_t aMaxValue, uint32_t aDataLen,
                       uint32_t aPointPos, uint32_t* aValuePtr,
                       std::unique_ptr<TIndicatorTimer> timer)
    : TIndicator(std::move(timer)) {
    MinValue = aMinValue;
    MaxValue = aMaxValue;
    DataLen = aDataLen;
    PointPos = aPointPos;
    ValuePtr = aValuePtr;
}

TIndicator::TIndicator(uint32_t aMinValue, uint32_t aMaxValue, uint32_t aDataLen,
                       uint32_t aPointPos, uint32_t* aValuePtr, const QString& aValueName,
                       std::unique_ptr<TIndicatorTimer> timer)
    : TIndicator(aMinValue, aMaxValue, aDataLen, aPointPos, aValuePtr, std::move(timer)) {
    ValueName = aValueName;
}

TIndicator::~TIndicator() {
    fHandle->Stop();
    fHandle->SetOnTick(nullptr);
    // A step control must not keep calling into a destroyed indicator.
    if (fUpDownCtrl) fUpDownCtrl->SetStepTarget(nullptr);
    if (gActiveIndicator == this) gActiveIndicator = nullptr;
}

TIndicator* TIndicator::Active() {
    return gActiveIndicator;
}

void TIndicator::ResetActive() {
    gActiveIndicator = nullptr;
}

TIndicatorDigit* TIndicator::DigitAt(uint32_t position) const {
    return position >= 1 && position <= kMaxDigits ? Digit[position] : nullptr;
}

void TIndicator::Store(uint32_t value) {
    if (ValuePtr) *ValuePtr = value;
}

void TIndicator::ShowCode(uint32_t position, uint32_t code) {
    if (TIndicatorDigit* digit = DigitAt(position)) digit->SetValue(code);
}

void TIndicator::ShowLed(int index, bool shown) {
    if (PointLed[index]) PointLed[index]->SetShown(shown);
}

void TIndicator::RenderWeighted(uint32_t value, const uint32_t* weights, bool smart,
                                uint32_t keepFrom) {
    uint32_t rest = value;
    uint32_t previous = kDigitBlank;
    for (uint32_t i = Len(); i >= 1; --i) {
        uint32_t d = rest / weights[i];
        rest -= d * weights[i];
        if (smart && i > keepFrom && d == 0 && previous == kDigitBlank) d = kDigitBlank;
        ShowCode(i, d);
        previous = d;
    }
}

void TIndicator::RenderDecimal(uint32_t value, const uint32_t* weights) {
    if (value >= weights[Len() + 1]) {
        for (uint32_t i = 1; i <= Len(); ++i)
            ShowCode(i, kDigitDash);
        return;
    }
    // Leading zeros are blanked only left of the point digit, and never under the cursor.
    RenderWeighted(value, weights, Smart && fCursorPos == 0, PointPos);
}

void TIndicator::UpdateDigits() {
    if (!ValuePtr) return;
    const uint32_t v = *ValuePtr;
    if (v == fValue) return;
    RenderDecimal(v, fHoursMinutes ? kHoursMinutesWeights : kDecimalWeights);
    fValue = v;
}

void TIndicator::UpdateTime() {
    if (!ValuePtr) return;
    const uint32_t v = *ValuePtr;
    if (v == fValue) return;
    if (v < kTimeWeights[Len() + 1]) {
        RenderWeighted(v, kTimeWeights, Smart && fCursorPos == 0, PointPos);
        ShowLed(2, v >= kSecondsPerHour);
        ShowLed(1, v >= kSecondsPerMinute);
    } else {
        RenderWeighted(v / kSecondsPerHour, kDecimalWeights, Smart, 0);
        ShowLed(2, false);
        ShowLed(1, false);
    }
    fValue = v;
    Notify();
}

void TIndicator::UpdateCounter() {
    if (!ValuePtr) return;
    const uint32_t v = *ValuePtr;
    if (v == fValue) return;
    if (v < kCounterRangeSwitch) {
        PointPos = 3;
        ShowLed(1, false);
        ShowLed(2, true);
        RenderDecimal(v, kDecimalWeights);
    } else {
        PointPos = 2;
        ShowLed(1, true);
        ShowLed(2, false);
        RenderWeighted(v / 10000, kDecimalWeights, Smart && fCursorPos == 0, PointPos);
    }
    // Recorded before notifying, so a handler that renders again finds nothing to do.
    fValue = v;
    Notify();
}

void TIndicator::RefreshCounter() {
    ClearValue();
    UpdateCounter();
}

void TIndicator::SetCursorPos(int32_t position) {
    if (!fEnabled) return;
    if (gActiveIndicator && gActiveIndicator != this) gActiveIndicator->LeaveCursor();
    gActiveIndicator = this;
    uint16_t p = static_cast<uint16_t>(position);
    if (p > DataLen) p = 1;
    if (fCursorPos != fRefusedPos)
        if (TIndicatorDigit* old = DigitAt(fCursorPos)) old->SetOnColor(fColor);
    if (p > 0) {
        if (TIndicatorDigit* digit = DigitAt(p)) {
            digit->SetOnColor(fFlashColor);
            if (digit->Value() == kDigitBlank) digit->SetValue(0);
        }
        fFlashOn = true;
        fHandle->Start(kCursorIntervalMs);
    }
    fCursorPos = p;
    fFlashCount = 0;
}

void TIndicator::LeaveCursor() {
    EndRefused();
    if (TIndicatorDigit* digit = DigitAt(fCursorPos)) digit->SetOnColor(fColor);
    fFlashOn = false;
    SetCursorPos(0);
    if (gActiveIndicator == this) gActiveIndicator = nullptr;
    UpdateDigits();
    // A copy: the handler may reassign or clear the event while it runs (a pop-up closing).
    if (TNotify handler = fOnLeaveCursor) handler(this);
}

void TIndicator::MoveCursorLeft() {
    SetCursorPos(fCursorPos + 1);
}

void TIndicator::MoveCursorRight() {
    SetCursorPos(fCursorPos == 1 ? static_cast<int32_t>(DataLen) : fCursorPos - 1);
}

void TIndicator::OnTimerTick() {
    if (fCursorPos == 0) {
        EndRefused();
        fHandle->Stop();
        return;
    }
    ++fFlashCount;
    if (fAutoStop && fFlashCount > kAutoStopTicks) {
        LeaveCursor();
        fHandle->Stop();
        return;
    }
    fFlashOn = !fFlashOn;
    if (fRefusedTicks > 0 && --fRefusedTicks == 0) EndRefused();
    if (TIndicatorDigit* digit = DigitAt(fCursorPos)) {
        if (fRefusedPos != fCursorPos) digit->SetOnColor(fFlashOn ? fFlashColor : fColor);
        if (digit->Value() == kDigitBlank) digit->SetValue(0);
    }
}

TColor TIndicator::OwnColor(uint16_t APosition) const {
    return APosition == fCursorPos && fFlashOn ? fFlashColor : fColor;
}

void TIndicator::ShowRefused(uint16_t APosition) {
    EndRefused();
    TIndicatorDigit* digit = DigitAt(APosition);
    if (!digit) return;
    fRefusedPos = APosition;
    fRefusedTicks = kRefusedTicks;
    digit->SetOnColor(kRefusedColor);
}

void TIndicator::EndRefused() {
    const uint16_t position = fRefusedPos;
    fRefusedPos = 0;
    fRefusedTicks = 0;
    if (TIndicatorDigit* digit = DigitAt(position)) digit->SetOnColor(OwnColor(position));
}

void TIndicator::Notify() {
    if (TNotify handler = fOnChange) handler(this);
}

void TIndicator::AfterEdit() {
    if (*ValuePtr != fValue) Notify();
    UpdateDigits();
    fFlashCount = 0;
}

void TIndicator::ValueAtCursor(uint32_t aValue) {
    if (fCursorPos == 0 || !ValuePtr || aValue > 9) return;
    // Minutes run 0..59: the tens-of-minutes digit takes 0..5 only.
    if (fHoursMinutes && fCursorPos == 2 && aValue >= 6) {
        ShowRefused(fCursorPos);
        return;
    }
    const uint32_t* weights = fHoursMinutes ? kHoursMinutesWeights : kDecimalWeights;
    uint32_t digits[8] = {};
    uint32_t rest = *ValuePtr;
    for (int i = 7; i >= 1; --i) {
        digits[i] = rest / weights[i];
        rest -= digits[i] * weights[i];
    }
    digits[fCursorPos] = aValue;
    // 64-bit so that a replaced digit can never wrap the result into range.
    uint64_t result = 0;
    for (int i = 7; i >= 1; --i)
        result += uint64_t{digits[i]} * weights[i];
    const bool refused = result < MinValue || result > MaxValue;
    if (!refused) *ValuePtr = static_cast<uint32_t>(result);
    AfterEdit();
    const uint16_t typedAt = fCursorPos;
    if (fCursorPos > 1) SetCursorPos(fCursorPos - 1);
    if (refused) ShowRefused(typedAt);
}

void TIndicator::ValueAtCursorUp() {
    if (fCursorPos == 0 || !ValuePtr) return;
    const uint32_t step = (fHoursMinutes ? kHoursMinutesWeights : kDecimalWeights)[fCursorPos];
    const uint64_t n = uint64_t{*ValuePtr} + step;
    if (n <= MaxValue) *ValuePtr = static_cast<uint32_t>(n);
    AfterEdit();
    if (n > MaxValue) ShowRefused(fCursorPos);
}

void TIndicator::ValueAtCursorDown() {
    if (fCursorPos == 0 || !ValuePtr) return;
    const uint32_t step = (fHoursMinutes ? kHoursMinutesWeights : kDecimalWeights)[fCursorPos];
    const int64_t n = int64_t{*ValuePtr} - step;
    const bool stored = n >= 0 && n >= int64_t{MinValue};
    if (stored) *ValuePtr = static_cast<uint32_t>(n);
    AfterEdit();
    if (!stored) ShowRefused(fCursorPos);
}

void TIndicator::MouseWheelUp(const void* sender) {
    if (!fEnabled || !sender) return;
    for (uint32_t i = 1; i <= Len(); ++i) {
        if (Digit[i] && Digit[i]->Control() == sender) {
            SetCursorPos(static_cast<int32_t>(i));
            ValueAtCursorUp();
            return;
        }
    }
}

void TIndicator::MouseWheelDown(const void* sender) {
    if (!fEnabled || !sender) return;
    for (uint32_t i = 1; i <= Len(); ++i) {
        if (Digit[i] && Digit[i]->Control() == sender) {
            SetCursorPos(static_cast<int32_t>(i));
            ValueAtCursorDown();
            return;
        }
    }
}

void TIndicator::StepControlNotify(bool up) {
    if (!fEnabled) return;
    if (fCursorPos == 0) {
        SetCursorPos(2);  // the first step only places the cursor
        return;
    }
    if (up) {
        ValueAtCursorUp();
    } else {
        ValueAtCursorDown();
    }
}

void TIndicator::SetUpDownCtrl(TIndicatorStepControl* control) {
    // A control steps one indicator at a time, and that indicator is the only one linked to it:
    // the previous owner of `control` and the previous control of this indicator are let go.
    if (fUpDownCtrl && fUpDownCtrl != control && fUpDownCtrl->StepTarget() == this)
        fUpDownCtrl->SetStepTarget(nullptr);
    fUpDownCtrl = control;
    if (!control) return;
    if (TIndicator* previous = control->StepTarget(); previous && previous != this)
        previous->fUpDownCtrl = nullptr;
    // Centred in a wide range so that it can always move either way.
    control->SetRange(0, 65535);
    control->SetPosition(32768);
    control->SetStepTarget(this);
    control->SetHandCursor(fEnabled);
}

void TIndicator::StepControlGone(TIndicatorStepControl* control) {
    if (fUpDownCtrl == control) fUpDownCtrl = nullptr;
}

void TIndicator::SetEnabled(bool enabled) {
    if (enabled != fEnabled && fCursorPos > 0) LeaveCursor();
    fEnabled = enabled;
    for (uint32_t i = 1; i <= kMaxDigits; ++i)
        if (Digit[i]) Digit[i]->SetHandCursor(enabled);
    if (fUpDownCtrl) fUpDownCtrl->SetHandCursor(enabled);
}

void TIndicator::SetColor(TColor color) {
    if (color == fColor) return;
    fColor = color;
    for (uint32_t i = 1; i <= kMaxDigits; ++i)
        if (Digit[i]) Digit[i]->SetOnColor(color);
    for (int i = 1; i <= 2; ++i)
        if (PointLed[i]) PointLed[i]->SetOnColor(color);
    fFlashColor = HalfColor(color);
}
