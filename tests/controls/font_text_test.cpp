// The font text of the settings: what each kind of text reads as, which
// records are refused, and that the writer's text reads back.
#include "font_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace kivrel {

// Failures show the record as its text.
void PrintTo(const FontRecord& record, std::ostream* out) { *out << FormatFontText(record); }

namespace {

// height width escapement orientation weight, then the seven 8-bit fields.
FontRecord Record(std::initializer_list<int32_t> numbers, const char* face = "") {
    FontRecord record;
    int32_t* const wide[] = {&record.lfHeight, &record.lfWidth, &record.lfEscapement,
                             &record.lfOrientation, &record.lfWeight};
    uint8_t* const narrow[] = {&record.lfItalic,        &record.lfUnderline,    &record.lfStrikeOut,
                               &record.lfCharSet,       &record.lfOutPrecision, &record.lfQuality,
                               &record.lfPitchAndFamily};
    size_t i = 0;
    for (int32_t number : numbers) {
        if (i < 5) {
            *wide[i] = number;
        } else {
            *narrow[i - 5] = static_cast<uint8_t>(number);
        }
        ++i;
    }
    std::strncpy(record.lfFaceName, face, sizeof(record.lfFaceName) - 1);
    return record;
}

struct ReadCase {
    const char* name;
    std::string text;
    FontRecord expected;
};

TEST(FontText, ReadsWhatItCanAndZeroesTheRest) {
    const ReadCase cases[] = {
        {"example", "-13 0 0 0 700 0 0 0 0 3 1 34 \"MS Sans Serif\"",
         Record({-13, 0, 0, 0, 700, 0, 0, 0, 0, 3, 1, 34}, "MS Sans Serif")},
        {"height alone", "400", Record({400})},
        {"not numbers", "abc", Record({})},
        {"stops at the first bad number", "12 0 0 x 400 1 \"Face\"", Record({12})},
        {"tabs and runs of blanks", "\t-9\t\t0  0 0 400 1 0 0 0 0 0 0 \"Face\"",
         Record({-9, 0, 0, 0, 400, 1}, "Face")},
        {"hexadecimal and octal", "0x10 010 0 0 0 0 0 0 0 0 0 0 \"F\"", Record({16, 8}, "F")},
        {"8-bit fields keep their low bits", "0 0 0 0 0 256 -1 257 0 0 0 0 \"F\"",
         Record({0, 0, 0, 0, 0, 0, 255, 1}, "F")},
        {"face without closing quote", "1 0 0 0 0 0 0 0 0 0 0 0 \"Dejavu Sans",
         Record({1}, "Dejavu Sans")},
        {"face cut at an inner quote", "1 0 0 0 0 0 0 0 0 0 0 0 \"Say \"hi\"\"",
         Record({1}, "Say ")},
        {"face at most 31 characters", "1 0 0 0 0 0 0 0 0 0 0 0 \"" + std::string(40, 'n') + "\"",
         Record({1}, std::string(31, 'n').c_str())},
        {"extra text after the name", "1 0 0 0 0 0 0 0 0 0 0 0 \"F\" trailing 99",
         Record({1}, "F")},
        {"twelve numbers, no name", "1 2 0 3 4 5 6 7 8 9 10 11",
         Record({1, 2, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11})},
        {"a number is at most 15 characters", "000000000000007 1", Record({7, 1})},
        {"huge orientation is clamped", "0 0 0 99999999999 0", Record({0, 0, 0, INT_MAX})},
        {"negative huge orientation", "0 0 0 -99999999999 0", Record({0, 0, 0, INT_MIN})},
        {"empty", "", Record({})},
    };
    for (const ReadCase& c : cases) {
        FontRecord record = Record({77, 77}, "old");
        EXPECT_TRUE(ParseFontText(c.text, record)) << c.name;
        EXPECT_EQ(record, c.expected) << c.name;
    }
}

TEST(FontText, RefusesSizesNoScreenFontHasAndKeepsTheRecord) {
    const char* const refused[] = {
        "1001 0 0 0 400",      "-1001 0 0 0 400",    "0 1001 0 0 400", "0 -1001 0 0 400",
        "0 0 0 0 1001",        "0 0 0 0 -1",         "0 0 1 0 400",    "99999999999999 0 0 0 0",
        "-2147483648 0 0 0 0", "0x7fffffff 0 0 0 0",
    };
    for (const char* text : refused) {
        FontRecord record = Record({-13}, "kept");
        EXPECT_FALSE(ParseFontText(text, record)) << text;
        EXPECT_EQ(record, Record({-13}, "kept")) << text;
    }
    FontRecord edge;
    EXPECT_TRUE(ParseFontText("-1000 1000 0 0 1000", edge));
    EXPECT_EQ(edge, Record({-1000, 1000, 0, 0, 1000}));
}

TEST(FontText, WrittenTextReadsBackTheSameRecord) {
    FontRecord example = Record({-13, 0, 0, 0, 700, 0, 0, 0, 0, 3, 1, 34}, "MS Sans Serif");
    example.lfClipPrecision = 2;
    EXPECT_EQ(FormatFontText(example), "-13 0 0 0 700 0 0 0 0 3 1 34 \"MS Sans Serif\"");

    FontRecord widest = Record({-1000, -1000, 0, INT_MIN, 1000, 255, 255, 255, 255, 255, 255, 255},
                               std::string(31, 'W').c_str());
    const FontRecord records[] = {example, widest, Record({12}, "DejaVu Sans")};
    for (const FontRecord& written : records) {
        const std::string text = FormatFontText(written);
        EXPECT_LE(text.size(), kFontTextMax) << text;
        FontRecord read;
        ASSERT_TRUE(ParseFontText(text, read)) << text;
        FontRecord expected = written;
        expected.lfClipPrecision = 0;
        EXPECT_EQ(read, expected) << text;
    }

    // A name that fills the whole field, without its terminator, is written
    // cut to 31 characters rather than read past the record.
    FontRecord unterminated = Record({1});
    std::memset(unterminated.lfFaceName, 'U', sizeof(unterminated.lfFaceName));
    EXPECT_EQ(FormatFontText(unterminated),
              "1 0 0 0 0 0 0 0 0 0 0 0 \"" + std::string(31, 'U') + "\"");
}

}  // namespace
}  // namespace kivrel
