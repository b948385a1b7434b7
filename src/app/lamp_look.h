#pragma once
// The look of the panel's round lamps: a lit lamp glows in its colour with a soft halo, a dark
// one is a recessed disc with a faint rim, so an unlit lamp reads as "off" on the dark panel.

#include "controls/qcolor_convert.h"

class QWidget;
class TdsLed;

// A round lamp of ASize pixels with the given on-colour, drawn in the panel look.
TdsLed* MakePanelLamp(QWidget* AParent, const QString& AName, TColor AOnColor, int ASize);
