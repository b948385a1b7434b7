#include "controls/knob_face.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "controls/rot_img.h"
#include "controls/system_colors.h"

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

// Radius of the face left visible inside the rim, and of the turned cap in its middle.
double VisibleFaceRadius(int d) {
    return d / 2.0 - 10.0;
}
double CapRadius(int d) {
    return VisibleFaceRadius(d) * 0.74;
}

QColor Mix(const QColor& a, const QColor& b, double w) {
    return QColor::fromRgbF(
        a.redF() + (b.redF() - a.redF()) * w, a.greenF() + (b.greenF() - a.greenF()) * w,
        a.blueF() + (b.blueF() - a.blueF()) * w, a.alphaF() + (b.alphaF() - a.alphaF()) * w);
}

QImage NewImage(int d, qreal ratio) {
    const int side = static_cast<int>(std::ceil(d * ratio));
    QImage img(side, side, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(ratio);
    img.fill(Qt::transparent);
    return img;
}

// Fixed light from the upper left over the turning face: a sheen across the turned cap and a
// fall-off towards the lower right. It stays put while the picture beneath it turns.
void PaintFaceLighting(QPainter& p, int d) {
    const QPointF c(d / 2.0, d / 2.0);
    const double rf = d / 2.0 - 2.0;
    const double rc = CapRadius(d);
    QConicalGradient sheen(c, 135);
    for (int i = 0; i < 4; ++i) {
        const double o = i * 0.25;
        sheen.setColorAt(o, QColor(255, 255, 255, 70));
        sheen.setColorAt(o + 0.0625, QColor(255, 255, 255, 0));
        sheen.setColorAt(o + 0.125, QColor(0, 0, 0, 45));
        sheen.setColorAt(o + 0.1875, QColor(255, 255, 255, 0));
    }
    sheen.setColorAt(1.0, QColor(255, 255, 255, 70));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawEllipse(c, rc, rc);

    QLinearGradient fall(c - QPointF(rf, rf) * 0.7, c + QPointF(rf, rf) * 0.7);
    fall.setColorAt(0, QColor(255, 255, 255, 60));
    fall.setColorAt(0.5, QColor(255, 255, 255, 0));
    fall.setColorAt(1, QColor(0, 0, 0, 90));
    p.setBrush(fall);
    p.drawEllipse(c, rf, rf);
}

void PaintRim(QPainter& p, const TKnobLook& k) {
    const double r = k.Diameter / 2.0;
    const QPointF c(r, r);
    const double ringR = k.DrawBorder ? r - 7.5 : r - 4.0;
    const QColor base = ToQColor(k.Color);
    const QColor dark = Mix(base, ToQColor(clBtnText), 0.5);
    // Blend weight rises with the angle from the upper left (0) to the lower right (1), both ways.
    QConicalGradient g(c, 135);
    g.setColorAt(0, base);
    g.setColorAt(0.5, dark);
    g.setColorAt(1, base);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(g), 5.0));
    p.drawEllipse(c, ringR, ringR);
}

