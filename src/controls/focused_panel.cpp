#include "controls/focused_panel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

bool IsArrow(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

}  // namespace

TLN_FocusedPanel::TLN_FocusedPanel(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLN_FocusedPanel::SetColor(TColor color) {
    if (color == fColor) return;
    fColor = color;
    update();
}

bool TLN_FocusedPanel::event(QEvent* event) {
    // Arrows belong to the panel: no shortcut may take them first.
    if (event->type() == QEvent::ShortcutOverride &&
        IsArrow(static_cast<QKeyEvent*>(event)->key())) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void TLN_FocusedPanel::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown) OnKeyDown(this, event->key(), event->modifiers());
    const QString text = event->text();
    if (OnKeyPress) {
        for (QChar ch : text)
            OnKeyPress(this, ch);
    }
    event->accept();
}

void TLN_FocusedPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        fClickArmed = true;
        setFocus(Qt::MouseFocusReason);
    }
    event->accept();
}

void TLN_FocusedPanel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = event->button() == Qt::LeftButton && fClickArmed &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton) fClickArmed = false;
    if (click && OnClick) OnClick(this);
    event->accept();
}

void TLN_FocusedPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(fColor));
}
