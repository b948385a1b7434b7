#include "session/color_helpers.h"

namespace {

constexpr uint32_t Red(TColor c) {
    return c & 0xFF;
}
constexpr uint32_t Green(TColor c) {
    return (c >> 8) & 0xFF;
}
constexpr uint32_t Blue(TColor c) {
    return (c >> 16) & 0xFF;
}
constexpr TColor MakeColor(uint32_t r, uint32_t g, uint32_t b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}

}  // namespace

uint16_t ColorToRGB565(TColor AColor) {
    return static_cast<uint16_t>(((Red(AColor) >> 3) << 11) | ((Green(AColor) >> 2) << 5) |
                                 (Blue(AColor) >> 3));
}

TColor RGB565ToColor(uint16_t AValue) {
    const uint32_t r = (AValue >> 8) & 0xF8;
    const uint32_t g = (AValue >> 3) & 0xFC;
    const uint32_t b = (AValue << 3) & 0xF8;
    // Only the seven combinations of empty and full channels are snapped; any other colour keeps
    // its unscaled channels.
    const bool rPure = r == 0 || r == 0xF8;
    const bool gPure = g == 0 || g == 0xFC;
    const bool bPure = b == 0 || b == 0xF8;
    if (rPure && gPure && bPure && (r | g | b) != 0)
        return MakeColor(r ? 0xFF : 0, g ? 0xFF : 0, b ? 0xFF : 0);
    return MakeColor(r, g, b);
}

TColor HalfColor(TColor AColor) {
    return MakeColor(Red(AColor) / 2, Green(AColor) / 2, Blue(AColor) / 2);
}

uint32_t SetFlagBit(uint32_t AFlags, uint32_t AMask, bool AOn) {
    return AOn ? (AFlags | AMask) : (AFlags & ~AMask);
}
