#include "maintenance/value_panel.h"

#include <QEvent>
#include <QMouseEvent>

#include "controls/qcolor_convert.h"

TValuePanel::TValuePanel(QWidget* AParent) : QLabel(AParent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    QFont f(QStringLiteral("Monospace"));
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(15);
    f.setBold(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    ApplyStyle();
}

void TValuePanel::SetColor(TColor AColor) {
    if (AColor == fColor) return;
    fColor = AColor;
    ApplyStyle();
}

void TValuePanel::ApplyStyle() {
    const QColor back = ToQColor(fColor);
    const QString text = isEnabled() ? QStringLiteral("#000000") : QStringLiteral("#808080");
    setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; padding-right: 3px; }")
                      .arg(back.name(), text));
}

void TValuePanel::changeEvent(QEvent* AEvent) {
    if (AEvent->type() == QEvent::EnabledChange) ApplyStyle();
    QLabel::changeEvent(AEvent);
}

void TValuePanel::mouseReleaseEvent(QMouseEvent* AEvent) {
    if (AEvent->button() == Qt::LeftButton && rect().contains(AEvent->position().toPoint()) &&
        OnClick)
        OnClick(this);
    QLabel::mouseReleaseEvent(AEvent);
}
