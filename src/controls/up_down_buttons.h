#pragma once
// An up/down spin control: two arrow buttons, stacked (vertical) or side by side (horizontal),
// over a position within a range. Each press steps the position and notifies OnChangingEx with the
// direction; holding a button repeats. It can serve as an indicator's step control, in which case
// its steps go to that indicator.

#include <QTimer>
#include <QWidget>

#include "controls/control_events.h"
#include "controls/indicator_parts.h"

class QPainter;

enum TUpDownDirection : uint8_t { updNone, updUp, updDown };
enum TUDOrientation : uint8_t { udVertical, udHorizontal };

class TUpDownButtons : public QWidget, public TIndicatorStepControl {
public:
    // Sender, the position the step leads to (clamped to the range) and the direction. The
    // position is stored after the handler has run.
    using TChangingEx =
        std::function<void(QObject* Sender, int32_t NewValue, TUpDownDirection Direction)>;

    explicit TUpDownButtons(QWidget* parent = nullptr, TUDOrientation orientation = udVertical);
    ~TUpDownButtons() override;

    TUDOrientation Orientation() const { return fOrientation; }
    void SetOrientation(TUDOrientation orientation);
    int32_t Min() const { return fMin; }
    int32_t Max() const { return fMax; }
    int32_t Position() const { return fPosition; }

    // Steps as a press on the up (right) or down (left) button would, without auto-repeat.
    void Step(TUpDownDirection direction);

    TChangingEx OnChangingEx;
    TNotifyEvent OnClick;

    // Step-control side, used by the indicator.
    void SetRange(int32_t min, int32_t max) override;
    void SetPosition(int32_t position) override;
    void SetHandCursor(bool hand) override;
    void SetStepTarget(TIndicator* target) override { fTarget = target; }
    TIndicator* StepTarget() const override { return fTarget; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Which button a point falls on: up (the upper or right half) or down.
    TUpDownDirection ButtonAt(QPoint pos) const;
    QRect ButtonRect(TUpDownDirection direction) const;
    void PaintButton(QPainter& p, TUpDownDirection direction) const;
    void Repeat();

    TUDOrientation fOrientation;
    int32_t fMin = 0;
    int32_t fMax = 100;
    int32_t fPosition = 0;
    TUpDownDirection fPressed = updNone;
    QTimer fRepeat;
    TIndicator* fTarget = nullptr;
};
