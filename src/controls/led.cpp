#include "controls/led.h"

#include <QPainterPath>
#include <QPolygon>

#include "controls/system_colors.h"

TdsLed::TdsLed(QWidget* parent) : TdsDrawnControl(parent) {
    resize(24, 24);
}

void TdsLed::SetShape(TdsLedShape shape) {
    if (shape == FShape) return;
    FShape = shape;
    UpdateOpacity();
    Invalidate();
}

void TdsLed::UpdateOpacity() {
    // A standard rectangle covers its whole area, so Qt need not paint the parent beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent, FShape == ltRectangle && FStyle == lsStandard);
}

void TdsLed::SetOnColor(TColor color) {
    if (color == FOnColor) return;
    FOnColor = color;
    Invalidate();
}

void TdsLed::SetOffColor(TColor color) {
    if (color == FOffColor) return;
    FOffColor = color;
    Invalidate();
}

void TdsLed::SetLedOn(bool on) {
    if (on == FLedOn) return;
    FLedOn = on;
    Invalidate();
    if (OnChange) OnChange(this);
}

void TdsLed::SetStyle(TdsLedStyle style) {
    if (style == FStyle) return;
    FStyle = style;
    UpdateOpacity();
    Invalidate();
}

void TdsLed::SetBevel(TdsLedBevel bevel) {
    if (bevel == FBevel) return;
    FBevel = bevel;
    Invalidate();
}

void TdsLed::paintEvent(QPaintEvent*) {
    CountPaint();
    QPainter p(this);
    if (FStyle == lsOwnerDraw) {
        if (OnDrawLed) OnDrawLed(this, rect(), p);
        return;
    }
    const QColor fill = ToQColor(FLedOn ? FOnColor : FOffColor);
    p.setRenderHint(QPainter::Antialiasing, true);
    switch (FShape) {
        case ltEllipse:
            PaintEllipse(p, fill);
            break;
        case ltRectangle:
            PaintRectangle(p, fill);
            break;
        default:
            PaintTriangle(p, fill);
            break;
    }
}

void TdsLed::PaintEllipse(QPainter& p, const QColor& fill) const {
    const QRectF box(0, 0, width(), height());
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(box);

    // The glint: a white chord in the upper left, outlined so its outer edge meets the nominal
    // rectangle.
    const TLedGlint g = LedGlint(width(), height());
    const QRectF chordBox = g.Rect.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath chord;
    chord.arcMoveTo(chordBox, g.StartAngle);
    chord.arcTo(chordBox, g.StartAngle, g.SpanAngle);
    chord.closeSubpath();
    p.setPen(QPen(Qt::white, 1.0));
    p.setBrush(Qt::white);
    p.drawPath(chord);

    if (FBevel == blNone) return;
    const QRectF ring = box.adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor shadow = ToQColor(clBtnShadow);
    const QColor light = ToQColor(clBtnHighlight);
    p.setBrush(Qt::NoBrush);
    if (FBevel == blBorder) {
        p.setPen(QPen(shadow, 1.0));
        p.drawEllipse(ring);
        return;
    }
    // Upper-left half from the top-right corner's ray counter-clockwise to the bottom-left one.
    const bool lowered = FBevel == blLowered;
    QPainterPath upper;
    upper.arcMoveTo(ring, 45);
    upper.arcTo(ring, 45, 180);
    QPainterPath lower;
    lower.arcMoveTo(ring, 225);
    lower.arcTo(ring, 225, 180);
    p.setPen(QPen(lowered ? shadow : light, 1.0));
    p.drawPath(upper);
    p.setPen(QPen(lowered ? light : shadow, 1.0));
    p.drawPath(lower);
}

void TdsLed::PaintRectangle(QPainter& p, const QColor& fill) const {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(rect(), fill);
    if (FBevel == blNone) return;
    const QColor shadow = ToQColor(clBtnShadow);
    const QColor light = ToQColor(clBtnHighlight);
    const int w = width(), h = height();
    if (FBevel == blBorder) {
        p.setPen(shadow);
        p.setBrush(Qt::NoBrush);
        p.drawRect(0, 0, w - 1, h - 1);
        return;
    }
    const QColor topLeft = FBevel == blLowered ? shadow : light;
    const QColor bottomRight = FBevel == blLowered ? light : shadow;
    for (int i = 0; i < 2; ++i) {
        p.fillRect(i, i, w - 2 * i, 1, topLeft);
        p.fillRect(i, i, 1, h - 2 * i, topLeft);
        p.fillRect(i, h - 1 - i, w - 2 * i, 1, bottomRight);
        p.fillRect(w - 1 - i, i + 1, 1, h - 2 * i - 1, bottomRight);
    }
}

void TdsLed::PaintTriangle(QPainter& p, const QColor& fill) const {
    const std::array<QPoint, 3> c = LedTriangle(FShape, width(), height());
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPolygon(c.data(), 3);
    if (FBevel == blNone) return;
    const QColor shadow = ToQColor(clBtnShadow);
    const QColor light = ToQColor(clBtnHighlight);
    for (const TLedEdge& e : LedTriangleEdges(FShape, width(), height())) {
        QColor color = shadow;
        if (FBevel == blLowered) color = e.FacesUpOrLeft ? shadow : light;
        if (FBevel == blRaised) color = e.FacesUpOrLeft ? light : shadow;
        p.setPen(QPen(color, 2.0));
        p.drawLine(e.Line);
    }
}
