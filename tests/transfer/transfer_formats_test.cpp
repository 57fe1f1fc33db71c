// The byte formats that travel in drags: what is built, and what a block from
// another program may hold before it is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "bounded_text.h"
#include "file_list.h"
#include "line_record.h"

namespace kivrel {
namespace {

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

// A file list header naming where the names start and whether they are wide,
// followed by `tail`.
Bytes Block(uint32_t namesOffset, uint32_t wide, const std::string& tail) {
    Bytes block(kFileListHeaderSize + tail.size(), 0);
    std::memcpy(block.data(), &namesOffset, 4);
    std::memcpy(block.data() + 16, &wide, 4);
    std::memcpy(block.data() + kFileListHeaderSize, tail.data(), tail.size());
    return block;
}

TEST(FileList, BuildsAndParsesOnlyBlocksWhoseEveryNameEndsInside) {
    EXPECT_EQ(BuildFileList({"C:\\a.dll", "", "D:\\bc.dll"}),
              Block(20, 0, std::string("C:\\a.dll\0D:\\bc.dll\0\0", 20)));
    EXPECT_TRUE(BuildFileList({"", ""}).empty());
    const std::string two("a\0bc\0\0", 6);
    // Refused: a header cut short, an offset inside the header or at the end, no
    // closing zero; wide, a narrow terminator or half a unit.
    const std::pair<Bytes, std::optional<Names>> cases[] = {
        // clang-format off
        {Block(24, 0, "????" + two), Names{"a", "bc"}}, {Block(20, 0, std::string(1, '\0')), Names{}},
        {Bytes(19, 0), std::nullopt}, {Block(19, 0, two), std::nullopt}, {Block(26, 0, two), std::nullopt},
        {Block(20, 0, std::string("a\0bc\0", 5)), std::nullopt}, {Block(20, 1, std::string("a\0b\0", 4)), std::nullopt},
        {Block(20, 1, std::string("a\0\0\0\0", 5)), std::nullopt},
        // clang-format on
    };
    for (const auto& [block, expected] : cases) {
        const auto layout = ParseFileList(block.data(), block.size());
        ASSERT_EQ(layout.has_value(), expected.has_value()) << block.size();
        if (!layout) continue;
        Names names;
        for (const auto& name : layout->names) names.push_back(NarrowFileName(block.data(), name));
        EXPECT_EQ(names, *expected) << block.size();
    }
    const Bytes wide = Block(20, 1, std::string("a\0\xe9\0\0\0\0\0", 8));
    const auto layout = ParseFileList(wide.data(), wide.size());
    ASSERT_TRUE(layout && layout->bWide && layout->names.size() == 1);
    EXPECT_EQ(WideFileName(wide.data(), layout->names[0]), u"a\u00e9");
}

TEST(LineRecord, TextIsCutAt127BytesWithoutSplittingADoubleByteCharacter) {
    const unsigned char shiftJis[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    const CLeadBytes dbcs(shiftJis, sizeof(shiftJis)), sbcs;
    const std::string pairAt126 = std::string(126, 'x') + "\x82\xa0" + "tail";
    // A lead byte last stands alone.
    const std::tuple<std::string, const CLeadBytes*, size_t> cases[] = {
        {std::string(127, 'x'), &dbcs, 127},
        {pairAt126, &dbcs, 126},
        {pairAt126, &sbcs, 127},
        {std::string(126, 'x') + "\x82", &dbcs, 127}};
    for (const auto& [text, lead, kept] : cases) {
        const LineRecord record = MakeLineRecord({1, 2, 3, text, "windowsmodule"}, *lead);
        const auto fields = ReadLineRecord(&record, sizeof(record));
        ASSERT_TRUE(fields);
        EXPECT_EQ(fields->text, text.substr(0, kept));
        EXPECT_EQ(fields->group, "windowsmodule");
    }
    // A block from elsewhere is trusted only as far as it goes.
    const Bytes block(sizeof(LineRecord), 0xFF);
    EXPECT_FALSE(ReadLineRecord(block.data(), block.size() - 1));
    const auto fields = ReadLineRecord(block.data(), block.size());
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->text.size(), 127u);
    EXPECT_EQ(fields->group.size(), 15u);
}

TEST(BoundedText, EndsAtZeroLimitOrLineBreakAndSaysWhenItCut) {
    const struct {
        std::vector<std::string> pieces;
        size_t limit;
        bool singleLine;
        std::string text;
        bool complete, wantsMore;  // after the last piece
    } cases[] = {
        {{"ab", "c", std::string("\0", 1), "zz"}, 100, true, "abc", true, false},
        {{"ab\ncd"}, 100, true, "ab", false, false},
        {{"ab\r\ncd"}, 100, false, "ab\r\ncd", true, true},
        {{"abcd"}, 3, false, "abc", false, false},
        {{"abc", std::string("\0", 1)}, 3, false, "abc", true, false},
    };
    for (const auto& c : cases) {
        CBoundedText text(c.limit, c.singleLine);
        bool more = true;
        for (const std::string& piece : c.pieces) more = text.Append(piece.data(), piece.size());
        EXPECT_EQ(more, c.wantsMore) << c.pieces[0];
        EXPECT_EQ(text.Text(), c.text) << c.pieces[0];
        EXPECT_EQ(text.Complete(), c.complete) << c.pieces[0];
    }
}

}  // namespace
}  // namespace kivrel
