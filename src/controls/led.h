#pragma once
// A lamp with an on and an off colour: round (with a white glint in the upper left), rectangular
// or triangular, with an optional bevel. Property writes repaint only on a real change.

#include <QPainter>
#include <functional>

#include "controls/drawn_control.h"
#include "controls/led_geometry.h"
#include "controls/qcolor_convert.h"

// Owner drawing: called with the client rectangle and the painter instead of the standard look.
using TOnDrawLed = std::function<void(QObject* Sender, const QRect& Rect, QPainter& Canvas)>;

class TdsLed : public TdsDrawnControl {
public:
    explicit TdsLed(QWidget* parent = nullptr);

    TdsLedShape Shape() const { return FShape; }
    void SetShape(TdsLedShape shape);

    TColor OnColor() const { return FOnColor; }
    void SetOnColor(TColor color);

    TColor OffColor() const { return FOffColor; }
    void SetOffColor(TColor color);

    bool LedOn() const { return FLedOn; }
    void SetLedOn(bool on);  // fires OnChange when different

    TdsLedStyle Style() const { return FStyle; }
    void SetStyle(TdsLedStyle style);

    TdsLedBevel Bevel() const { return FBevel; }
    void SetBevel(TdsLedBevel bevel);

    TNotifyEvent OnChange;
    TOnDrawLed OnDrawLed;

    QSize sizeHint() const override { return QSize(24, 24); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void UpdateOpacity();
    void PaintEllipse(QPainter& p, const QColor& fill) const;
    void PaintRectangle(QPainter& p, const QColor& fill) const;
    void PaintTriangle(QPainter& p, const QColor& fill) const;

    TdsLedShape FShape = ltEllipse;
    TColor FOnColor = TColorFromRGB(0x00, 0xFF, 0x00);
    TColor FOffColor = TColorFromRGB(0xFF, 0x00, 0x00);
    bool FLedOn = false;
    TdsLedStyle FStyle = lsStandard;
    TdsLedBevel FBevel = blNone;
};
