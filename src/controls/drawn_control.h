#pragma once
// Base of the small drawn controls (digits and LEDs): mouse events as single callbacks, a tag,
// and bookkeeping of repaints so that callers and tests can see that a write which changes
// nothing costs nothing.

#include <QWidget>
#include <cstdint>

#include "controls/control_events.h"

class TdsDrawnControl : public QWidget {
public:
    explicit TdsDrawnControl(QWidget* parent = nullptr);

    int Tag() const { return fTag; }
    void SetTag(int tag) { fTag = tag; }

    // Repaints requested by property changes, and paints actually performed.
    uint64_t RepaintRequests() const { return fRepaintRequests; }
    uint64_t PaintCount() const { return fPaintCount; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TMouseWheelEvent OnMouseWheel;
    TMouseWheelUpDownEvent OnMouseWheelDown;
    TMouseWheelUpDownEvent OnMouseWheelUp;

protected:
    // Schedules one repaint after a property really changed.
    void Invalidate();
    void CountPaint() { ++fPaintCount; }

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int fTag = 0;
    bool fClickArmed = false;
    uint64_t fRepaintRequests = 0;
    uint64_t fPaintCount = 0;
};
