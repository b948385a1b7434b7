#include "controls/focus_frame.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QRegion>

namespace {

const QColor kFrameColor(0xFF, 0xC4, 0x3D);

}  // namespace

TFocusFrame::TFocusFrame(QWidget* ARoot) : QWidget(ARoot), fRoot(ARoot) {
    setObjectName(QStringLiteral("FocusFrame"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    // The last key or mouse press anywhere in the program tells who moved the focus.
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

void TFocusFrame::Track(const QList<QWidget*>& AControls) {
    for (QWidget* control : AControls) {
        if (!control || fControls.contains(control)) continue;
        fControls.append(control);
        // The control's own focus changes and moves, and the moves of every parent below the
        // root (a side panel opening above moves the controls below it).
        for (QWidget* w = control; w && w != fRoot; w = w->parentWidget())
            if (!fWatched.contains(w)) fWatched.append(w);
    }
}

QWidget* TFocusFrame::Framed() const {
    return isVisible() ? fTarget.data() : nullptr;
}

void TFocusFrame::SetMetrics(int AWidth, int AGap) {
    if (AWidth == fWidth && AGap == fGap) return;
    fWidth = AWidth;
    fGap = AGap;
    Place();
}

bool TFocusFrame::eventFilter(QObject* AWatched, QEvent* AEvent) {
    switch (AEvent->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
            fLastInputKey = true;
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            fLastInputKey = false;
            return false;
        default:
            break;
    }
    if (!fWatched.contains(static_cast<QWidget*>(AWatched->isWidgetType() ? AWatched : nullptr)))
        return false;
    switch (AEvent->type()) {
        case QEvent::FocusIn: {
            auto* control = qobject_cast<QWidget*>(AWatched);
            if (!fControls.contains(control)) break;
            fTarget = control;
            switch (static_cast<QFocusEvent*>(AEvent)->reason()) {
                case Qt::TabFocusReason:
                case Qt::BacktabFocusReason:
                case Qt::ShortcutFocusReason:
                case Qt::OtherFocusReason:
                    // Also a click can move the focus on with these reasons (the control
                    // clicked hides the one that had it): only a key shows the frame.
                    fKeyboard = fLastInputKey;
                    break;
                case Qt::MouseFocusReason:
                    fKeyboard = false;
                    break;
                default:  // window activation, pop-ups: as it was
                    break;
            }
            Place();
            break;
        }
        case QEvent::FocusOut:
            if (AWatched == fTarget) {
                const auto reason = static_cast<QFocusEvent*>(AEvent)->reason();
                // The focus leaves the window (another window, a pop-up): the frame comes back
                // with it. Otherwise another control takes it and places the frame itself.
                if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
                    hide();
                } else {
                    fTarget = nullptr;
                    Place();
                }
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            if (fTarget) Place();
            break;
        default:
            break;
    }
    return false;
}

void TFocusFrame::Place() {
    QWidget* target = fTarget.data();
    if (!target || !fKeyboard || !target->hasFocus() || !target->isVisibleTo(fRoot)) {
        if (isVisible()) hide();
        return;
    }
    const int out = fWidth + fGap;
    const QRect around =
        QRect(target->mapTo(fRoot, QPoint(0, 0)), target->size()).adjusted(-out, -out, out, out);
    setGeometry(around);
    const QRect outer(QPoint(0, 0), around.size());
    setMask(QRegion(outer).subtracted(QRegion(outer.adjusted(fWidth, fWidth, -fWidth, -fWidth))));
    raise();
    show();
    update();
}

void TFocusFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal half = fWidth / 2.0;
    p.setPen(QPen(kFrameColor, fWidth));
    p.setBrush(Qt::NoBrush);
    const qreal radius = 2.0 + fWidth;
    p.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), radius, radius);
}
