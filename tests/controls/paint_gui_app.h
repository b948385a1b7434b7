#pragma once
// Widget tests need a QApplication; a global test environment creates one before any test runs,
// so helpers that only ask for a core application find it already there.

#include <QImage>
#include <QWidget>

namespace painttest {

// Renders the widget (not shown) into an image of its size, on a background of `back`.
QImage Render(QWidget& w, QColor back = Qt::black);

}  // namespace painttest
