#pragma once
// Arithmetic of the seven-segment digit: value codes to segment sets, and the segment polygons on
// the 20 x 38 grid scaled to a control of W x H pixels. Pure functions, tested without painting.

#include <QPoint>
#include <cstdint>
#include <vector>

enum TdsDisplaySegment : uint8_t {
    tsTop = 0,
    tsUpperLeft = 1,
    tsUpperRight = 2,
    tsMiddle = 3,
    tsLowerLeft = 4,
    tsLowerRight = 5,
    tsBottom = 6,
};

// Bit i set = segment i lit.
using TdsDisplaySegments = uint8_t;

constexpr TdsDisplaySegments SegmentBit(TdsDisplaySegment s) {
    return static_cast<TdsDisplaySegments>(1u << s);
}

// Value codes besides 0..9; every other code shows an E.
constexpr uint32_t kSegCodeBlank = 10;
constexpr uint32_t kSegCodeDash = 11;

// The segment set that shows value code `code`.
TdsDisplaySegments SegmentsForValue(uint32_t code);

// The integer nearest to x, halves going to the even integer.
int RoundHalfEven(double x);

// Corners in pixels of segment `segment` for a W x H control whose segments are `segWidth` grid
// units thick, in drawing order (four for the outer segments, six for the middle one).
std::vector<QPoint> SegmentPolygon(TdsDisplaySegment segment, int width, int height, int segWidth);
