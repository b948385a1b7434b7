#pragma once
// A display window of seven-segment digits on black, with point LEDs in the gaps between the
// digits. Position 1 is the rightmost digit, as for the indicator that drives it. A point LED "at
// position p" sits in the gap right of digit p (the decimal point of a value with p - 1
// decimals).

#include <QWidget>
#include <vector>

#include "controls/qcolor_convert.h"

class TdsLed;
class TdsSevenSegmentDisplay;
class TIndicator;

struct TReadoutGeometry {
    int DigitWidth = 30;
    int DigitHeight = 50;
    int SegmentWidth = 5;
    int Gap = 8;  // between two digits; the point LEDs sit in it
    int Pad = 8;  // frame around the digits
};

class TSegmentReadout : public QWidget {
public:
    TSegmentReadout(QWidget* AParent, int ADigits, const TReadoutGeometry& AGeometry);

    int DigitCount() const { return static_cast<int>(fDigits.size()); }
    TdsSevenSegmentDisplay* Seg(int APosition) const;  // 1 = rightmost
    // A new LED in the gap right of digit APosition; AMiddle places it at mid-height (time
    // separators) instead of on the base line.
    TdsLed* AddPointLed(int APosition, bool AMiddle = false);
    void MovePointLed(TdsLed* ALed, int APosition, bool AMiddle = false);
    // Binds the digits 1..DigitCount to the indicator.
    void AttachDigits(TIndicator& AIndicator) const;
    // Size for the geometry and digit count.
    static QSize SizeFor(int ADigits, const TReadoutGeometry& AGeometry);

protected:
    void paintEvent(QPaintEvent* AEvent) override;

private:
    QRect LedRect(int APosition, bool AMiddle) const;

    TReadoutGeometry fGeometry;
    std::vector<TdsSevenSegmentDisplay*> fDigits;  // index 0 is position 1
};

// Colours of every read-out: the display background and the unlit segments.
inline constexpr TColor kDisplayBack = TColorFromRGB(0x05, 0x06, 0x08);
inline constexpr TColor kSegmentOff = TColorFromRGB(0x10, 0x12, 0x15);
