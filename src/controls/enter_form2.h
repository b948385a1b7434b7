#pragma once
// The five-digit entry pop-up (191 x 40): Seg5, Seg4, PointLed3, Seg3, Seg2, Seg1, the unit label
// and the step control. Its one point LED moves: dd.ddd for PointPos 4, d.dddd for 5.

#include "controls/enter_form_base.h"

class TEnterForm2 : public TEnterFormBase {
public:
    explicit TEnterForm2(QWidget* parent = nullptr);

protected:
    void PlacePointLed(uint32_t pointPos) override;
};
