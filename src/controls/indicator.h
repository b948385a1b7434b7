#pragma once
// The model behind every numeric read-out: binds the owner's 32-bit value cell to a row of up to
// six seven-segment digits and two point LEDs, renders the value in one of four modes (fixed-point
// decimal, hours-minutes, elapsed time, auto-ranging counter) and edits it in place with a
// blinking digit cursor. Edits go straight into the owner's cell and are announced by OnChange.
//
// Digit and LED positions count from 1 (the rightmost, least significant digit). In the whole
// process at most one indicator holds the cursor: the active indicator.

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "controls/indicator_parts.h"

class TIndicator {
public:
    using TNotify = std::function<void(TIndicator* sender)>;

    static constexpr int kCursorIntervalMs = 300;
    static constexpr uint32_t kNothingRendered = 0xFFFFFFFFu;
    static constexpr uint32_t kMaxDigits = 6;
    // A typed digit or a step that was refused shows its digit in this colour for this many
    // cursor ticks, so that the value on the display is seen not to be what was typed.
    static constexpr TColor kRefusedColor = 0x3040FF;  // red FF, green 40, blue 30
    static constexpr int kRefusedTicks = 2;

    // The timer defaults to a QTimer on the current thread; tests pass their own.
    explicit TIndicator(std::unique_ptr<TIndicatorTimer> timer = nullptr);
    TIndicator(uint32_t aMinValue, uint32_t aMaxValue, uint32_t aDataLen, uint32_t aPointPos,
               uint32_t* aValuePtr, std::unique_ptr<TIndicatorTimer> timer = nullptr);
    TIndicator(uint32_t aMinValue, uint32_t aMaxValue, uint32_t aDataLen, uint32_t aPointPos,
               uint32_t* aValuePtr, const QString& aValueName,
               std::unique_ptr<TIndicatorTimer> timer = nullptr);
    ~TIndicator();
    TIndicator(const TIndicator&) = delete;
    TIndicator& operator=(const TIndicator&) = delete;

    // The indicator that holds the cursor, or none.
    static TIndicator* Active();
    // Forgets the active indicator without notifying it (test isolation).
    static void ResetActive();

    // Rendering; each compares the cell with what was last rendered and touches nothing if equal.
    void UpdateDigits();   // decimal, or hours-minutes when HoursMinutes
    void UpdateTime();     // elapsed seconds; fires OnChange after a re-render
    void UpdateCounter();  // hundredths, switching to thousands at 100000; fires OnChange
    void ClearValue() { fValue = kNothingRendered; }
    void RefreshCounter();

    // Cursor. Writing 0 removes the cursor without OnLeaveCursor; past DataLen it goes to 1.
    uint16_t CursorPos() const { return fCursorPos; }
    void SetCursorPos(int32_t position);
    void LeaveCursor();
    void MoveCursorLeft();   // wraps from DataLen to 1
    void MoveCursorRight();  // wraps from 1 to DataLen

    // Editing; all refuse what would leave MinValue..MaxValue: the value stays, and the digit
    // edited flashes in kRefusedColor (RefusedPos) until the second cursor tick.
    void ValueAtCursor(uint32_t aValue);
    void ValueAtCursorUp();
    void ValueAtCursorDown();
    // `sender` is the control under the mouse pointer; only a digit of this indicator reacts.
    void MouseWheelUp(const void* sender);
    void MouseWheelDown(const void* sender);
    // A notification from the attached step control.
    void StepControlNotify(bool up);
    // Called by a step control that is going away while linked to this indicator.
    void StepControlGone(TIndicatorStepControl* control);

    // Position of the digit that shows a refused edit; 0 none.
    uint16_t RefusedPos() const { return fRefusedPos; }

    bool Enabled() const { return fEnabled; }
    void SetEnabled(bool enabled);
    TColor Color() const { return fColor; }
    void SetColor(TColor color);
    TColor FlashColor() const { return fFlashColor; }
    bool FlashOn() const { return fFlashOn; }
    bool AutoStop() const { return fAutoStop; }
    void SetAutoStop(bool autoStop) { fAutoStop = autoStop; }
    bool HoursMinutes() const { return fHoursMinutes; }
    void SetHoursMinutes(bool hoursMinutes) { fHoursMinutes = hoursMinutes; }
    TIndicatorStepControl* UpDownCtrl() const { return fUpDownCtrl; }
    void SetUpDownCtrl(TIndicatorStepControl* control);
    const TNotify& OnChange() const { return fOnChange; }
    void SetOnChange(TNotify handler) { fOnChange = std::move(handler); }
    const TNotify& OnLeaveCursor() const { return fOnLeaveCursor; }
    void SetOnLeaveCursor(TNotify handler) { fOnLeaveCursor = std::move(handler); }

    uint32_t MinValue = 0;
    uint32_t MaxValue = 0;
    uint32_t DataLen = 0;   // digits used, 1..6
    uint32_t PointPos = 0;  // digit carrying the point; PointPos - 1 decimals
    bool Smart = true;      // leading-zero blanking left of the point digit
    uint32_t* ValuePtr = nullptr;
    QString ValueName;
    // Index 0 is unused so that Digit[1] is the rightmost digit, as on the panel.
    std::array<TIndicatorDigit*, kMaxDigits + 1> Digit{};
    std::array<TIndicatorLed*, 3> PointLed{};

private:
    uint32_t Len() const { return DataLen < kMaxDigits ? DataLen : kMaxDigits; }
    TIndicatorDigit* DigitAt(uint32_t position) const;
    uint32_t Cell() const { return ValuePtr ? *ValuePtr : 0; }
    void Store(uint32_t value);
    void ShowCode(uint32_t position, uint32_t code);
    void ShowLed(int index, bool shown);
    // Writes digits DataLen..1 of `value` by `weights`; blanks leading zeros above `keepFrom`.
    void RenderWeighted(uint32_t value, const uint32_t* weights, bool smart, uint32_t keepFrom);
    void RenderDecimal(uint32_t value, const uint32_t* weights);
    void Notify();  // fires OnChange
    void AfterEdit();
    // The edit at APosition was refused: that digit shows kRefusedColor for a while.
    void ShowRefused(uint16_t APosition);
    // The refused digit back in its own colour (the flash colour under the cursor).
    void EndRefused();
    // What the digit at APosition shows when nothing was refused.
    TColor OwnColor(uint16_t APosition) const;
    void OnTimerTick();

    std::unique_ptr<TIndicatorTimer> fHandle;
    uint32_t fValue = 0;
    uint16_t fCursorPos = 0;
    bool fFlashOn = false;
    int32_t fFlashCount = 0;
    bool fEnabled = false;
    TNotify fOnChange;
    TNotify fOnLeaveCursor;
    bool fAutoStop = true;
    bool fHoursMinutes = false;
    TIndicatorStepControl* fUpDownCtrl = nullptr;
    TColor fColor = 0xFFFFFF;
    TColor fFlashColor = 0x808080;
    uint16_t fRefusedPos = 0;
    int fRefusedTicks = 0;
};
