#include "controls/rot_img.h"

#include <QPainter>

QImage RotImg(const QImage& src, double angleDeg, const QRectF& disc) {
    QImage out(src.size(), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(src.devicePixelRatio());
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QPointF c = disc.center();
    p.translate(c);
    p.rotate(-angleDeg);  // QPainter turns clockwise on the screen for positive angles
    p.translate(-c);
    p.drawImage(QPointF(0, 0), src);
    p.resetTransform();
    // Keep only the disc, with an anti-aliased edge (a clip path would cut it hard). The mask
    // covers the whole image: a composition mode acts only on the pixels a drawing touches.
    QImage mask(src.size(), QImage::Format_ARGB32_Premultiplied);
    mask.setDevicePixelRatio(src.devicePixelRatio());
    mask.fill(Qt::transparent);
    {
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing, true);
        m.setPen(Qt::NoPen);
        m.setBrush(Qt::black);
        m.drawEllipse(disc);
    }
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    p.drawImage(QPointF(0, 0), mask);
    p.end();
    return out;
}
