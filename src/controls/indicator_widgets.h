#pragma once
// Binds the indicator model to the real controls: a seven-segment digit widget as an indicator
// digit and a lamp as a point LED. Each adapter is owned by its widget (created on first use, then
// reused), so it lives exactly as long as the control it stands for.
//
//   ind.Digit[1] = IndicatorDigit(SegUset1);
//   ind.PointLed[1] = IndicatorLed(PointLed7);

#include "controls/indicator_parts.h"

class TdsSevenSegmentDisplay;
class TdsLed;

TIndicatorDigit* IndicatorDigit(TdsSevenSegmentDisplay* digit);
TIndicatorLed* IndicatorLed(TdsLed* led);
