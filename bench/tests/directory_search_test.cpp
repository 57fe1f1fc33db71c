// The Linux directory search (hashed names and extension stems) against a
// plain match of every entry, on names built to confuse either index.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plain_directory_platform.h"
#include "platform.h"
#include "temp_dir.h"

namespace kivrel::bench {
namespace {

std::vector<std::string> Matches(IScanPlatform& platform, const std::string& directory,
                                 const std::string& pattern, size_t stopAfter = SIZE_MAX) {
    std::vector<std::string> names;
    platform.FindMatches(directory, pattern, [&](const std::string& name) {
        names.push_back(name);
        return names.size() < stopAfter;
    });
    return names;
}

TEST(DirectorySearch, EveryPatternGivesThePlainMatchesInByteOrder) {
    test::TempDir temp;
    for (const char* name :
         {"foo.dll", "FOO.DLL", "Foo.Dll.mui", "foo.", "foo", "foo-bar.dll", "fooa.dll",
          "foo.bar.dll", "FOO.BAR.exe", "a*b.dll", "a?b.dll", "axb.dll", "x.y.z", ".hidden",
          "..dots", "\xC9.dll", "\xE9.dll", "\xC9.DLL"}) {
        temp.WriteText(name, "not a module");
    }
    temp.MakeDir("Sub.Dir");
    const std::unique_ptr<IScanPlatform> native = CreateNativePlatform();
    CPlainDirectoryPlatform plain{CreateNativePlatform()};
    for (const char* pattern :
         {"foo.dll",  "FOO.dll",  "foo.*",  "FOO.*",   "foo.bar.*", "foo.dll.*",   "foo..*",
          "foo",      "foo.",     "*.dll",  "f?o.dll", "a*b.dll",   "a?b.dll",     ".*",
          "..*",      "x.y.*",    "x.*",    "sub.*",   "sub.dir",   "nothing.dll", "nothing.*",
          "\xE9.dll", "\xE9.DLL", "\xC9.*", "*",       "*.*"}) {
        EXPECT_EQ(Matches(*native, temp.Dir(), pattern), Matches(plain, temp.Dir(), pattern))
            << pattern;
    }
    // The callback ends the search; a new scan sees new files; a missing
    // directory matches nothing.
    EXPECT_EQ(Matches(*native, temp.Dir(), "foo.*", 2),
              (std::vector<std::string>{"FOO.BAR.exe", "FOO.DLL"}));
    EXPECT_TRUE(Matches(*native, temp.Dir(), "late.dll").empty());
    temp.WriteText("LATE.dll", "x");
    native->BeginScan();
    EXPECT_EQ(Matches(*native, temp.Dir(), "late.dll"), std::vector<std::string>{"LATE.dll"});
    EXPECT_TRUE(Matches(*native, temp.Dir("absent"), "foo.*").empty());
    EXPECT_TRUE(Matches(*native, temp.Dir("absent"), "foo.dll").empty());
}

}  // namespace
}  // namespace kivrel::bench
