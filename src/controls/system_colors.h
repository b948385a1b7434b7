#pragma once
// Fixed stand-ins for the desktop's button colours that the drawn controls use for bevels and
// shading. Fixed values keep the instrument look (and the pixel tests) independent of the theme;
// they are the usual light-theme button colours.

#include "controls/qcolor_convert.h"

constexpr TColor clBtnShadow = TColorFromRGB(0xA0, 0xA0, 0xA0);
constexpr TColor clBtnHighlight = TColorFromRGB(0xFF, 0xFF, 0xFF);
constexpr TColor clBtnFace = TColorFromRGB(0xF0, 0xF0, 0xF0);
constexpr TColor clBtnText = TColorFromRGB(0x00, 0x00, 0x00);
constexpr TColor clActiveCaption = TColorFromRGB(0x99, 0xB4, 0xD1);
