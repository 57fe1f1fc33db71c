// The help tip's shadow over a 13 x 11 tip, in steps of 16 darker: a band
// along the right and bottom edges, darkest next to the tip, softened ends.
#include "help_tip_shadow.h"

#include <gtest/gtest.h>

namespace {

TEST(HelpTipShadow, DarkensTheBandMostNextToTheTipWithSoftenedEnds) {
    const char* const depths[] = {"0000000000000", "0000000010000", "0000000022000",
                                  "0000000033300", "0000000044440", "0000000054321",
                                  "0123455544321", "0023444443321", "0003433333221",
                                  "0000422222211", "0000011111110"};
    const int width = 13, height = 11;
    std::vector<uint32_t> pixels(width * height, 0x00C08040);
    DarkenHelpTipShadow(pixels, width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t d = 16 * (depths[y][x] - '0');  // blue stops at 0
            EXPECT_EQ(pixels[y * width + x],
                      (0xC0 - d) << 16 | (0x80 - d) << 8 | (d < 0x40 ? 0x40 - d : 0))
                << x << "," << y;
        }
    }
    // A buffer that is not width x height pixels is left alone.
    std::vector<uint32_t> small(width, 0x00FFFFFF);
    DarkenHelpTipShadow(small, width, height);
    EXPECT_EQ(small, std::vector<uint32_t>(width, 0x00FFFFFF));
}

}  // namespace
