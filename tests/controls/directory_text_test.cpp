// What the directory dialog makes of the text in its field.
#include "directory_text.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

TEST(DirectoryText, TypedTextBecomesAbsoluteAgainstTheShownFolder) {
    const char* const computer = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
    const char* const cases[][3] = {
        // shown folder, typed text, absolute directory ("" when there is none)
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
    for (const auto& [folder, typed, absolute] : cases)
        EXPECT_EQ(AbsoluteDirectory(folder, typed), absolute) << folder << " + " << typed;
}

TEST(DirectoryText, TrailingBackslashParentAndSearchPattern) {
    const char* const cases[][3] = {
        // text, without its trailing backslash, parent directory
        {"C:\\Tools\\", "C:\\Tools", "C:\\Tools"},
        {"C:\\Tools", "C:\\Tools", "C:\\"},
        {"C:\\dir\\file.txt", "C:\\dir\\file.txt", "C:\\dir"},
        {"file.txt", "file.txt", ""},
        {"", "", ""},
    };
    for (const auto& [text, trimmed, parent] : cases) {
        EXPECT_EQ(WithoutTrailingBackslash(text), trimmed) << text;
        EXPECT_EQ(ParentDirectory(text), parent) << text;
    }
    // 255 characters and "\*.*" make 259: the last that fits with its terminator.
    EXPECT_EQ(SearchPattern("C:\\Tools"), "C:\\Tools\\*.*");
    EXPECT_TRUE(FitsPathBuffer(SearchPattern(std::string(255, 'a'))));
    EXPECT_FALSE(FitsPathBuffer(SearchPattern(std::string(256, 'a'))));
}

}  // namespace
}  // namespace kivrel
