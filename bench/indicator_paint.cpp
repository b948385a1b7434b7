// Cost of one six-digit indicator on screen: the time to repaint its digit row into an image after
// a value change, and how many paints 1000 identical value writes cause (none after the first).
// Run with QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <array>
#include <cstdio>

#include "controls/indicator.h"
#include "controls/indicator_widgets.h"
#include "controls/seven_segment_display.h"

namespace {

constexpr int kDigitW = 33;
constexpr int kDigitH = 49;
constexpr int kGap = 6;

struct Row {
    QWidget panel;
    std::array<TdsSevenSegmentDisplay*, 7> seg{};
    uint32_t cell = 0;
    TIndicator ind{0, 1000000, 6, 3, &cell};

    Row() {
        panel.resize(6 * (kDigitW + kGap) + kGap, kDigitH + 2 * kGap);
        for (int i = 1; i <= 6; ++i) {
            seg[i] = new TdsSevenSegmentDisplay(&panel);
            seg[i]->setGeometry(kGap + (6 - i) * (kDigitW + kGap), kGap, kDigitW, kDigitH);
            seg[i]->SetBackColor(0x000000);
            seg[i]->SetOffColor(0x202020);
            seg[i]->SetOnColor(0x00FF00);
            ind.Digit[i] = IndicatorDigit(seg[i]);
        }
        ind.ClearValue();
        ind.UpdateDigits();
    }
    uint64_t Paints() const {
        uint64_t n = 0;
        for (int i = 1; i <= 6; ++i)
            n += seg[i]->PaintCount();
        return n;
    }
    uint64_t Requests() const {
        uint64_t n = 0;
        for (int i = 1; i <= 6; ++i)
            n += seg[i]->RepaintRequests();
        return n;
    }
};

// Mean microseconds per call of `body` over `rounds` calls.
template <typename F>
double MeanMicros(int rounds, F&& body) {
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        body(i);
    return static_cast<double>(t.nsecsElapsed()) / 1000.0 / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    constexpr int kRounds = 2000;

    Row row;
    QImage image(row.panel.size(), QImage::Format_ARGB32_Premultiplied);

    // Baseline: rendering a plain widget of the same size through the same machinery.
    QWidget plain;
    plain.resize(row.panel.size());
    const double baseline = MeanMicros(kRounds, [&](int) { plain.render(&image); });

    // A new value every round: six codes written, the whole row rendered.
    const double repaint = MeanMicros(kRounds, [&](int i) {
        row.cell = static_cast<uint32_t>(100000 + i * 37 % 900000);
        row.ind.UpdateDigits();
        row.panel.render(&image);
    });

    // The same six digits, nothing changed, rendered anyway (pure drawing cost).
    const double drawOnly = MeanMicros(kRounds, [&](int) { row.panel.render(&image); });

    // On screen: identical writes must cause no paint after the first.
    row.panel.show();
    QCoreApplication::processEvents();
    const uint64_t paintsShown = row.Paints();
    row.cell = 123456;
    row.ind.UpdateDigits();
    QCoreApplication::processEvents();
    const uint64_t firstPaints = row.Paints() - paintsShown;
    const uint64_t paintsBefore = row.Paints();
    const uint64_t requestsBefore = row.Requests();
    for (int i = 0; i < 1000; ++i) {
        row.cell = 123456;
        row.ind.UpdateDigits();
        QCoreApplication::processEvents();
    }
    const uint64_t cachedPaints = row.Paints() - paintsBefore;
    // Even with the indicator's cache cleared every time, the digits compare and stay still.
    for (int i = 0; i < 1000; ++i) {
        row.ind.ClearValue();
        row.ind.UpdateDigits();
        QCoreApplication::processEvents();
    }
    const uint64_t uncachedPaints = row.Paints() - paintsBefore - cachedPaints;
    const uint64_t requests = row.Requests() - requestsBefore;

    std::printf("six-digit indicator, %d x %d digits, %d rounds\n", kDigitW, kDigitH, kRounds);
    std::printf("  baseline: render an empty widget of the same size   %8.1f us\n", baseline);
    std::printf(
        "  value change + repaint of the row into an image     %8.1f us  (%.1fx baseline)\n",
        repaint, repaint / baseline);
    std::printf(
        "  repaint of the row only                             %8.1f us  (%.1fx baseline)\n",
        drawOnly, drawOnly / baseline);
    std::printf("  paints after the first (changed) write              %8llu\n",
                static_cast<unsigned long long>(firstPaints));
    std::printf("  paints after 1000 identical writes (render cache)   %8llu\n",
                static_cast<unsigned long long>(cachedPaints));
    std::printf("  paints after 1000 forced re-renders, same value     %8llu\n",
                static_cast<unsigned long long>(uncachedPaints));
    std::printf("  repaint requests during both                        %8llu\n",
                static_cast<unsigned long long>(requests));
    return firstPaints > 0 && cachedPaints == 0 && uncachedPaints == 0 ? 0 : 1;
}
