#include "controls/knob.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "controls/system_colors.h"

TLN_Knob::TLN_Knob(QWidget* parent)
    : QWidget(parent), fLineColor(clActiveCaption), fKnobColor(clBtnFace) {
    // Focus by Tab or by a press inside the face (taken in mousePressEvent), not by any click.
    setFocusPolicy(Qt::TabFocus);
    resize(40, 40);
}

void TLN_Knob::Invalidate() {
    fDirty = true;
    ++fRepaintRequests;
    update();
}

void TLN_Knob::Changed(bool changed) {
    if (!changed) return;
    Invalidate();
    if (OnChange) OnChange(this);
}

void TLN_Knob::UpdateMinMax(int32_t aMin, int32_t aMax) {
    if (aMin == fModel.Min && aMax == fModel.Max) return;
    const int oldAngle = fModel.Angle;
    KnobUpdateMinMax(fModel, aMin, aMax);
    if (fModel.Angle != oldAngle) Invalidate();
}

bool TLN_Knob::UpdatePosition(int32_t value) {
    const bool changed = KnobUpdatePosition(fModel, value);
    if (changed) Invalidate();
    return changed;
}

void TLN_Knob::SetMin(int32_t value) {
    UpdateMinMax(value, fModel.Max);
    Changed(KnobUpdatePosition(fModel, fModel.Position));
}

void TLN_Knob::SetMax(int32_t value) {
    UpdateMinMax(fModel.Min, value);
    Changed(KnobUpdatePosition(fModel, fModel.Position));
}

void TLN_Knob::SetPosition(int32_t value) {
    Changed(KnobUpdatePosition(fModel, value));
}

void TLN_Knob::Increment(Qt::KeyboardModifiers shift) {
    Changed(KnobUpdatePosition(fModel, KnobIncrementTarget(fModel, shift)));
}

void TLN_Knob::Decrement(Qt::KeyboardModifiers shift) {
    Changed(KnobUpdatePosition(fModel, KnobDecrementTarget(fModel, shift)));
}

void TLN_Knob::SetSpringLoaded(bool value) {
    if (value == fSpringLoaded) return;
    fSpringLoaded = value;
    if (value) SetPosition(0);
}

void TLN_Knob::SetColor(TColor value) {
    if (value == fKnobColor) return;
    fKnobColor = value;
    fFace = QImage();  // the drawn face is shaded from the knob colour
    Invalidate();
}

void TLN_Knob::SetLineLength(double value) {
    const double top = std::max(3.0, fDiameter / 2.0 - 9);
    SetLook(fLineLength, std::clamp(value, 3.0, top));
}

void TLN_Knob::SetLineWidth(double value) {
    SetLook(fLineWidth, std::clamp(value, 1.0, 8.0));
}

void TLN_Knob::SetFacePicture(const QImage& picture) {
    fUserFace = picture;
    fFace = QImage();
    Invalidate();
}

TKnobLook TLN_Knob::Look() const {
    TKnobLook k;
    k.Diameter = fDiameter;
    k.PixelRatio = devicePixelRatioF();
    k.Angle = fModel.Angle;
    k.Color = fKnobColor;
    k.Transparent = fTransparent;
    k.RotateImage = fRotateImage;
    k.Face3D = fFace3D;
    k.FaceEffect = fFaceEffect;
    k.DrawBorder = fDrawBorder;
    if (!isEnabled()) {
        k.BorderColor = fDisabledBorderColor;
    } else if (fModel.Dragging || (fShowFocusedState && hasFocus())) {
        k.BorderColor = fFocusedBorderColor;
    } else {
        k.BorderColor = fUnfocusedBorderColor;
    }
    k.ShowIndicator = fShowIndicator;
    k.IndicatorType = fIndicatorType;
    k.LineColor = fLineColor;
    k.LineLength = fLineLength;
    k.LineWidth = fLineWidth;
    k.DotColor = fLedOn ? fOnColor : fOffColor;
    k.Locked = fLocked;
    return k;
}

void TLN_Knob::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    if (fTransparent && (fFace.isNull() || fFace.devicePixelRatio() != ratio ||
                         fFace.width() != static_cast<int>(std::ceil(fDiameter * ratio)))) {
        if (fUserFace.isNull()) {
            fFace = KnobFacePicture(fDiameter, fKnobColor, ratio);
        } else {
            const int side = static_cast<int>(std::ceil(fDiameter * ratio));
            fFace = fUserFace.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            fFace.setDevicePixelRatio(ratio);
        }
        fDirty = true;
    }
    if (fDirty || fComposed.devicePixelRatio() != ratio) {
        const TKnobLook look = Look();
        TKnobLook still = look;
        still.Angle = 0;
        still.DotColor = 0;
        if (fStatic.isNull() || !(still == fStaticLook)) {
            fStatic = KnobStaticLayer(still);
            fStaticLook = still;
        }
        fComposed = ComposeKnob(look, fFace, fStatic);
        ++fCompositions;
        fDirty = false;
    }
    QPainter p(this);
    p.drawImage(QPointF(0, 0), fComposed);
}

void TLN_Knob::resizeEvent(QResizeEvent*) {
    const int d = KnobDiameterForResize(fDiameter, width(), height());
    if (d != fDiameter) {
        fDiameter = d;
        fFace = QImage();
        SetLineLength(fLineLength);  // the limit follows the radius
        Invalidate();
    }
    if (width() != d || height() != d) resize(d, d);
}

void TLN_Knob::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) Invalidate();
    QWidget::changeEvent(event);
}

void TLN_Knob::mousePressEvent(QMouseEvent* event) {
    const QPoint pt = event->position().toPoint();
    if (event->button() == Qt::LeftButton && KnobPress(fModel, pt.x(), pt.y(), fDiameter)) {
        setFocus(Qt::MouseFocusReason);
    }
    event->accept();
}

void TLN_Knob::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pt = event->position().toPoint();
    const bool wasDragging = fModel.Dragging;
    const bool changed = KnobMove(fModel, pt.x(), pt.y(), Centre());
    if (wasDragging != fModel.Dragging) Invalidate();  // the border shows a drag
    Changed(changed);
}

void TLN_Knob::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pt = event->position().toPoint();
    const bool wasDragging = fModel.Dragging;
    Changed(KnobRelease(fModel, pt.x(), pt.y(), Centre(), event->modifiers()));
    if (wasDragging) Invalidate();
}

// The wheel steps the knob but is reported as not handled, so the window sees it too.
void TLN_Knob::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0 && rect().contains(event->position().toPoint())) {
        Changed(KnobWheel(fModel, delta > 0, event->modifiers()));
    }
    event->ignore();
}

void TLN_Knob::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
            Changed(KnobKey(fModel, event->key(), event->modifiers()));
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void TLN_Knob::focusInEvent(QFocusEvent* event) {
    Invalidate();
    QWidget::focusInEvent(event);
}

void TLN_Knob::focusOutEvent(QFocusEvent* event) {
    fModel.Dragging = false;
    fModel.MouseDown = false;
    if (fSpringLoaded) SetPosition(0);
    Invalidate();
    QWidget::focusOutEvent(event);
}
