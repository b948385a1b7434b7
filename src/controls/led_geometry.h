#pragma once
// Geometry of the LED lamp: outline points of each shape, the glint chord and the bevel edges.
// Pure functions over the control's width and height, tested without painting.

#include <QLineF>
#include <QPoint>
#include <QRectF>
#include <array>
#include <cstdint>

enum TdsLedShape : uint8_t {
    ltEllipse,
    ltRectangle,
    ltTriangleTop,
    ltTriangleBottom,
    ltTriangleLeft,
    ltTriangleRight,
};
enum TdsLedStyle : uint8_t { lsStandard, lsOwnerDraw };
enum TdsLedBevel : uint8_t { blNone, blLowered, blRaised, blBorder };

// The white glint of a round lamp: the chord of the ellipse inscribed in Rect, cut by the line
// from Start to End, running counter-clockwise from Start to End. Angles are in degrees, counter-
// clockwise from three o'clock, as parameters of the ellipse (what QPainterPath::arcTo takes).
struct TLedGlint {
    int Inset = 0;  // h = min(W, H) div 5
    QRectF Rect;
    QPoint Start;
    QPoint End;
    double StartAngle = 0;
    double SpanAngle = 0;
};

TLedGlint LedGlint(int width, int height);

// Corners of a triangular lamp; a non-triangular shape yields three zero points.
std::array<QPoint, 3> LedTriangle(TdsLedShape shape, int width, int height);

// One edge of a triangular lamp and whether its outside faces up or left (lit from the upper left,
// such edges take the shadow colour of a lowered bevel).
struct TLedEdge {
    QLineF Line;
    bool FacesUpOrLeft = false;
};

std::array<TLedEdge, 3> LedTriangleEdges(TdsLedShape shape, int width, int height);
