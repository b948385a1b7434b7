#pragma once
// One seven-segment digit drawn as seven polygons scaled to the control's size. Unlit segments are
// drawn dimly in OffColor. Every property write compares with the stored value and repaints only
// on a real change.

#include "controls/drawn_control.h"
#include "controls/qcolor_convert.h"
#include "controls/seven_segment_geometry.h"

class TdsSevenSegmentDisplay : public TdsDrawnControl {
public:
    explicit TdsSevenSegmentDisplay(QWidget* parent = nullptr);

    TdsDisplaySegments Segments() const { return FSegments; }
    void SetSegments(TdsDisplaySegments segments);  // fires OnChange when different

    int SegmentWidth() const { return FSegWidth; }
    void SetSegmentWidth(int width);

    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor color);

    TColor OnColor() const { return FOnColor; }
    void SetOnColor(TColor color);

    TColor OffColor() const { return FOffColor; }
    void SetOffColor(TColor color);

    // The last value code written; writing a new code shows its segment pattern (0..9 the digits,
    // 10 blank, 11 a dash, anything else an E).
    uint32_t Value() const { return FValue; }
    void SetValue(uint32_t code);

    // Fired after Segments changed.
    TNotifyEvent OnChange;

    QSize sizeHint() const override { return QSize(40, 76); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TdsDisplaySegments FSegments = 0;
    int FSegWidth = 4;
    TColor FBackColor = TColorFromRGB(0x80, 0x80, 0x80);
    TColor FOnColor = TColorFromRGB(0x00, 0x00, 0x00);
    TColor FOffColor = TColorFromRGB(0xC0, 0xC0, 0xC0);
    uint32_t FValue = 0;
};
