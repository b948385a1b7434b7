#include "tests/controls/paint_render.h"

namespace painttest {

QImage Render(QWidget& w, QColor back) {
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(back);
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

}  // namespace painttest
