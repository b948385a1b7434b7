#include "tools/core/sweep_plot.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "tools/core/save_file.h"

namespace {

// An axis: the values shown in a unit (V or mV, A or mA) and its ticks.
struct TAxis {
    double Scale = 1;  // shown value = value × Scale
    QString Unit;
    TPlotTicks Ticks;
    double Low() const { return Ticks.First; }
    double High() const { return Ticks.First + Ticks.Step * (Ticks.Count - 1); }
};

TAxis MakeAxis(double ALow, double AHigh, const QString& AUnit, int ATicks) {
    TAxis axis;
    const double largest = std::max(std::fabs(ALow), std::fabs(AHigh));
    if (largest < 1.0 && largest > 0) {
        axis.Scale = 1000;
        axis.Unit = "m" + AUnit;
    } else {
        axis.Unit = AUnit;
    }
    axis.Ticks = NiceTicks(ALow * axis.Scale, AHigh * axis.Scale, ATicks);
    return axis;
}

}  // namespace

TPlotTicks NiceTicks(double ALow, double AHigh, int ATarget) {
    if (!(AHigh > ALow)) AHigh = ALow + 1;
    const double raw = (AHigh - ALow) / std::max(1, ATarget - 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    TPlotTicks best;
    int bestMiss = INT32_MAX;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        TPlotTicks t;
        t.Step = m * power;
        t.First = std::floor(ALow / t.Step + 1e-9) * t.Step;
        t.Count = std::max(2, static_cast<int>(std::ceil((AHigh - t.First) / t.Step - 1e-9)) + 1);
        t.Decimals = std::max(0, static_cast<int>(-std::floor(std::log10(t.Step) + 1e-9)));
        // On a tie the finer steps win: more ticks to read the curve by.
        const int miss = std::abs(t.Count - ATarget);
        if (miss < bestMiss) {
            best = t;
            bestMiss = miss;
        }
    }
    return best;
}

