#pragma once
// Rotation of the knob's face picture about the centre of a disc.

#include <QImage>
#include <QRectF>

// The part of `src` inside the disc inscribed in `disc`, rotated about the disc's centre by
// `angleDeg` degrees counter-clockwise on the screen, with smooth (bilinear) filtering. Pixels
// outside the disc are transparent. The result has the size and pixel ratio of `src`; `disc` is in
// device-independent pixels.
QImage RotImg(const QImage& src, double angleDeg, const QRectF& disc);
