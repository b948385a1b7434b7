#pragma once
// Multi-turn rotary knob. Position runs over Min..Max in ten full turns; the operator drags it
// round, clicks beside the pointer to step it, or uses the keys and the wheel. Changes made by the
// knob's own operations, and writes of Position, fire OnChange; UpdatePosition moves it silently.
// The picture is composed off-screen and shown in one piece.

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "controls/control_events.h"
#include "controls/knob_face.h"
#include "controls/knob_math.h"
#include "controls/qcolor_convert.h"

class TLN_Knob : public QWidget {
public:
    explicit TLN_Knob(QWidget* parent = nullptr);

    int32_t Min() const { return fModel.Min; }
    void SetMin(int32_t value);
    int32_t Max() const { return fModel.Max; }
    void SetMax(int32_t value);
    int32_t Position() const { return fModel.Position; }
    void SetPosition(int32_t value);  // clamps; fires OnChange when the position changed

    // Stores changed limits and recomputes the turn arithmetic; the position is not re-clamped.
    void UpdateMinMax(int32_t aMin, int32_t aMax);
    // Moves the knob without notification; returns whether the position changed.
    bool UpdatePosition(int32_t value);
    // One step up or down: Shift a page, Ctrl to the end of the range, else one position.
    void Increment(Qt::KeyboardModifiers shift);
    void Decrement(Qt::KeyboardModifiers shift);

    uint16_t PageSize() const { return fModel.PageSize; }
    void SetPageSize(uint16_t value) { fModel.PageSize = value; }
    bool SpringLoaded() const { return fSpringLoaded; }
    void SetSpringLoaded(bool value);  // switching it on returns the knob to the start

    TColor LineColor() const { return fLineColor; }
    void SetLineColor(TColor value) { SetLook(fLineColor, value); }
    TColor Color() const { return fKnobColor; }
    void SetColor(TColor value);
    bool Transparent() const { return fTransparent; }
    void SetTransparent(bool value) { SetLook(fTransparent, value); }
    TLN_IndicatorType IndicatorType() const { return fIndicatorType; }
    void SetIndicatorType(TLN_IndicatorType value) { SetLook(fIndicatorType, value); }
    bool ShowIndicator() const { return fShowIndicator; }
    void SetShowIndicator(bool value) { SetLook(fShowIndicator, value); }
    bool DrawBorder() const { return fDrawBorder; }
    void SetDrawBorder(bool value) { SetLook(fDrawBorder, value); }
    bool RotateImage() const { return fRotateImage; }
    void SetRotateImage(bool value) { SetLook(fRotateImage, value); }
    bool ShowFocusedState() const { return fShowFocusedState; }
    void SetShowFocusedState(bool value) { SetLook(fShowFocusedState, value); }
    bool Face3D() const { return fFace3D; }
    void SetFace3D(bool value) { SetLook(fFace3D, value); }
    bool FaceEffect() const { return fFaceEffect; }
    void SetFaceEffect(bool value) { SetLook(fFaceEffect, value); }
    double LineLength() const { return fLineLength; }
    void SetLineLength(double value);  // limited to 3..radius - 9
    double LineWidth() const { return fLineWidth; }
    void SetLineWidth(double value);  // limited to 1..8

    // The pointer dot shows OnColor while LedOn and OffColor otherwise (the main window switches
    // LedOn together with Enabled, so the dot lights up while the knob may be turned).
    TColor OnColor() const { return fOnColor; }
    void SetOnColor(TColor value) { SetLook(fOnColor, value); }
    TColor OffColor() const { return fOffColor; }
    void SetOffColor(TColor value) { SetLook(fOffColor, value); }
    bool LedOn() const { return fLedOn; }
    void SetLedOn(bool value) { SetLook(fLedOn, value); }

    // Locked: the knob is drawn dimmed with a padlock on its cap (the set values are locked
    // while the output is on), so that it never looks free to turn.
    bool Locked() const { return fLocked; }
    void SetLocked(bool value) { SetLook(fLocked, value); }

    TColor DisabledBorderColor() const { return fDisabledBorderColor; }
    void SetDisabledBorderColor(TColor value) { SetLook(fDisabledBorderColor, value); }
    TColor FocusedBorderColor() const { return fFocusedBorderColor; }
    void SetFocusedBorderColor(TColor value) { SetLook(fFocusedBorderColor, value); }
    TColor UnfocusedBorderColor() const { return fUnfocusedBorderColor; }
    void SetUnfocusedBorderColor(TColor value) { SetLook(fUnfocusedBorderColor, value); }

    // The picture that turns inside the face of a transparent knob. When none is set a machined
    // face is drawn in shades of Color.
    void SetFacePicture(const QImage& picture);

    int Diameter() const { return fDiameter; }
    const TLN_KnobModel& Model() const { return fModel; }
    // The look the next composition will use (state-dependent colours already chosen).
    TKnobLook Look() const;

    uint64_t RepaintRequests() const { return fRepaintRequests; }
    uint64_t Compositions() const { return fCompositions; }

    TNotifyEvent OnChange;

    QSize sizeHint() const override { return QSize(40, 40); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    template <typename T>
    void SetLook(T& field, T value) {
        if (field == value) return;
        field = value;
        Invalidate();
    }
    void Invalidate();
    // Applies a change made by the knob's own operations: repaint and notify.
    void Changed(bool changed);
    int Centre() const { return fDiameter / 2; }

    TLN_KnobModel fModel;
    TColor fLineColor;
    TColor fKnobColor;
    bool fSpringLoaded = false;
    int fDiameter = 40;
    bool fTransparent = false;
    TLN_IndicatorType fIndicatorType = it_Line;
    bool fShowIndicator = true;
    bool fDrawBorder = true;
    bool fRotateImage = true;
    bool fShowFocusedState = true;
    double fLineLength = 3;
    double fLineWidth = 2;
    bool fFace3D = true;
    bool fFaceEffect = false;
    TColor fOnColor = TColorFromRGB(0xFF, 0xFF, 0x00);
    TColor fOffColor = TColorFromRGB(0x80, 0x80, 0x80);
    bool fLedOn = false;
    bool fLocked = false;
    TColor fDisabledBorderColor = TColorFromRGB(0x7F, 0x7F, 0x7F);
    TColor fFocusedBorderColor = TColorFromRGB(0xDF, 0xDF, 0xDF);
    TColor fUnfocusedBorderColor = TColorFromRGB(0x3F, 0x3F, 0x3F);

    QImage fUserFace;       // set by the owner, scaled to the diameter when used
    QImage fFace;           // the face picture at the current size
    QImage fStatic;         // the part of the picture that does not turn
    TKnobLook fStaticLook;  // the look fStatic was drawn for (angle and pointer colour zeroed)
    QImage fComposed;       // the last composed knob
    bool fDirty = true;
    uint64_t fRepaintRequests = 0;
    uint64_t fCompositions = 0;
};
