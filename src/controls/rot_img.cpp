#include "controls/rot_img.h"

#include <QPainter>

namespace {

// The disc as an anti-aliased alpha mask over the whole image. The knob asks for the same disc
// on every redraw, so the last one is kept (per thread; pictures are drawn on the UI thread).
const QImage& DiscMask(QSize size, qreal ratio, const QRectF& disc) {
    thread_local QImage mask;
    thread_local QRectF maskDisc;
    if (mask.size() != size || mask.devicePixelRatio() != ratio || maskDisc != disc) {
        mask = QImage(size, QImage::Format_ARGB32_Premultiplied);
        mask.setDevicePixelRatio(ratio);
        mask.fill(Qt::transparent);
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing, true);
        m.setPen(Qt::NoPen);
        m.setBrush(Qt::black);
        m.drawEllipse(disc);
        maskDisc = disc;
    }
    return mask;
}

}  // namespace

QImage RotImg(const QImage& src, double angleDeg, const QRectF& disc) {
    QImage out(src.size(), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(src.devicePixelRatio());
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);  // bilinear filtering
    const QPointF c = disc.center();
    p.translate(c);
    p.rotate(-angleDeg);  // QPainter turns clockwise on the screen for positive angles
    p.translate(-c);
    p.drawImage(QPointF(0, 0), src);
    p.resetTransform();
    // Keep only the disc, with an anti-aliased edge (a clip path would cut it hard). The mask
    // covers the whole image: a composition mode acts only on the pixels a drawing touches.
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    p.drawImage(QPointF(0, 0), DiscMask(src.size(), src.devicePixelRatio(), disc));
    p.end();
    return out;
}
