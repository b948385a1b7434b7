#pragma once
// Arithmetic of the banded colour gradient and of the caption that grows to fill a panel. Pure
// functions, tested without painting.

#include <QSize>
#include <cstdint>
#include <functional>
#include <vector>

#include "controls/qcolor_convert.h"

enum TLWFillDirection : uint8_t { fdTopToBottom, fdBottomToTop, fdLeftToRight, fdRightToLeft };

constexpr bool IsVerticalFill(TLWFillDirection d) {
    return d == fdTopToBottom || d == fdBottomToTop;
}

// One band: `Size` pixels from `Start`, counted from the top (vertical fills) or the left.
struct TGradientBand {
    int Start = 0;
    int Size = 0;
    TColor Color = 0;

    bool operator==(const TGradientBand&) const = default;
};

// The bands that fill an extent of `extent` pixels (the height for vertical fills, the width for
// horizontal ones) from start colour S to end colour E with at most `maxBands` bands. S lies on
// the side the direction starts from. The last entry fills the pixels left over after the equal
// bands. Nothing for an empty extent; one band of S when fewer than two bands are allowed.
std::vector<TGradientBand> GradientBands(int extent, TColor start, TColor end, int maxBands,
                                         TLWFillDirection dir);

// The colour of every pixel line of the extent, as the bands paint it.
std::vector<TColor> GradientLines(int extent, TColor start, TColor end, int maxBands,
                                  TLWFillDirection dir);

// Largest point size for a caption that fills a client area: starting from `pointSize`, grow by
// one point while the text measured at that size is narrower than the client width - 10 and lower
// than the client height - 10, then take one point off. `measure` gives the text's size at a point
// size. A caption that does not fit at its own size keeps it.
int FitCaptionPointSize(int pointSize, QSize client, const std::function<QSize(int)>& measure);
