#include "controls/enter_form.h"

#include "controls/led.h"

TEnterForm::TEnterForm(QWidget* parent) : TEnterFormBase(parent, 4) {
    setObjectName(QStringLiteral("EnterForm"));
    resize(185, kHeight);
    MakeDigit(4, 8);
    MakePointLed(3, 30);
    MakeDigit(3, 39);
    MakePointLed(2, 62);
    MakeDigit(2, 71);
    MakePointLed(1, 95);
    MakeDigit(1, 104);
    MakeLabelAndStep(127, 146, 39);
}

void TEnterForm::PlacePointLed(uint32_t pointPos) {
    PointLed(3)->setVisible(pointPos == 4);
    PointLed(2)->setVisible(pointPos == 3);
    PointLed(1)->setVisible(pointPos == 2);
}
