#include "app/lamp_look.h"

#include <QEvent>
#include <QList>
#include <QPainter>
#include <QRadialGradient>

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

TPanelLamp::TPanelLamp(QWidget* AParent) : TdsLed(AParent) {
    SetStyle(lsOwnerDraw);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

const QPixmap& TPanelLamp::Backdrop() {
    const QPoint origin = mapTo(window(), QPoint(0, 0));
    const qreal ratio = devicePixelRatioF();
    if (!fBackdrop.isNull() && origin == fBackdropOrigin && fBackdrop.size() == size() * ratio)
        return fBackdrop;
    fBackdropOrigin = origin;
    fBackdrop = QPixmap(size() * ratio);
    fBackdrop.setDevicePixelRatio(ratio);
    fBackdrop.fill(Qt::transparent);
    // Every panel from the window down to the lamp's parent paints its own part, without its
    // children (the lamp itself and its siblings are not drawn).
    QList<QWidget*> chain;
    for (QWidget* w = parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget())
        chain.prepend(w);
    for (QWidget* w : chain) {
        const QRegion area(QRect(mapTo(w, QPoint(0, 0)), size()));
        w->render(&fBackdrop, QPoint(), area,
                  w->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
    }
    return fBackdrop;
}

void TPanelLamp::paintEvent(QPaintEvent*) {
    CountPaint();
    const QPixmap& backdrop = Backdrop();
    QPainter p(this);
    p.drawPixmap(0, 0, backdrop);
    PaintLamp(*this, rect(), p);
}

void TPanelLamp::changeEvent(QEvent* AEvent) {
    // A new style, palette or enabled look of the surroundings: take the backdrop again.
    switch (AEvent->type()) {
        case QEvent::StyleChange:
        case QEvent::PaletteChange:
        case QEvent::EnabledChange:
        case QEvent::ParentChange:
            fBackdrop = QPixmap();
            break;
        default:
            break;
    }
    TdsLed::changeEvent(AEvent);
}

TdsLed* MakePanelLamp(QWidget* AParent, const QString& AName, TColor AOnColor, int ASize) {
    auto* led = new TPanelLamp(AParent);
    led->setObjectName(AName);
    led->SetOnColor(AOnColor);
    led->SetOffColor(TColorFromRGB(0x20, 0x24, 0x29));
    led->setFixedSize(ASize, ASize);
    return led;
}
