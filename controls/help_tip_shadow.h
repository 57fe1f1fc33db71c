// The help tip's shadow: a 5-pixel band along its right and bottom edges
// that darkens what lies beneath, most near the tip and least at the band's
// outer edge, with softened ends. Platform-neutral: pixels are 0x00RRGGBB.
#pragma once

#include <cstdint>
#include <vector>

// Width of the shadow band in pixels.
constexpr int kHelpTipShadow = 5;

// How much the pixel at (x, y) of a width x height tip is darkened in each
// colour; 0 outside the band and at its softened ends.
int HelpTipShadowDepth(int x, int y, int width, int height);

// Darkens the band of `pixels` (width x height, rows from the top) once;
// nothing when the buffer does not hold width x height pixels.
void DarkenHelpTipShadow(std::vector<uint32_t>& pixels, int width, int height);
