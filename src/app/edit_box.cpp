#include "app/edit_box.h"

#include <QMouseEvent>

TEditBox::TEditBox(QWidget* AParent, int ATag, const QString& AHint) : QLabel(AParent), fTag(ATag) {
    // Styled by this property: the object name is the field's own (M_UsetEdit ...).
    setProperty("editBox", true);
    setToolTip(AHint);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(24);
}

void TEditBox::mouseReleaseEvent(QMouseEvent* AEvent) {
    if (AEvent->button() == Qt::LeftButton && rect().contains(AEvent->position().toPoint()) &&
        isEnabled() && OnClick)
        OnClick(this);
    QLabel::mouseReleaseEvent(AEvent);
}
