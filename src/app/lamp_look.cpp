#include "app/lamp_look.h"

#include <QPainter>
#include <QRadialGradient>

#include "controls/led.h"

namespace {

void PaintLamp(const TdsLed& ALed, const QRect& ARect, QPainter& APainter) {
    APainter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r = QRectF(ARect).adjusted(1, 1, -1, -1);
    const QPointF centre = r.center();
    const qreal radius = r.width() / 2;
    if (ALed.LedOn()) {
        const QColor on = ToQColor(ALed.OnColor());
        QRadialGradient glow(centre - QPointF(radius / 3, radius / 3), radius * 1.2);
        glow.setColorAt(0, on.lighter(170));
        glow.setColorAt(0.45, on);
        glow.setColorAt(1, on.darker(160));
        APainter.setPen(QPen(on.darker(200), 1));
        APainter.setBrush(glow);
    } else {
        QRadialGradient dark(centre + QPointF(radius / 4, radius / 4), radius);
        dark.setColorAt(0, QColor(0x2E, 0x33, 0x3A));
        dark.setColorAt(1, QColor(0x15, 0x18, 0x1C));
        APainter.setPen(QPen(QColor(0x3A, 0x40, 0x48), 1));
        APainter.setBrush(dark);
    }
    APainter.drawEllipse(r);
}

}  // namespace

TdsLed* MakePanelLamp(QWidget* AParent, const QString& AName, TColor AOnColor, int ASize) {
    auto* led = new TdsLed(AParent);
    led->setObjectName(AName);
    led->SetOnColor(AOnColor);
    led->SetOffColor(TColorFromRGB(0x20, 0x24, 0x29));
    led->SetStyle(lsOwnerDraw);
    led->OnDrawLed = [led](QObject*, const QRect& ARect, QPainter& APainter) {
        PaintLamp(*led, ARect, APainter);
    };
    led->setFixedSize(ASize, ASize);
    return led;
}
