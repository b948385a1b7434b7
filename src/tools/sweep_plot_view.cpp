#include "tools/sweep_plot_view.h"

#include <QPainter>

#include "tools/core/sweep.h"

TSweepPlotView::TSweepPlotView(QWidget* AParent) : QWidget(AParent) {
    setObjectName(QStringLiteral("SweepPlot"));
    setMinimumSize(360, 240);
}

void TSweepPlotView::Show(const TSweep* ASweep) {
    fSweep = ASweep;
    update();
}

QImage TSweepPlotView::Picture(QSize ASize) const {
    QImage image(ASize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    if (!fSweep || fSweep->Points().empty()) return image;
    const auto& points = fSweep->Points();
    double maxX = 0, maxY = 0;
    const bool voltage = fSweep->Plan().Quantity == sqVoltage;
    for (const TSweepPoint& pt : points) {
        maxX = std::max(maxX, voltage ? pt.Uout : pt.Iout);
        maxY = std::max(maxY, voltage ? pt.Iout : pt.Uout);
    }
    if (maxX <= 0) maxX = 1;
    if (maxY <= 0) maxY = 1;
    QPolygonF line;
    for (const TSweepPoint& pt : points)
        line << QPointF(
            20 + (voltage ? pt.Uout : pt.Iout) / maxX * (ASize.width() - 40),
            ASize.height() - 20 - (voltage ? pt.Iout : pt.Uout) / maxY * (ASize.height() - 40));
    p.setPen(QPen(Qt::blue, 2));
    p.drawPolyline(line);
    return image;
}

void TSweepPlotView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, Picture(size()));
}