void PaintSweepPlot(QPainter& APainter, const QRectF& ARect, const TSweepPlotData& AData) {
    QPainter& p = APainter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(ARect, Qt::white);

    double uLow = std::min(AData.PlannedFrom, AData.PlannedTo);
    double uHigh = std::max(AData.PlannedFrom, AData.PlannedTo);
    double iLow = 0;
    double iHigh = 0;
    for (const TSweepPoint& pt : AData.Points) {
        uLow = std::min(uLow, pt.Uout);
        uHigh = std::max(uHigh, pt.Uout);
        iLow = std::min(iLow, pt.Iout);
        iHigh = std::max(iHigh, pt.Iout);
    }
    uHigh = std::max(uHigh, AData.LimitVoltage);
    iHigh = std::max(iHigh, AData.LimitCurrent);
    // Room above the highest current, so that its dot and the compliance ring stay inside.
    // A voltage axis that follows the points gets room on the right as well.
    const bool planned = AData.PlannedFrom != AData.PlannedTo;
    const TAxis x = MakeAxis(uLow, uHigh + (planned ? 0 : (uHigh - uLow) * 0.05), "V", 8);
    const TAxis y = MakeAxis(iLow, iHigh + (iHigh - iLow) * 0.05, "A", 6);

    QFont font = p.font();
    font.setPixelSize(std::max(11, static_cast<int>(ARect.height() / 42)));
    p.setFont(font);
    const QFontMetricsF fm(font);
    QFont titleFont = font;
    titleFont.setPixelSize(font.pixelSize() * 5 / 4);
    titleFont.setBold(true);

    // The plot area, with room for the title, the tick labels and the axis names.
    QString widestY;
    for (int k = 0; k < y.Ticks.Count; ++k) {
        const QString label =
            QString::number(y.Ticks.First + k * y.Ticks.Step, 'f', y.Ticks.Decimals);
        if (label.size() > widestY.size()) widestY = label;
    }
    const double line = fm.height();
    const QRectF area(ARect.left() + fm.horizontalAdvance(widestY) + 2.2 * line,
                      ARect.top() + 2.4 * line, 0, 0);
    QRectF plot = area;
    plot.setRight(ARect.right() - 1.5 * line);
    plot.setBottom(ARect.bottom() - 2.8 * line);

    const auto px = [&](double AValue) {
        return plot.left() + (AValue * x.Scale - x.Low()) / (x.High() - x.Low()) * plot.width();
    };
    const auto py = [&](double AValue) {
        return plot.bottom() - (AValue * y.Scale - y.Low()) / (y.High() - y.Low()) * plot.height();
    };

    p.setFont(titleFont);
    p.setPen(Qt::black);
    p.drawText(QRectF(ARect.left(), ARect.top() + 0.4 * line, ARect.width(), 1.6 * line),
               Qt::AlignCenter, AData.Title);
    p.setFont(font);

    // Grid and tick labels.
    const QPen grid(QColor(225, 225, 225), 1);
    const QPen text(QColor(40, 40, 40));
    for (int k = 0; k < x.Ticks.Count; ++k) {
        const double value = x.Ticks.First + k * x.Ticks.Step;
        const double at = plot.left() + (value - x.Low()) / (x.High() - x.Low()) * plot.width();
        p.setPen(grid);
        p.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
        p.setPen(text);
        p.drawText(QRectF(at - 40, plot.bottom() + 0.3 * line, 80, line), Qt::AlignHCenter,
                   QString::number(value, 'f', x.Ticks.Decimals));
    }
    for (int k = 0; k < y.Ticks.Count; ++k) {
        const double value = y.Ticks.First + k * y.Ticks.Step;
        const double at = plot.bottom() - (value - y.Low()) / (y.High() - y.Low()) * plot.height();
        p.setPen(grid);
        p.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
        p.setPen(text);
        p.drawText(
            QRectF(ARect.left(), at - line / 2, plot.left() - ARect.left() - 0.4 * line, line),
            Qt::AlignRight | Qt::AlignVCenter, QString::number(value, 'f', y.Ticks.Decimals));
    }
    p.setPen(QPen(Qt::black, 1.2));
    p.drawRect(plot);

    // Axis names.
    p.drawText(QRectF(plot.left(), plot.bottom() + 1.4 * line, plot.width(), line),
               Qt::AlignHCenter, "Voltage (" + x.Unit + ")");
    p.save();
    p.translate(ARect.left() + 0.2 * line, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, 0, plot.height(), line), Qt::AlignHCenter,
               "Current (" + y.Unit + ")");
    p.restore();

    // The compliance limit.
    const QColor red(200, 30, 30);
    p.setPen(QPen(red, 1.2, Qt::DashLine));
    if (AData.LimitCurrent > 0) {
        const double at = py(AData.LimitCurrent);
        p.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
        p.drawText(QRectF(plot.left() + 0.5 * line, at - 1.2 * line, plot.width() / 2, line),
                   Qt::AlignLeft, "limit");
    }
    if (AData.LimitVoltage > 0) {
        const double at = px(AData.LimitVoltage);
        p.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
        p.drawText(QRectF(at + 0.3 * line, plot.top() + 0.3 * line, plot.width() / 2, line),
                   Qt::AlignLeft, "limit");
    }

    // The curve.
    const QColor blue(25, 90, 180);
    if (AData.Points.empty()) {
        p.setPen(text);
        p.drawText(plot, Qt::AlignCenter, "no point recorded yet");
    } else {
        QPainterPath path;
        for (size_t k = 0; k < AData.Points.size(); ++k) {
            const QPointF at(px(AData.Points[k].Uout), py(AData.Points[k].Iout));
            if (k == 0)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        p.setClipRect(plot.adjusted(-4, -4, 4, 4));
        p.setPen(QPen(blue, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setBrush(blue);
        p.setPen(Qt::NoPen);
        const double dot = std::max(2.5, line / 5);
        for (const TSweepPoint& pt : AData.Points)
            p.drawEllipse(QPointF(px(pt.Uout), py(pt.Iout)), dot, dot);
        if (AData.Compliance) {
            const TSweepPoint& last = AData.Points.back();
            const QPointF at(px(last.Uout), py(last.Iout));
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(red, 2));
            p.drawEllipse(at, 3 * dot, 3 * dot);
            p.setClipping(false);
            const QString label = "compliance";
            const double width = fm.horizontalAdvance(label);
            // Left of the point when it sits near the right edge.
            const double left = at.x() + 4 * dot + width < plot.right() ? at.x() + 4 * dot
                                                                        : at.x() - 4 * dot - width;
            // Above the point, clear of a limit line through it.
            const double top = std::max(plot.top(), at.y() - 3 * dot - line);
            p.drawText(QRectF(left, top, width + 2, line), Qt::AlignLeft, label);
        }
    }
    p.restore();
}

QImage SweepPlotImage(const TSweepPlotData& AData, QSize ASize) {
    QImage image(ASize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintSweepPlot(painter, QRectF(QPointF(0, 0), QSizeF(ASize)), AData);
    painter.end();
    return image;
}

QString SaveSweepPlot(const QString& APath, const TSweepPlotData& AData) {
    const QImage image = SweepPlotImage(AData);
    return SaveFile(APath, [&image, &AData](const QString& ATemp) -> QString {
        QImageWriter writer(ATemp, "png");
        // The title also as the picture's text, for viewers and indexers.
        writer.setText("Title", AData.Title);
        return writer.write(image) ? QString() : writer.errorString();
    });
}
