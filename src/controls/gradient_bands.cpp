#include "controls/gradient_bands.h"

#include <algorithm>

#include "controls/seven_segment_geometry.h"

namespace {

int Channel(int first, int last, int k, int steps) {
    return first + RoundHalfEven(double(k) * (last - first) / steps);
}

}  // namespace

std::vector<TGradientBand> GradientBands(int extent, TColor start, TColor end, int maxBands,
                                         TLWFillDirection dir) {
    std::vector<TGradientBand> bands;
    if (extent <= 0) return bands;
    if (maxBands < 2) {
        bands.push_back({0, extent, start});
        return bands;
    }
    const bool fromStart = dir == fdTopToBottom || dir == fdLeftToRight;
    const TColor first = fromStart ? start : end;
    const TColor last = fromStart ? end : start;
    const int count = std::max(2, std::min(maxBands, extent));
    const int size = extent / count;
    bands.reserve(count + 1);
    for (int k = 0; k < count; ++k) {
        const int r = Channel(TColorRed(first), TColorRed(last), k, count - 1);
        const int g = Channel(TColorGreen(first), TColorGreen(last), k, count - 1);
        const int b = Channel(TColorBlue(first), TColorBlue(last), k, count - 1);
        bands.push_back({k * size, size, TColorFromRGB(r, g, b)});
    }
    if (extent % count != 0)
        bands.push_back({count * size, extent % count, fromStart ? end : start});
    return bands;
}

std::vector<TColor> GradientLines(int extent, TColor start, TColor end, int maxBands,
                                  TLWFillDirection dir) {
    std::vector<TColor> lines(std::max(0, extent), 0);
    for (const TGradientBand& b : GradientBands(extent, start, end, maxBands, dir)) {
        std::fill(lines.begin() + b.Start, lines.begin() + b.Start + b.Size, b.Color);
    }
    return lines;
}

int FitCaptionPointSize(int pointSize, QSize client, const std::function<QSize(int)>& measure) {
    const QSize own = measure(pointSize);
    if (own.width() >= client.width() || own.height() >= client.height()) return pointSize;
    // Bounded, so a measure that stops growing cannot hold the paint up.
    constexpr int kLargest = 1000;
    int size = pointSize;
    while (size < kLargest) {
        const QSize s = measure(size);
        if (s.width() >= client.width() - 10 || s.height() >= client.height() - 10) break;
        ++size;
    }
    return std::max(1, size - 1);
}
