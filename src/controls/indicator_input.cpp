#include "controls/indicator_input.h"

#include <Qt>

#include "controls/indicator.h"

bool IndicatorKeyDown(TIndicator* indicator, int key) {
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            break;
        default:
            return false;
    }
    if (!indicator || indicator->CursorPos() == 0) return true;
    const uint16_t pos = indicator->CursorPos();
    if (key == Qt::Key_Left) {
        if (pos < indicator->DataLen) indicator->MoveCursorLeft();
    } else if (key == Qt::Key_Right) {
        if (pos > 1) indicator->MoveCursorRight();
    } else if (key == Qt::Key_Up) {
        indicator->ValueAtCursorUp();
    } else {
        indicator->ValueAtCursorDown();
    }
    return true;
}

bool IndicatorKeyPress(TIndicator* indicator, QChar ch) {
    if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) return false;
    if (indicator && indicator->CursorPos() != 0)
        indicator->ValueAtCursor(static_cast<uint32_t>(ch.unicode() - '0'));
    return true;
}

void IndicatorCursorButton(TIndicator* indicator, bool right) {
    if (!indicator) return;
    if (indicator->CursorPos() == 0) {
        indicator->SetCursorPos(2);
    } else if (right) {
        indicator->MoveCursorRight();
    } else {
        indicator->MoveCursorLeft();
    }
}
