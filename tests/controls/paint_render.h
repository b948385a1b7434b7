#pragma once
// Rendering a widget into an image for pixel checks.

#include <QImage>
#include <QWidget>

namespace painttest {

// Renders the widget (not shown) into an image of its size, on a background of `back`.
QImage Render(QWidget& w, QColor back = Qt::black);

}  // namespace painttest
