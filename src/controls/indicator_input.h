#pragma once
// Input mappings shared by the entry pop-ups and the main window's set panels.
//
// The keyboard mapping shared by the entry pop-ups and the main window's set panels. Nothing
// happens unless the indicator shows a cursor: left and right arrows move it without wrapping, up
// and down step the value, digits are typed at the cursor. Every other key (Enter and Escape
// included) does nothing. Each returns whether the key belongs to the mapping.

#include <QChar>

class TIndicator;

bool IndicatorKeyDown(TIndicator* indicator, int key);
bool IndicatorKeyPress(TIndicator* indicator, QChar ch);

// The horizontal cursor buttons under a set panel: without a cursor a press places it on position
// 2; otherwise the right button moves it right and the left one left, both wrapping around.
void IndicatorCursorButton(TIndicator* indicator, bool right);