void PaintPointer(QPainter& p, const TKnobLook& k) {
    const double r = k.Diameter / 2.0;
    const int inset = KnobPointerInset(k.DrawBorder, k.Face3D);
    if (k.IndicatorType == it_Line) {
        const double outer = r - inset - k.LineWidth / 2;
        const QPointF dir(std::cos(k.Angle * kDeg), std::sin(k.Angle * kDeg));
        const QPointF c(r, r);
        p.setPen(QPen(ToQColor(k.LineColor), k.LineWidth, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + dir * outer, c + dir * (outer - k.LineLength));
        return;
    }
    const QPointF at = KnobPointerCentre(k.Diameter, k.Angle, k.LineLength, k.DrawBorder, k.Face3D);
    const double half = k.LineLength / 2;
    const QColor dot = ToQColor(k.DotColor);
    p.setPen(Qt::NoPen);
    if (half < 5) {
        p.setBrush(dot);
        p.drawEllipse(at, half, half);
        return;
    }
    // Outer 1-pixel ring, then the bezel shaded from the upper left to the lower right.
    p.setBrush(QColor(0x7F, 0x7F, 0x7F));
    p.drawEllipse(at, half + 0.5, half + 0.5);
    QLinearGradient bezel(at - QPointF(half, half), at + QPointF(half, half));
    bezel.setColorAt(0, QColor(0x7F, 0x7F, 0x7F));
    bezel.setColorAt(1, QColor(0xDF, 0xDF, 0xDF));
    p.setBrush(bezel);
    p.drawEllipse(at, half - 0.5, half - 0.5);
    // The lamp itself, brighter in the middle, with its edge softened over 1.6 pixels.
    const double lamp = half - 2;
    QRadialGradient glow(at, lamp + 0.8, at - QPointF(lamp, lamp) * 0.3);
    glow.setColorAt(0, Mix(dot, Qt::white, 0.45));
    glow.setColorAt((lamp - 0.8) / (lamp + 0.8), dot);
    QColor edge = dot;
    edge.setAlpha(0);
    glow.setColorAt(1, edge);
    p.setBrush(glow);
    p.drawEllipse(at, lamp + 0.8, lamp + 0.8);
}

// A locked knob: the face dimmed and a padlock on the cap, sized with the knob.
void PaintLock(QPainter& p, const TKnobLook& k) {
    const double r = k.Diameter / 2.0;
    const QPointF c(r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 130));
    p.drawEllipse(c, r - 2, r - 2);
    const double w = std::max(8.0, k.Diameter * 0.22);
    const double h = w * 0.75;
    const QColor metal(0xD8, 0xD8, 0xD8);
    const QRectF body(c.x() - w / 2, c.y() - h / 4, w, h);
    p.setPen(QPen(metal, std::max(1.5, w / 6), Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QRectF shackle(c.x() - w * 0.32, body.top() - w * 0.5, w * 0.64, w * 0.9);
    p.drawArc(shackle, 0, 180 * 16);
    p.drawLine(QPointF(shackle.left(), shackle.center().y()), QPointF(shackle.left(), body.top()));
    p.drawLine(QPointF(shackle.right(), shackle.center().y()),
               QPointF(shackle.right(), body.top()));
    p.setPen(Qt::NoPen);
    p.setBrush(metal);
    p.drawRoundedRect(body, w / 8, w / 8);
}

}  // namespace

int KnobPointerInset(bool drawBorder, bool face3D) {
    if (drawBorder && face3D) return 10;
    if (drawBorder) return 5;
    if (face3D) return 6;
    return 3;
}

QPointF KnobPointerCentre(int diameter, int angle, double lineLength, bool drawBorder,
                          bool face3D) {
    const double r = diameter / 2.0;
    const double dist = r - KnobPointerInset(drawBorder, face3D) - 1 - lineLength / 2;
    return QPointF(r + dist * std::cos(angle * kDeg), r + dist * std::sin(angle * kDeg));
}

QImage KnobFacePicture(int d, TColor color, qreal ratio) {
    QImage img = NewImage(d, ratio);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF c(d / 2.0, d / 2.0);
    const QColor base = ToQColor(color);
    const double rf = d / 2.0 - 2.0;
    const double rv = VisibleFaceRadius(d);
    const double rc = CapRadius(d);

    // Knurled skirt: ridges every 4 pixels or so, light and dark in turn.
    const int ridges = std::max(24, static_cast<int>(std::lround(2 * std::numbers::pi * rv / 4.0)));
    QConicalGradient knurl(c, 0);
    const QColor ridgeLight = base.lighter(150), ridgeDark = base.darker(190);
    for (int i = 0; i < ridges; ++i) {
        knurl.setColorAt(double(i) / ridges, ridgeLight);
        knurl.setColorAt((i + 0.5) / ridges, ridgeDark);
    }
    knurl.setColorAt(1.0, ridgeLight);
    p.setPen(Qt::NoPen);
    p.setBrush(knurl);
    p.drawEllipse(c, rf, rf);

    // Turned cap with fine lathe rings and a shadowed step down to the skirt.
    p.setBrush(base.darker(260));
    p.drawEllipse(c, rc + 1.2, rc + 1.2);
    QRadialGradient cap(c, rc);
    cap.setColorAt(0, base.lighter(125));
    cap.setColorAt(0.85, base.lighter(108));
    cap.setColorAt(1, base.darker(115));
    p.setBrush(cap);
    p.drawEllipse(c, rc, rc);
    p.setBrush(Qt::NoBrush);
    for (double rr = 2.0; rr < rc - 0.5; rr += 1.5) {
        const bool light = static_cast<int>(rr / 1.5) % 2 == 0;
        p.setPen(QPen(light ? QColor(255, 255, 255, 28) : QColor(0, 0, 0, 22), 0.7));
        p.drawEllipse(c, rr, rr);
    }
    // A small centre dimple, so the turning of the cap reads too.
    p.setPen(Qt::NoPen);
    QRadialGradient dimple(c, std::max(1.5, rc * 0.12));
    dimple.setColorAt(0, base.darker(170));
    dimple.setColorAt(1, base.lighter(110));
    p.setBrush(dimple);
    p.drawEllipse(c, std::max(1.5, rc * 0.12), std::max(1.5, rc * 0.12));
    return img;
}

QImage KnobStaticLayer(const TKnobLook& k) {
    const int d = k.Diameter;
    QImage img = NewImage(d, k.PixelRatio);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    if (k.Transparent) {
        PaintFaceLighting(p, d);
    } else {
        p.fillRect(QRectF(0, 0, d, d), ToQColor(k.Color));
        if (k.FaceEffect) {
            const QRectF disc(2, 2, d - 4, d - 4);
            QRadialGradient g(disc.center(), disc.width() / 2,
                              disc.topLeft() + QPointF(d, d) * 0.3);
            g.setColorAt(0, ToQColor(k.Color).lighter(140));
            g.setColorAt(1, ToQColor(k.Color));
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(disc);
        }
    }
    if (k.Face3D) PaintRim(p, k);
    if (k.DrawBorder) {
        const double r = d / 2.0;
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(ToQColor(k.BorderColor), 3.0));
        p.drawEllipse(QPointF(r, r), r - 3, r - 3);
    }
    return img;
}

QImage ComposeKnob(const TKnobLook& k, const QImage& face, const QImage& staticLayer) {
    const int d = k.Diameter;
    QImage img = NewImage(d, k.PixelRatio);
    QPainter p(&img);
    if (k.Transparent && !face.isNull()) {
        const QRectF disc(2, 2, d - 4, d - 4);
        p.drawImage(QPointF(0, 0), RotImg(face, k.RotateImage ? 120 - k.Angle : 0, disc));
    }
    p.drawImage(QPointF(0, 0), staticLayer);
    if (k.ShowIndicator) {
        p.setRenderHint(QPainter::Antialiasing, true);
        PaintPointer(p, k);
    }
    if (k.Locked) {
        p.setRenderHint(QPainter::Antialiasing, true);
        PaintLock(p, k);
    }
    return img;
}

QImage ComposeKnob(const TKnobLook& k, const QImage& face) {
    return ComposeKnob(k, face, KnobStaticLayer(k));
}
