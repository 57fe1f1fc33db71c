// The byte formats that travel in drags: what is built, and what a block from
// another program may hold before it is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bounded_text.h"
#include "file_list.h"
#include "line_record.h"

namespace kivrel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Header(uint32_t namesOffset, uint32_t wide) {
    Bytes block(kFileListHeaderSize, 0);
    std::memcpy(block.data(), &namesOffset, 4);
    std::memcpy(block.data() + 16, &wide, 4);
    return block;
}
Bytes operator+(Bytes block, const std::string& tail) {
    block.insert(block.end(), tail.begin(), tail.end());
    return block;
}

TEST(FileList, BuildsExactlyTheHeaderTheNamesAndTheClosingZero) {
    const Bytes block = BuildFileList({"C:\\a.dll", "", "D:\\bc.dll"});
    EXPECT_EQ(block, Header(20, 0) + std::string("C:\\a.dll\0D:\\bc.dll\0\0", 20));
    EXPECT_TRUE(BuildFileList({}).empty());
    EXPECT_TRUE(BuildFileList({"", ""}).empty());
}

TEST(FileList, ParsesOnlyBlocksWhoseEveryNameEndsInside) {
    struct Case {
        const char* what;
        Bytes block;
        std::optional<std::vector<std::string>> names;
    };
    const std::string two("a\0bc\0\0", 6);
    const std::vector<Case> cases = {
        {"built", BuildFileList({"x.dll", "y.dll"}), std::vector<std::string>{"x.dll", "y.dll"}},
        {"names after a gap", Header(24, 0) + std::string("????") + two,
         std::vector<std::string>{"a", "bc"}},
        {"no names", Header(20, 0) + std::string(1, '\0'), std::vector<std::string>{}},
        {"header cut short", Bytes(19, 0), std::nullopt},
        {"offset inside the header", Header(19, 0) + two, std::nullopt},
        {"offset at the end", Header(26, 0) + two, std::nullopt},
        {"offset far past the end", Header(0xFFFFFFF0u, 0) + two, std::nullopt},
        {"no closing zero", Header(20, 0) + std::string("a\0bc\0", 5), std::nullopt},
        {"name running off the end", Header(20, 0) + std::string("abc"), std::nullopt},
    };
    for (const Case& c : cases) {
        const auto layout = ParseFileList(c.block.data(), c.block.size());
        ASSERT_EQ(layout.has_value(), c.names.has_value()) << c.what;
        if (!layout) continue;
        EXPECT_FALSE(layout->bWide) << c.what;
        std::vector<std::string> names;
        for (const auto& name : layout->names)
            names.push_back(NarrowFileName(c.block.data(), name));
        EXPECT_EQ(names, *c.names) << c.what;
    }
}

TEST(FileList, WideNamesEndAtAZeroUnitInsideTheBlock) {
    const Bytes good = Header(20, 1) + std::string("a\0\xe9\0\0\0\0\0", 8);
    const auto layout = ParseFileList(good.data(), good.size());
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->bWide);
    ASSERT_EQ(layout->names.size(), 1u);
    EXPECT_EQ(WideFileName(good.data(), layout->names[0]), u"a\u00e9");
    // A narrow terminator is no wide one, and half a unit is not read.
    for (const Bytes& bad :
         {Header(20, 1) + std::string("a\0b\0", 4), Header(20, 1) + std::string("a\0\0\0\0", 5)}) {
        EXPECT_FALSE(ParseFileList(bad.data(), bad.size()));
    }
}

TEST(LineRecord, TextIsCutAt127BytesWithoutSplittingADoubleByteCharacter) {
    const unsigned char shiftJis[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    const CLeadBytes dbcs(shiftJis, sizeof(shiftJis));
    const CLeadBytes sbcs;
    struct Case {
        std::string text;
        const CLeadBytes* lead;
        size_t kept;
    };
    const std::string pairAt126 = std::string(126, 'x') + "\x82\xa0" + "tail";
    const Case cases[] = {
        {std::string(200, 'x'), &sbcs, 127},
        {std::string(127, 'x'), &dbcs, 127},
        {pairAt126, &dbcs, 126},
        {pairAt126, &sbcs, 127},
        {std::string(125, 'x') + "\x82\xa0" + "tail", &dbcs, 127},
    };
    for (const Case& c : cases) {
        const LineRecord record = MakeLineRecord({1, 2, 3, c.text, "windowsmodule"}, *c.lead);
        const auto fields = ReadLineRecord(&record, sizeof(record));
        ASSERT_TRUE(fields);
        EXPECT_EQ(fields->text, c.text.substr(0, c.kept));
        EXPECT_EQ(fields->group, "windowsmodule");
        EXPECT_EQ(fields->itemData, 3u);
    }
    EXPECT_EQ(MakeLineRecord({0, 0, 0, "", std::string(20, 'g')}, dbcs).szGroup,
              std::string(15, 'g'));
}

TEST(LineRecord, ABlockIsTrustedOnlyAsFarAsItGoes) {
    Bytes block(sizeof(LineRecord), 0xFF);
    EXPECT_FALSE(ReadLineRecord(block.data(), block.size() - 1));
    EXPECT_FALSE(ReadLineRecord(block.data(), 4));
    const auto fields = ReadLineRecord(block.data(), block.size());
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->text.size(), 127u);
    EXPECT_EQ(fields->group.size(), 15u);
    EXPECT_EQ(fields->itemData, 0xFFFFFFFFu);
}

TEST(BoundedText, EndsAtZeroLimitOrLineBreakAndSaysWhenItCut) {
    struct Case {
        std::vector<std::string> pieces;
        size_t limit;
        bool singleLine;
        std::string text;
        bool complete;
    };
    const Case cases[] = {
        {{std::string("abc\0def", 7)}, 100, true, "abc", true},
        {{"abc"}, 100, true, "abc", true},
        {{"ab", "c", std::string("\0", 1), "zz"}, 100, true, "abc", true},
        {{"ab\r\ncd"}, 100, true, "ab", false},
        {{"ab\ncd"}, 100, true, "ab", false},
        {{"ab\r\ncd"}, 100, false, "ab\r\ncd", true},
        {{"abcd"}, 3, false, "abc", false},
        {{"abc", std::string("\0", 1)}, 3, false, "abc", true},
        {{"abc"}, 3, false, "abc", true},
    };
    for (const Case& c : cases) {
        CBoundedText text(c.limit, c.singleLine);
        for (const std::string& piece : c.pieces) text.Append(piece.data(), piece.size());
        EXPECT_EQ(text.Text(), c.text) << c.pieces[0];
        EXPECT_EQ(text.Complete(), c.complete) << c.pieces[0];
    }
    CBoundedText failed(100, false);
    EXPECT_TRUE(failed.Append("ab", 2));
    failed.MarkIncomplete();
    EXPECT_FALSE(failed.Append("cd", 2));
    EXPECT_EQ(failed.Text(), "ab");
    EXPECT_FALSE(failed.Complete());
}

}  // namespace
}  // namespace kivrel
