// What the directory dialog makes of the text in its field.
#include "directory_text.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

TEST(DirectoryText, TypedTextBecomesAbsoluteAgainstTheShownFolder) {
    const char* const computer = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
    const struct {
        const char* folder;
        const char* typed;
        const char* absolute;  // "" when nothing absolute is to be had
    } cases[] = {
        {"C:\\Tools", "sub", "C:\\Tools\\sub"},
        {"C:\\", "sub\\deeper", "C:\\sub\\deeper"},
        {"C:\\Tools", "", "C:\\Tools"},
        {"C:\\Tools", "D:\\Data\\", "D:\\Data\\"},
        {"C:\\Tools", "d:", "d:"},
        {"C:\\Tools", "\\Windows", "C:\\Windows"},
        {"C:\\Tools", "\\\\srv\\s", "\\\\srv\\s"},
        {"\\\\srv\\s", "dir", "\\\\srv\\s\\dir"},
        {"C:\\Tools", "D:relative", ""},
        {"\\\\srv\\s", "\\rooted", ""},
        {computer, "sub", ""},
        {computer, "", ""},
        {"", "sub", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AbsoluteDirectory(c.folder, c.typed), c.absolute) << c.folder << " + " << c.typed;
}

TEST(DirectoryText, TrailingBackslashAndParent) {
    const std::pair<const char*, const char*> trimmed[] = {
        {"C:\\Tools\\", "C:\\Tools"}, {"C:\\Tools", "C:\\Tools"}, {"", ""}};
    for (const auto& [text, expected] : trimmed)
        EXPECT_EQ(WithoutTrailingBackslash(text), expected);
    const std::pair<const char*, const char*> parents[] = {
        {"C:\\dir\\file.txt", "C:\\dir"}, {"C:\\file.txt", "C:\\"}, {"file.txt", ""}};
    for (const auto& [path, expected] : parents) EXPECT_EQ(ParentDirectory(path), expected);
}

TEST(DirectoryText, SearchPatternMustFitAPathBuffer) {
    // 255 characters and "\*.*" make 259: the last that fits with its terminator.
    EXPECT_EQ(SearchPattern("C:\\Tools"), "C:\\Tools\\*.*");
    EXPECT_TRUE(FitsPathBuffer(SearchPattern(std::string(255, 'a'))));
    EXPECT_FALSE(FitsPathBuffer(SearchPattern(std::string(256, 'a'))));
}

}  // namespace
}  // namespace kivrel
