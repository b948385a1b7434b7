#pragma once
// The sweep's curve on screen: the plot of the recorded points (the drawing of the exported
// PNG), painted for the widget's size and redrawn as points come.

#include <QWidget>

#include "tools/core/sweep_plot.h"

class TSweepPlotView : public QWidget {
public:
    explicit TSweepPlotView(QWidget* AParent = nullptr);

    void SetData(TSweepPlotData AData);
    const TSweepPlotData& Data() const { return fData; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    TSweepPlotData fData;
};
