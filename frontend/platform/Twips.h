// Twips (1/1440 inch) to pixels and back at 96 dpi: 15 twips to a pixel. Column widths, row
// heights and control positions of the windows are given in twips.
#pragma once

constexpr int kTwipsPerPixel = 15;

constexpr int twipsToPixels(int twips) { return twips / kTwipsPerPixel; }
constexpr int pixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }
