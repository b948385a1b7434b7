#include "controls/led_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Parametric angle of the point where the ray from the rectangle's centre through p meets the
// inscribed ellipse; the ellipse is a circle scaled by its half axes.
double EllipseAngle(const QRectF& r, QPointF p) {
    const double a = r.width() / 2;
    const double b = r.height() / 2;
    const QPointF c = r.center();
    if (a <= 0 || b <= 0) return 0;
    const double deg =
        std::atan2(-(p.y() - c.y()) / b, (p.x() - c.x()) / a) * 180 / std::numbers::pi;
    return deg < 0 ? deg + 360 : deg;
}

}  // namespace

TLedGlint LedGlint(int width, int height) {
    TLedGlint g;
    const int l = 0, t = 0, r = width, b = height;
    g.Inset = std::min(width, height) / 5;
    const int h = g.Inset;
    g.Rect = QRectF(QPointF(l + h, t + h), QPointF(r - h, b - h));
    g.Start = QPoint(r / 2 + h / 2, t + h);
    g.End = QPoint(l + h, b / 2 + h / 2);
    g.StartAngle = EllipseAngle(g.Rect, g.Start);
    double span = EllipseAngle(g.Rect, g.End) - g.StartAngle;
    if (span < 0) span += 360;
    g.SpanAngle = span;
    return g;
}

std::array<QPoint, 3> LedTriangle(TdsLedShape shape, int width, int height) {
    const int w = width, h = height;
    switch (shape) {
        case ltTriangleTop:
            return {QPoint(0, h), QPoint(w, h), QPoint(w / 2, 0)};
        case ltTriangleBottom:
            return {QPoint(0, 0), QPoint(w, 0), QPoint(w / 2, h)};
        case ltTriangleLeft:
            return {QPoint(0, 0), QPoint(0, h), QPoint(w, h / 2)};
        case ltTriangleRight:
            return {QPoint(w, 0), QPoint(w, h), QPoint(0, h / 2)};
        default:
            return {};
    }
}

std::array<TLedEdge, 3> LedTriangleEdges(TdsLedShape shape, int width, int height) {
    const std::array<QPoint, 3> c = LedTriangle(shape, width, height);
    const QPointF centroid = QPointF(c[0] + c[1] + c[2]) / 3.0;
    std::array<TLedEdge, 3> edges;
    for (int i = 0; i < 3; ++i) {
        const QPointF a = c[i], b = c[(i + 1) % 3];
        // Outward normal: perpendicular to the edge, pointing away from the centroid.
        QPointF n(b.y() - a.y(), a.x() - b.x());
        const QPointF mid = (a + b) / 2.0;
        if (QPointF::dotProduct(n, mid - centroid) < 0) n = -n;
        edges[i].Line = QLineF(a, b);
        edges[i].FacesUpOrLeft = n.y() < 0 || n.x() < 0;
    }
    return edges;
}
