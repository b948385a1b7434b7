#pragma once
// The look of the panel's round lamps: a lit lamp glows in its colour with a soft halo, a dark
// one is a recessed disc with a faint rim, so an unlit lamp reads as "off" on the dark panel.
//
// A round lamp leaves its corners to the panel behind it. So that switching it repaints only the
// lamp (and not every panel it sits on), the lamp is opaque: it paints a cached copy of what the
// panels draw beneath it, taken again only when the lamp moves within the window or the look of
// its surroundings changes.

#include <QPixmap>

#include "controls/led.h"
#include "controls/qcolor_convert.h"

class TPanelLamp : public TdsLed {
public:
    explicit TPanelLamp(QWidget* AParent);

protected:
    void paintEvent(QPaintEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;

private:
    const QPixmap& Backdrop();

    QPixmap fBackdrop;
    QPoint fBackdropOrigin;  // the lamp's place in the window when the backdrop was taken
};

// A round lamp of ASize pixels with the given on-colour, drawn in the panel look.
TdsLed* MakePanelLamp(QWidget* AParent, const QString& AName, TColor AOnColor, int ASize);
