#include "maintenance/value_panel.h"

#include <QEvent>
#include <QMouseEvent>

#include "controls/qcolor_convert.h"

TValuePanel::TValuePanel(QWidget* AParent) : QLabel(AParent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
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
    // The panel's colour says its state (white: open or idle, light green: applied); it is
    // drawn in the window's dark look, the applied state as a green box.
    const bool applied = fColor != TColorFromRGB(255, 255, 255);
    const QString back = applied ? QStringLiteral("#163d22") : QStringLiteral("#0b0d10");
    const QString border = applied ? ToQColor(fColor).name() : QStringLiteral("#2f3640");
    QString text = applied ? ToQColor(fColor).name() : QStringLiteral("#e6ebf0");
    if (!isEnabled()) text = applied ? QStringLiteral("#5fae6c") : QStringLiteral("#6b7580");
    setStyleSheet(
        QStringLiteral(
            "QLabel { background: %1; color: %2; border: 1px solid %3; padding-right: 3px; }")
            .arg(back, text, border));
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
