#include "tools/sweep_plot_view.h"

#include <QPainter>

TSweepPlotView::TSweepPlotView(QWidget* AParent) : QWidget(AParent) {
    setObjectName(QStringLiteral("SweepPlot"));
    setMinimumSize(420, 280);
}

void TSweepPlotView::SetData(TSweepPlotData AData) {
    fData = std::move(AData);
    update();
}

void TSweepPlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    PaintSweepPlot(painter, QRectF(rect()), fData);
}
