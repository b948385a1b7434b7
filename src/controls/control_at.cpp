#include "controls/control_at.h"

#include <QWidget>

namespace {

// The topmost visible, enabled direct child of `parent` that contains `pos`.
QWidget* EnabledChildAt(QWidget* parent, QPoint pos) {
    const QObjectList& children = parent->children();
    // Later children are stacked above earlier ones.
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        auto* child = qobject_cast<QWidget*>(*it);
        if (!child || child->isWindow() || child->isHidden() || !child->isEnabled()) continue;
        if (child->geometry().contains(pos)) return child;
    }
    return nullptr;
}

}  // namespace

QWidget* EnabledControlAt(QWidget* window, QPoint windowPos) {
    QWidget* current = window;
    QPoint pos = windowPos;
    while (current) {
        QWidget* child = EnabledChildAt(current, pos);
        if (!child) break;
        pos -= child->pos();
        current = child;
    }
    return current;
}
