#include "help_tip_shadow.h"

#include <algorithm>

namespace {
constexpr int kStep = 16;
}  // namespace

int HelpTipShadowDepth(int x, int y, int width, int height) {
    const int s = kHelpTipShadow;
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const bool rightBand = x >= width - s;
    const bool bottomBand = y >= height - s;
    const int j = rightBand ? x - (width - s) : x;         // column within a block
    const int i = bottomBand ? y - (height - s) : y;       // row within a block
    if (rightBand && y < s) return i > j ? kStep * i : 0;  // top end
    if (rightBand && !bottomBand) return kStep * (s - j);
    if (rightBand) return i == j ? kStep * (s - 1 - j) : kStep * (s - std::max(i, j));  // corner
    if (bottomBand && x >= s) return kStep * (s - i);
    if (bottomBand) return j > i ? kStep * j : 0;  // left end
    return 0;
}

void DarkenHelpTipShadow(std::vector<uint32_t>& pixels, int width, int height) {
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return;
    }
    auto darken = [](uint32_t pixel, int shift, uint32_t depth) {
        const uint32_t value = (pixel >> shift) & 0xFFu;
        return (value > depth ? value - depth : 0u) << shift;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int depth = HelpTipShadowDepth(x, y, width, height);
            if (depth == 0) continue;
            uint32_t& pixel = pixels[static_cast<size_t>(y) * width + x];
            const uint32_t d = static_cast<uint32_t>(depth);
            pixel = darken(pixel, 16, d) | darken(pixel, 8, d) | darken(pixel, 0, d);
        }
    }
}
