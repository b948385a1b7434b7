#pragma once
// The main window's wheel: one step per wheel pause, applied by whichever of the set indicators
// owns the digit under the pointer. The pause starts on every turn that is not ignored, also when
// the pointer is over something else, so a fast wheel never races ahead of the display.

#include <QPoint>
#include <initializer_list>

class QWidget;
class TIndicator;
class TWheelPause;

void PanelMouseWheel(TWheelPause& pause, QWidget* window, QPoint windowPos, bool up,
                     std::initializer_list<TIndicator*> indicators);
