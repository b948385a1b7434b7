#include "controls/up_down_buttons.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>

#include "controls/indicator.h"

namespace {

// Auto-repeat while a button is held, as a spin control does.
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 100;

}  // namespace

TUpDownButtons::TUpDownButtons(QWidget* parent, TUDOrientation orientation)
    : QWidget(parent), fOrientation(orientation) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    fRepeat.setSingleShot(false);
    QObject::connect(&fRepeat, &QTimer::timeout, [this] { Repeat(); });
    resize(sizeHint());
}

TUpDownButtons::~TUpDownButtons() {
    if (fTarget) fTarget->StepControlGone(this);
}

QSize TUpDownButtons::sizeHint() const {
    return fOrientation == udVertical ? QSize(17, 40) : QSize(40, 17);
}

void TUpDownButtons::SetOrientation(TUDOrientation orientation) {
    if (orientation == fOrientation) return;
    fOrientation = orientation;
    update();
}

void TUpDownButtons::SetRange(int32_t min, int32_t max) {
    fMin = min;
    fMax = std::max(min, max);
    fPosition = std::clamp(fPosition, fMin, fMax);
}

void TUpDownButtons::SetPosition(int32_t position) {
    fPosition = std::clamp(position, fMin, fMax);
}

void TUpDownButtons::SetHandCursor(bool hand) {
    if (hand) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void TUpDownButtons::Step(TUpDownDirection direction) {
    if (direction == updNone || !isEnabled()) return;
    const int32_t next = direction == updUp ? (fPosition < fMax ? fPosition + 1 : fMax)
                                            : (fPosition > fMin ? fPosition - 1 : fMin);
    if (OnChangingEx) OnChangingEx(this, next, direction);
    if (fTarget) fTarget->StepControlNotify(direction == updUp);
    fPosition = next;
    if (OnClick) OnClick(this);
}

QRect TUpDownButtons::ButtonRect(TUpDownDirection direction) const {
    const QRect r = rect();
    if (fOrientation == udVertical) {
        const int half = r.height() / 2;
        return direction == updUp ? QRect(0, 0, r.width(), half)
                                  : QRect(0, half, r.width(), r.height() - half);
    }
    const int half = r.width() / 2;
    return direction == updDown ? QRect(0, 0, half, r.height())
                                : QRect(half, 0, r.width() - half, r.height());
}

TUpDownDirection TUpDownButtons::ButtonAt(QPoint pos) const {
    if (ButtonRect(updUp).contains(pos)) return updUp;
    if (ButtonRect(updDown).contains(pos)) return updDown;
    return updNone;
}

void TUpDownButtons::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    fPressed = ButtonAt(event->position().toPoint());
    if (fPressed == updNone) return;
    update();
    Step(fPressed);
    fRepeat.start(kRepeatDelayMs);
}

void TUpDownButtons::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    fRepeat.stop();
    fPressed = updNone;
    update();
}

void TUpDownButtons::Repeat() {
    if (fPressed == updNone) {
        fRepeat.stop();
        return;
    }
    fRepeat.setInterval(kRepeatIntervalMs);
    Step(fPressed);
}

void TUpDownButtons::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        fRepeat.stop();
        fPressed = updNone;
        update();
    }
    QWidget::changeEvent(event);
}

void TUpDownButtons::PaintButton(QPainter& p, TUpDownDirection direction) const {
    const QRectF r = QRectF(ButtonRect(direction)).adjusted(1.5, 1.5, -1.5, -1.5);
    const bool pressed = fPressed == direction;
    // Dark keys with a soft top light, like the buttons of a bench instrument.
    QLinearGradient face(r.topLeft(), r.bottomLeft());
    face.setColorAt(0, pressed ? QColor(0x1C, 0x1C, 0x1C) : QColor(0x4A, 0x4A, 0x4A));
    face.setColorAt(1, pressed ? QColor(0x2E, 0x2E, 0x2E) : QColor(0x22, 0x22, 0x22));
    p.setPen(QPen(QColor(0x66, 0x66, 0x66), 1));
    p.setBrush(face);
    p.drawRoundedRect(r, 2.5, 2.5);

    // The arrow: a triangle pointing the way the button steps.
    const QPointF c = r.center() + (pressed ? QPointF(0.5, 0.5) : QPointF(0, 0));
    const double s = std::min(r.width(), r.height()) * 0.22;
    QPolygonF arrow;
    const bool vertical = fOrientation == udVertical;
    if (vertical && direction == updUp) {
        arrow << QPointF(c.x() - s * 1.4, c.y() + s * 0.7)
              << QPointF(c.x() + s * 1.4, c.y() + s * 0.7) << QPointF(c.x(), c.y() - s * 0.8);
    } else if (vertical) {
        arrow << QPointF(c.x() - s * 1.4, c.y() - s * 0.7)
              << QPointF(c.x() + s * 1.4, c.y() - s * 0.7) << QPointF(c.x(), c.y() + s * 0.8);
    } else if (direction == updUp) {
        arrow << QPointF(c.x() - s * 0.7, c.y() - s * 1.4)
              << QPointF(c.x() - s * 0.7, c.y() + s * 1.4) << QPointF(c.x() + s * 0.8, c.y());
    } else {
        arrow << QPointF(c.x() + s * 0.7, c.y() - s * 1.4)
              << QPointF(c.x() + s * 0.7, c.y() + s * 1.4) << QPointF(c.x() - s * 0.8, c.y());
    }
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? QColor(0xE0, 0xE0, 0xE0) : QColor(0x60, 0x60, 0x60));
    p.drawPolygon(arrow);
}

void TUpDownButtons::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setRenderHint(QPainter::Antialiasing, true);
    PaintButton(p, updUp);
    PaintButton(p, updDown);
}
