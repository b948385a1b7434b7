#include "controls/seven_segment_geometry.h"

#include <array>
#include <cmath>

namespace {

constexpr std::array<TdsDisplaySegments, 12> kPatterns = {
    0x77, 0x24, 0x5D, 0x6D, 0x2E, 0x6B, 0x7B, 0x25, 0x7F, 0x6F, 0x00, 0x08,
};
constexpr TdsDisplaySegments kPatternE = 0x5B;

struct GridPoint {
    double a;
    double b;
};

}  // namespace

TdsDisplaySegments SegmentsForValue(uint32_t code) {
    return code < kPatterns.size() ? kPatterns[code] : kPatternE;
}

int RoundHalfEven(double x) {
    const double lower = std::floor(x);
    const double frac = x - lower;
    double r = lower;
    if (frac > 0.5) {
        r = lower + 1;
    } else if (frac == 0.5) {
        r = std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1;
    }
    return static_cast<int>(r);
}

std::vector<QPoint> SegmentPolygon(TdsDisplaySegment segment, int width, int height, int segWidth) {
    const double s = segWidth;
    const double h = s / 2;  // a real half: the middle segment's points
    std::vector<GridPoint> g;
    switch (segment) {
        case tsTop:
            g = {{2, 1}, {18, 1}, {18 - s, s + 1}, {s + 2, s + 1}};
            break;
        case tsUpperLeft:
            g = {{1, 2}, {1, 18}, {s + 1, 18 - s}, {s + 1, s + 2}};
            break;
        case tsUpperRight:
            g = {{19, 2}, {19, 18}, {19 - s, 18 - s}, {19 - s, s + 2}};
            break;
        case tsMiddle:
            g = {{2, 19},  {2 + h, 19 - h},  {18 - h, 19 - h},
                 {18, 19}, {18 - h, 19 + h}, {2 + h, 19 + h}};
            break;
        case tsLowerLeft:
            g = {{1, 20}, {1, 36}, {s + 1, 36 - s}, {s + 1, s + 20}};
            break;
        case tsLowerRight:
            g = {{19, 20}, {19, 36}, {19 - s, 36 - s}, {19 - s, s + 20}};
            break;
        case tsBottom:
            g = {{2, 37}, {18, 37}, {18 - s, 37 - s}, {s + 2, 37 - s}};
            break;
    }
    // a * W / 20 rather than a * (W / 20): the product is exact, so a point that falls on a half
    // pixel is recognised as one and rounds to even.
    std::vector<QPoint> pts;
    pts.reserve(g.size());
    for (const GridPoint& p : g) {
        pts.emplace_back(RoundHalfEven(p.a * width / 20.0), RoundHalfEven(p.b * height / 38.0));
    }
    return pts;
}
