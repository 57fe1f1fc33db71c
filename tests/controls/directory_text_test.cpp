// What the directory dialog makes of the text in its field.
#include "directory_text.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

TEST(DirectoryText, TypedTextBecomesAbsoluteAgainstTheShownFolder) {
    struct Case {
        const char* folder;
        const char* typed;
        const char* absolute;
    };
    const Case cases[] = {
        {"C:\\Tools", "sub", "C:\\Tools\\sub"},
        {"C:\\", "sub\\deeper", "C:\\sub\\deeper"},
        {"C:\\Tools", "..\\Other", "C:\\Tools\\..\\Other"},
        {"C:\\Tools", "", "C:\\Tools"},
        {"C:\\Tools", "D:\\Data\\", "D:\\Data\\"},
        {"C:\\Tools", "d:", "d:"},
        {"C:\\Tools", "\\Windows", "C:\\Windows"},
        {"C:\\Tools", "\\\\server\\share", "\\\\server\\share"},
        {"\\\\server\\share", "dir", "\\\\server\\share\\dir"},
        // Nothing absolute to be had.
        {"C:\\Tools", "D:relative", ""},
        {"\\\\server\\share", "\\rooted", ""},
        {"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", "sub", ""},
        {"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", "", ""},
        {"", "sub", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AbsoluteDirectory(c.folder, c.typed), c.absolute) << c.folder << " + " << c.typed;
    }
}

TEST(DirectoryText, TrailingBackslashParentAndShellFolders) {
    const std::pair<const char*, const char*> trimmed[] = {{"C:\\Tools\\", "C:\\Tools"},
                                                           {"C:\\", "C:"},
                                                           {"C:\\Tools", "C:\\Tools"},
                                                           {"", ""},
                                                           {"\\\\", "\\"}};
    for (const auto& [text, expected] : trimmed)
        EXPECT_EQ(WithoutTrailingBackslash(text), expected);

    const std::pair<const char*, const char*> parents[] = {
        {"C:\\dir\\file.txt", "C:\\dir"},
        {"C:\\file.txt", "C:\\"},
        {"\\\\server\\share\\f", "\\\\server\\share"},
        {"file.txt", ""}};
    for (const auto& [path, expected] : parents) EXPECT_EQ(ParentDirectory(path), expected);

    EXPECT_TRUE(IsFileSystemFolder("C:\\"));
    EXPECT_TRUE(IsFileSystemFolder("\\\\server\\share"));
    EXPECT_FALSE(IsFileSystemFolder("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"));
    EXPECT_FALSE(IsFileSystemFolder(""));
}

TEST(DirectoryText, SearchPatternMustFitAPathBuffer) {
    // 255 characters and "\*.*" make 259: the last that fits with its terminator.
    const std::string fits(255, 'a');
    EXPECT_EQ(SearchPattern("C:\\Tools"), "C:\\Tools\\*.*");
    EXPECT_TRUE(FitsPathBuffer(SearchPattern(fits)));
    EXPECT_FALSE(FitsPathBuffer(SearchPattern(fits + "a")));
    // A 259-character directory, with or without the separator it came with.
    const std::string longest = "C:\\" + std::string(256, 'a');
    EXPECT_FALSE(FitsPathBuffer(SearchPattern(longest)));
    EXPECT_FALSE(FitsPathBuffer(SearchPattern(WithoutTrailingBackslash(longest + "\\"))));
    EXPECT_FALSE(FitsPathBuffer(std::string(kMaxPathBuffer, 'a')));
    EXPECT_TRUE(FitsPathBuffer(std::string(kMaxPathBuffer - 1, 'a')));
}

}  // namespace
}  // namespace kivrel
