#pragma once
// The I–V curve of a sweep: measured voltage across, measured current up, each point a dot on
// the line through them, the compliance point ringed. Axes carry their quantity and unit (mA or
// mV for small values) and round ticks. Drawn with QPainter, so a window paints it while the
// sweep grows and benchlordctl saves it as PNG (offscreen, no window needed).

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>
#include <vector>

#include "tools/core/sweep.h"

class QPainter;

struct TSweepPlotData {
    QString Title;
    std::vector<TSweepPoint> Points;
    // The planned voltage range in volts, kept on the axis while the curve grows (both 0: from
    // the points alone).
    double PlannedFrom = 0;
    double PlannedTo = 0;
    // The last point is where the sweep met its compliance limit.
    bool Compliance = false;
    // The compliance limit drawn as a dashed line: a current (voltage sweeps) or a voltage
    // (current sweeps); 0: none.
    double LimitCurrent = 0;
    double LimitVoltage = 0;
};

// Round tick positions covering [ALow, AHigh]: steps of 1, 2 or 5 times a power of ten, as near
// ATarget of them as such steps allow, the first at or below ALow and the last at or above AHigh.
struct TPlotTicks {
    double First = 0;
    double Step = 1;
    int Count = 2;
    int Decimals = 0;  // enough to tell the ticks apart
};
TPlotTicks NiceTicks(double ALow, double AHigh, int ATarget = 6);

void PaintSweepPlot(QPainter& APainter, const QRectF& ARect, const TSweepPlotData& AData);
QImage SweepPlotImage(const TSweepPlotData& AData, QSize ASize = {960, 600});

// Saves the picture as PNG through SaveFile (links followed, special files refused, the old file
// kept until the new one is whole). Needs a QGuiApplication (fonts). An error text, empty on
// success.
QString SaveSweepPlot(const QString& APath, const TSweepPlotData& AData);
