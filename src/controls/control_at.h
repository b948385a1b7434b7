#pragma once
// The innermost enabled control under a point: starting at `window`, as long as the current
// control has children, the point is translated into its coordinates and its visible, enabled
// child at that point is taken, one level at a time. Returns `window` itself when no child is
// there. Disabled controls (and everything inside them) are passed over.

#include <QPoint>

class QWidget;

QWidget* EnabledControlAt(QWidget* window, QPoint windowPos);
