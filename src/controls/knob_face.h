#pragma once
// Drawing of the knob, composed off-screen in one image: face (rotating picture or plain colour),
// bevelled rim, state-coloured border ring and pointer. Free functions, so the picture can be
// produced and checked without a widget.

#include <QImage>
#include <QPointF>

#include "controls/qcolor_convert.h"

enum TLN_IndicatorType { it_Line, it_Circle };

// Everything the drawing depends on, taken from the knob's properties and state.
struct TKnobLook {
    int Diameter = 40;
    qreal PixelRatio = 1;
    int Angle = 0;
    TColor Color = 0;
    bool Transparent = false;
    bool RotateImage = true;
    bool Face3D = true;
    bool FaceEffect = false;
    bool DrawBorder = true;
    TColor BorderColor = 0;  // already chosen from the knob's state
    bool ShowIndicator = true;
    TLN_IndicatorType IndicatorType = it_Line;
    TColor LineColor = 0;
    double LineLength = 3;
    double LineWidth = 2;
    TColor DotColor = 0;
    bool Locked = false;  // dimmed, with a padlock on the cap

    bool operator==(const TKnobLook&) const = default;
};

// Inset of the pointer from the outline: 10 with border and rim, 5 with the border only, 6 with
// the rim only, 3 with neither.
int KnobPointerInset(bool drawBorder, bool face3D);

// Centre of the circular pointer for a knob of diameter d at `angle` (screen degrees, clockwise
// from the right).
QPointF KnobPointerCentre(int diameter, int angle, double lineLength, bool drawBorder, bool face3D);

// A machined knob face of the given diameter, drawn procedurally in shades of `color`: a knurled
// skirt round a turned cap. This is the picture that turns with the knob.
QImage KnobFacePicture(int diameter, TColor color, qreal pixelRatio = 1);

// Everything of the knob that does not turn: the plain face of an opaque knob, the fixed light
// over a transparent knob's face, the rim and the border ring. Independent of the angle, so the
// knob keeps it while it turns.
QImage KnobStaticLayer(const TKnobLook& look);

// The whole knob: the face picture turned to the pointer angle (transparent knobs), the static
// layer over it, then the pointer. `face` may be null for a knob that is not transparent.
QImage ComposeKnob(const TKnobLook& look, const QImage& face, const QImage& staticLayer);
QImage ComposeKnob(const TKnobLook& look, const QImage& face);
