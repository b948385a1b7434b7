#include "controls/panel_wheel.h"

#include "controls/control_at.h"
#include "controls/indicator.h"
#include "controls/wheel_pause.h"

void PanelMouseWheel(TWheelPause& pause, QWidget* window, QPoint windowPos, bool up,
                     std::initializer_list<TIndicator*> indicators) {
    if (pause.Running()) return;
    const QWidget* control = EnabledControlAt(window, windowPos);
    // An indicator reacts only to its own digits, so offering the control to each is enough.
    for (TIndicator* indicator : indicators) {
        if (!indicator) continue;
        if (up) {
            indicator->MouseWheelUp(control);
        } else {
            indicator->MouseWheelDown(control);
        }
    }
    pause.Start();
}
