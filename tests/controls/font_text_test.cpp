// The font text of the settings: what each text reads as (shown as the
// writer's text of the record read), which records are refused, and that the
// writer's text reads back.
#include "font_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace kivrel {
namespace {

// `numbers` (single spaces apart) padded with zeros to twelve, then the quoted face.
std::string Full(std::string numbers, const std::string& face = "") {
    for (auto n = std::count(numbers.begin(), numbers.end(), ' '); n < 11; ++n) numbers += " 0";
    return numbers + " \"" + face + "\"";
}

TEST(FontText, ReadsWhatItCanZeroesTheRestAndRefusesSizesNoScreenFontHas) {
    const std::string widest = "-1000 -1000 0 -2147483648 1000 255 255 255 255 255 255 255 \"" +
                               std::string(31, 'W') + "\"";
    const std::pair<std::string, std::string> cases[] = {
        // clang-format off
        {"-13 0 0 0 700 0 0 0 0 3 1 34 \"MS Sans Serif\"", ""},  // "": reads back as given
        {widest, ""}, {"400", Full("400")}, {"", Full("0")}, {"abc", Full("0")},
        {"12 0 0 x 400 1 \"Face\"", Full("12")},                 // stops at the first bad number
        {"\t-9\t\t0  0 0 400 1 0 0 0 0 0 0 \"Face\"", Full("-9 0 0 0 400 1", "Face")},
        {"0x10 010 0 0 0 0 0 0 0 0 0 0 \"F\"", Full("16 8", "F")},
        {"0 0 0 0 0 256 -1 257 0 0 0 0 \"F\"", Full("0 0 0 0 0 0 255 1", "F")},  // low 8 bits
        {"1 0 0 0 0 0 0 0 0 0 0 0 \"Dejavu Sans", Full("1", "Dejavu Sans")},  // no closing quote
        {Full("1", "Say \"hi\""), Full("1", "Say ")},
        {Full("1", std::string(40, 'n')), Full("1", std::string(31, 'n'))},
        {Full("1", "F") + " trailing 99", Full("1", "F")},
        {"1 2 0 3 4 5 6 7 8 9 10 11", Full("1 2 0 3 4 5 6 7 8 9 10 11")},
        {"000000000000007 1", Full("7 1")},                      // a number is at most 15 characters
        {"0 0 0 99999999999 0", Full("0 0 0 2147483647")},       // clamped
        {"0 0 0 -99999999999 0", Full("0 0 0 -2147483648")}, {"-1000 1000 0 0 1000", Full("-1000 1000 0 0 1000")},
        // Refused: the record is left as it was.
        {"1001 0 0 0 400", "refused"}, {"-1001 0 0 0 400", "refused"}, {"0 1001 0 0 400", "refused"},
        {"0 -1001 0 0 400", "refused"}, {"0 0 0 0 1001", "refused"}, {"0 0 0 0 -1", "refused"},
        {"0 0 1 0 400", "refused"}, {"99999999999999 0 0 0 0", "refused"},
        {"-2147483648 0 0 0 0", "refused"}, {"0x7fffffff 0 0 0 0", "refused"},
        // clang-format on
    };
    for (const auto& [text, expected] : cases) {
        FontRecord record, before;
        record.lfHeight = record.lfWidth = record.lfClipPrecision = 77;
        std::strcpy(record.lfFaceName, "old");
        before = record;
        std::string read = "refused";
        if (ParseFontText(text, record)) {
            read = FormatFontText(record);
            EXPECT_LE(read.size(), kFontTextMax) << text;
            EXPECT_EQ(record.lfClipPrecision, 0) << text;
        }
        EXPECT_EQ(read, expected.empty() ? text : expected) << text;
        EXPECT_TRUE(read != "refused" || record == before) << text;
    }
    // A face that fills the whole field, without its terminator, is written
    // cut to 31 characters rather than read past the record.
    FontRecord unterminated;
    unterminated.lfHeight = 1;
    std::memset(unterminated.lfFaceName, 'U', sizeof(unterminated.lfFaceName));
    EXPECT_EQ(FormatFontText(unterminated), Full("1", std::string(31, 'U')));
}

}  // namespace
}  // namespace kivrel
