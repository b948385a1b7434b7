#pragma once
// Screen colours and the supply's RGB565 display colours, plus flag-word bit setting.

#include <cstdint>

// A screen colour: 0x00BBGGRR (red in the low byte).
using TColor = uint32_t;

// Packs the top 5 bits of red, 6 of green and 5 of blue as red << 11 | green << 5 | blue.
uint16_t ColorToRGB565(TColor AColor);

// Spreads RGB565 to 8-bit channels with the low bits zero, except that the seven pure colours
// (red, green, blue, yellow, magenta, cyan, white) come back at full intensity (0xFF channels).
TColor RGB565ToColor(uint16_t AValue);

// Each of red, green and blue halved, truncating.
TColor HalfColor(TColor AColor);

// AFlags with AMask ORed in when AOn, cleared otherwise.
uint32_t SetFlagBit(uint32_t AFlags, uint32_t AMask, bool AOn);
