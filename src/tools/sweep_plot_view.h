#pragma once
// The sweep's curve on screen: the plot of the recorded points drawn for the widget's size,
// redrawn as points come. The drawing is the one of the exported PNG.

#include <QImage>
#include <QWidget>

class TSweep;

class TSweepPlotView : public QWidget {
public:
    explicit TSweepPlotView(QWidget* AParent = nullptr);

    // The sweep whose points are drawn (null: an empty plot); kept by the caller.
    void Show(const TSweep* ASweep);
    // The plot as a picture of ASize.
    QImage Picture(QSize ASize) const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const TSweep* fSweep = nullptr;
};
