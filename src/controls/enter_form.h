#pragma once
// The four-digit entry pop-up (185 x 40): Seg4, PointLed3, Seg3, PointLed2, Seg2, PointLed1,
// Seg1, the unit label and the step control. The point LED before digit PointPos is shown.

#include "controls/enter_form_base.h"

class TEnterForm : public TEnterFormBase {
public:
    explicit TEnterForm(QWidget* parent = nullptr);

protected:
    void PlacePointLed(uint32_t pointPos) override;
};
