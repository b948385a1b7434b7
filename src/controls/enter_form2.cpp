#include "controls/enter_form2.h"

#include "controls/led.h"
#include "controls/seven_segment_display.h"

namespace {

constexpr int kSeg4X = 34;  // dd.ddd: digit 4, then the point
constexpr int kPointX = 56;
constexpr int kSeg4ShiftedX = 42;  // d.dddd: the point, then digit 4
constexpr int kPointShiftedX = 34;

}  // namespace

TEnterForm2::TEnterForm2(QWidget* parent) : TEnterFormBase(parent, 5) {
    setObjectName(QStringLiteral("EnterForm2"));
    resize(191, kHeight);
    MakeDigit(5, 11);
    MakeDigit(4, kSeg4X);
    MakePointLed(3, kPointX);
    MakeDigit(3, 65);
    MakeDigit(2, 88);
    MakeDigit(1, 111);
    // 153 + 38 ends at the window's right edge.
    MakeLabelAndStep(134, 153, 38);
}

void TEnterForm2::PlacePointLed(uint32_t pointPos) {
    TdsLed* led = PointLed(3);
    led->setVisible(pointPos == 4 || pointPos == 5);
    if (pointPos == 4) {
        Seg(4)->move(kSeg4X, kDigitY);
        led->move(kPointX, kLedY);
    } else if (pointPos == 5) {
        Seg(4)->move(kSeg4ShiftedX, kDigitY);
        led->move(kPointShiftedX, kLedY);
    }
}
