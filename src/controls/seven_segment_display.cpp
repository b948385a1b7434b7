#include "controls/seven_segment_display.h"

#include <QPainter>
#include <QPolygon>

TdsSevenSegmentDisplay::TdsSevenSegmentDisplay(QWidget* parent) : TdsDrawnControl(parent) {
    // The digit covers its whole rectangle, so Qt need not paint the parent beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(40, 76);
}

void TdsSevenSegmentDisplay::SetSegments(TdsDisplaySegments segments) {
    if (segments == FSegments) return;
    FSegments = segments;
    Invalidate();
    if (OnChange) OnChange(this);
}

void TdsSevenSegmentDisplay::SetSegmentWidth(int width) {
    if (width == FSegWidth) return;
    FSegWidth = width;
    Invalidate();
}

void TdsSevenSegmentDisplay::SetBackColor(TColor color) {
    if (color == FBackColor) return;
    FBackColor = color;
    Invalidate();
}

void TdsSevenSegmentDisplay::SetOnColor(TColor color) {
    if (color == FOnColor) return;
    FOnColor = color;
    Invalidate();
}

void TdsSevenSegmentDisplay::SetOffColor(TColor color) {
    if (color == FOffColor) return;
    FOffColor = color;
    Invalidate();
}

void TdsSevenSegmentDisplay::SetValue(uint32_t code) {
    if (code == FValue) return;
    FValue = code;
    SetSegments(SegmentsForValue(code));
}

void TdsSevenSegmentDisplay::paintEvent(QPaintEvent*) {
    CountPaint();
    QPainter p(this);
    p.fillRect(rect(), ToQColor(FBackColor));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    const QColor on = ToQColor(FOnColor);
    const QColor off = ToQColor(FOffColor);
    for (int i = tsTop; i <= tsBottom; ++i) {
        const auto seg = static_cast<TdsDisplaySegment>(i);
        const std::vector<QPoint> pts = SegmentPolygon(seg, width(), height(), FSegWidth);
        p.setBrush((FSegments & SegmentBit(seg)) ? on : off);
        p.drawPolygon(pts.data(), static_cast<int>(pts.size()));
    }
}
