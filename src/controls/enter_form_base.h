#pragma once
// What the two borderless value-entry pop-ups share: a black strip of 17 x 25 seven-segment digits
// with 3 x 3 point LEDs, a bold unit label and an up/down step control, driving one attached
// indicator. Attaching an indicator hands it the pop-up's digits and step control; activation puts
// the cursor on the leftmost digit; deactivation (a click elsewhere) takes it away and leaves the
// pop-up visible until its owner hides it. Keys, digit clicks, the step control and the wheel edit
// the value, which the indicator writes straight into its cell. Return closes the pop-up with the
// value as it is; Escape closes it with the value the cell had when it opened.
//
// Use: place it (move), SetHint, SetIndicator, then Popup().

#include <QWidget>
#include <array>
#include <memory>

#include "controls/control_events.h"

class QLabel;
class TIndicator;
class TdsLed;
class TdsSevenSegmentDisplay;
class TUpDownButtons;
class TWheelPause;

class TEnterFormBase : public QWidget {
public:
    ~TEnterFormBase() override;

    TIndicator* Indicator() const { return fIndicator; }
    // Attaches `indicator` (nullptr detaches): no blanking, no auto-stop, enabled, this pop-up's
    // digits and step control, digits past its length blank, the point LED placed.
    void SetIndicator(TIndicator* indicator);

    void SetHint(const QString& hint) { setToolTip(hint); }
    // Shows the pop-up, moved inside the available area of its screen, with the cursor on the
    // leftmost digit, and makes it the active window. Keys typed before the window system has
    // activated it are its own already.
    void Popup();

    // The wheel pause shared with the main window; by default the pop-up has its own.
    void SetWheelPause(TWheelPause* pause);
    TWheelPause* WheelPause() const { return fWheelPause; }

    // Fired after the pop-up lost activation (the owner re-reads the cells it shows).
    TNotifyEvent OnDeactivate;

    // Event handlers, public so that owners and tests can drive them directly.
    void FormActivate();
    void FormDeactivate();
    void FormKeyDown(int key);
    void FormKeyPress(QChar key);
    // `pos` in the pop-up's coordinates.
    void FormMouseWheel(bool up, QPoint pos);
    void SegClick(QObject* sender);
    void UpDown1Click();

    // Seg(1) is the rightmost digit.
    TdsSevenSegmentDisplay* Seg(int position) const;
    int DigitCount() const { return fDigitCount; }
    TdsLed* PointLed(int index) const;  // 1..3; the five-digit pop-up has only PointLed(3)
    QLabel* Label1() const { return fLabel1; }
    TUpDownButtons* UpDown1() const { return fUpDown1; }

protected:
    TEnterFormBase(QWidget* parent, int digitCount);

    // Layout steps that differ between the variants.
    virtual void PlacePointLed(uint32_t pointPos) = 0;
    TdsSevenSegmentDisplay* MakeDigit(int position, int x);
    TdsLed* MakePointLed(int index, int x);
    void MakeLabelAndStep(int labelX, int stepX, int stepWidth);

    static constexpr int kHeight = 40;
    static constexpr int kDigitY = 7;
    static constexpr int kLedY = 29;

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int fDigitCount;
    std::array<TdsSevenSegmentDisplay*, 6> fSeg{};
    std::array<TdsLed*, 4> fPointLed{};
    QLabel* fLabel1 = nullptr;
    TUpDownButtons* fUpDown1 = nullptr;
    TIndicator* fIndicator = nullptr;
    std::unique_ptr<TWheelPause> fOwnPause;
    TWheelPause* fWheelPause = nullptr;
    uint32_t fOpenValue = 0;           // the cell when the pop-up opened (Escape)
    bool fAwaitingActivation = false;  // shown, keys of other windows taken until active
    void StopAwaitingActivation();
};
