#include "controls/drawn_control.h"

#include <QMouseEvent>
#include <QWheelEvent>

TdsDrawnControl::TdsDrawnControl(QWidget* parent) : QWidget(parent) {}

void TdsDrawnControl::Invalidate() {
    ++fRepaintRequests;
    update();
}

// The control consumes its own mouse presses (the parent does not see clicks on a digit or a
// lamp); a disabled control receives none and Qt hands them to the parent.
void TdsDrawnControl::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) fClickArmed = true;
    if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void TdsDrawnControl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (OnMouseMove) OnMouseMove(this, event->modifiers(), p.x(), p.y());
    event->accept();
}

void TdsDrawnControl::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const bool click = event->button() == Qt::LeftButton && fClickArmed && rect().contains(p);
    if (event->button() == Qt::LeftButton) fClickArmed = false;
    if (click && OnClick) OnClick(this);
    if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
    event->accept();
}

void TdsDrawnControl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        fClickArmed = true;
        if (OnDblClick) OnDblClick(this);
    }
    event->accept();
}

// A wheel turn nobody here consumes goes on to the parent (the entry pop-ups handle the wheel for
// the whole window and look for the digit under the pointer themselves).
void TdsDrawnControl::wheelEvent(QWheelEvent* event) {
    bool handled = false;
    const int delta = event->angleDelta().y();
    const QPoint pos = event->globalPosition().toPoint();
    if (OnMouseWheel) OnMouseWheel(this, event->modifiers(), delta, pos, handled);
    if (!handled && delta < 0 && OnMouseWheelDown)
        OnMouseWheelDown(this, event->modifiers(), pos, handled);
    if (!handled && delta > 0 && OnMouseWheelUp)
        OnMouseWheelUp(this, event->modifiers(), pos, handled);
    event->setAccepted(handled);
}
