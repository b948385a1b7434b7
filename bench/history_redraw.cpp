// Cost of the History window's plot over a long session.
// A history of a week thinned to one record per second plus the newest two hours at 175
// readings a second (1.26 million) is drawn in a plot whose panes are 1200 pixels wide:
//   1. the plot's own redraw (minimum and maximum per pixel column), over the whole week and
//      over the last hour;
//   2. in the same run, the same readings drawn without decimation: one polyline per value
//      through every reading (a thinned second as its minimum and maximum).
// Also the history's memory: bytes per day of thinned seconds, bytes of the full-rate part, and
// the growth of the process's resident memory while the history was filled.
//
//   bench_history_redraw [redraws per case, default 20]
// The week before the last two hours is filled at 10 readings a second (its thinned records are
// the same whatever the rate). Run with QT_QPA_PLATFORM=offscreen (set automatically when unset).

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "bench/bench_timing.h"
#include "session/session_history.h"
#include "tools/history_plot.h"

namespace {

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

THistorySample Reading(int64_t ATime, uint64_t AK) {
    THistorySample s;
    s.Time = ATime;
    // A slowly drifting charge curve with ripple, and an output switched now and then.
    s.Uout = static_cast<uint16_t>(1200 + (AK / 1000) % 300 + AK % 7);
    s.Iout = static_cast<uint16_t>(800 + (AK / 3000) % 400 + AK % 11);
    s.Power = uint32_t{s.Uout} * s.Iout / 100;
    s.Output = (AK / 500'000) % 5 != 4;
    s.CC = s.Iout > 1000;
    return s;
}

// Every reading without decimation: three polylines through all rows.
void DrawUndecimated(QPainter& APainter, const TSessionHistory& AHistory, int64_t AFrom,
                     int64_t ATo, QRect AArea) {
    const double sx = static_cast<double>(AArea.width()) / static_cast<double>(ATo - AFrom);
    const int paneHeight = AArea.height() / 3;
    std::vector<QPolygonF> lines(3);
    for (QPolygonF& l : lines)
        l.reserve(static_cast<qsizetype>(AHistory.FullRateCount() + 2 * AHistory.ThinnedCount()));
    AHistory.Rows(AFrom, ATo, [&](const THistoryRow& R) {
        const double x = AArea.left() + static_cast<double>(R.Time - AFrom) * sx;
        const TMinMax* ranges[3] = {&R.URange, &R.IRange, &R.PRange};
        const double scale[3] = {2000.0, 1500.0, 40000.0};
        for (int k = 0; k < 3; ++k) {
            const double top = AArea.top() + k * paneHeight;
            lines[k].append({x, top + paneHeight * (1 - ranges[k]->Min / scale[k])});
            if (R.Thinned) lines[k].append({x, top + paneHeight * (1 - ranges[k]->Max / scale[k])});
        }
        return true;
    });
    APainter.fillRect(AArea, Qt::white);
    for (const QPolygonF& l : lines)
        APainter.drawPolyline(l);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int redraws = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    const long rssBefore = ResidentKb();
    TSessionHistory history;
    const int64_t start = 1'700'000'000'000;
    const int64_t week = 7 * 86'400'000LL;
    uint64_t k = 0;
    for (int64_t t = start; t < start + week; t += 100)
        history.Append(Reading(t, k++));
    const int64_t fullStart = start + week;
    const int64_t fullEnd = fullStart + TSessionHistory::kFullRateMs;
    for (int64_t n = 0;; ++n) {
        const int64_t t = fullStart + n * 1000 / 175;
        if (t >= fullEnd) break;
        history.Append(Reading(t, k++));
    }
    const long rssAfter = ResidentKb();

    const size_t thinnedBytes = history.ThinnedCount() * sizeof(THistorySecond);
    const size_t fullBytes = history.FullRateCount() * sizeof(THistorySample);
    std::printf("History: %zu thinned seconds (%.1f days), %zu full-rate readings\n",
                history.ThinnedCount(), history.ThinnedCount() / 86400.0, history.FullRateCount());
    std::printf(
        "Memory: %.2f MB per day thinned (%zu B per second), %.1f MB full-rate part, "
        "%.1f MB in all (MemoryBytes); resident growth %.1f MB\n",
        thinnedBytes / (history.ThinnedCount() / 86400.0) / 1e6, sizeof(THistorySecond),
        fullBytes / 1e6, history.MemoryBytes() / 1e6, (rssAfter - rssBefore) / 1024.0);

    THistoryPlot plot(history);
    plot.resize(1200 + 74, 600);  // plot area 1200 px wide
    const QRect area = plot.PlotRect();
    std::printf("Plot area: %d x %d px\n", area.width(), area.height());
    QImage image(plot.size(), QImage::Format_RGB32);

    const auto redraw = [&](int64_t AFrom, int64_t ATo) {
        plot.ShowRange(AFrom, ATo);
        return benchtiming::MicrosPerCall(redraws, [&](int) { plot.render(&image); }) / 1000.0;
    };
    const double weekMs = redraw(start, fullEnd);
    const double hourMs = redraw(fullEnd - 3'600'000, fullEnd);
    const double plainWeekMs =
        benchtiming::MicrosPerCall(std::max(1, redraws / 4),
                                   [&](int) {
                                       QPainter p(&image);
                                       DrawUndecimated(p, history, start, fullEnd, area);
                                   }) /
        1000.0;
    const double plainHourMs =
        benchtiming::MicrosPerCall(std::max(1, redraws / 4),
                                   [&](int) {
                                       QPainter p(&image);
                                       DrawUndecimated(p, history, fullEnd - 3'600'000, fullEnd,
                                                       area);
                                   }) /
        1000.0;
    std::printf("Redraw, decimated per pixel column: week %.2f ms, last hour %.2f ms\n", weekMs,
                hourMs);
    std::printf("Redraw, every reading drawn:        week %.2f ms, last hour %.2f ms\n",
                plainWeekMs, plainHourMs);
    std::printf("Ratio (every reading / decimated):  week %.1fx, last hour %.1fx\n",
                plainWeekMs / weekMs, plainHourMs / hourMs);
    return 0;
}
