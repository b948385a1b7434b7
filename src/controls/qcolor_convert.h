#pragma once
// Conversion between the program's colour cells (TColor, 0x00BBGGRR) and Qt colours. Every drawn
// control goes through these so that a colour read from the supply or the settings paints the same
// everywhere.

#include <QColor>
#include <cstdint>

#include "session/color_helpers.h"

// A colour cell from its red, green and blue channels.
constexpr TColor TColorFromRGB(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

constexpr int TColorRed(TColor c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int TColorGreen(TColor c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int TColorBlue(TColor c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

inline QColor ToQColor(TColor c) {
    return QColor(TColorRed(c), TColorGreen(c), TColorBlue(c));
}

inline TColor ToTColor(const QColor& c) {
    return TColorFromRGB(c.red(), c.green(), c.blue());
}
