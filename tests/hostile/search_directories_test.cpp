// The search directory list under a hostile environment: more directories
// than a 16-bit index can tell apart, and PATH elements and environment
// values of several kilobytes.
#include <gtest/gtest.h>

#include <algorithm>

#include "hostile_scan.h"
#include "search_directory_list.h"

namespace kivrel::test {
namespace {

class SearchDirectories : public ::testing::Test {
protected:
    TempDir dir;
    FakePlatform platform;
    CSkipRecorder skips;
    CReferenceScanner scanner{platform, &skips};
    CCollectedReport report;
};

TEST_F(SearchDirectories, SeventyThousandDirectoriesStopAt65535WithDistinctIndexes) {
    // The module's own directory is index 0; path element i becomes index i.
    const size_t elements = 70000;
    const size_t lastIndex = kMaxSearchDirectories - 1;
    std::string pathList;
    for (size_t i = 1; i <= elements; ++i) {
        const std::string directory = dir.Dir() + "d" + std::to_string(i) + platform.separator;
        pathList += directory + ";";
        // Only the two directories at the cap exist; the rest answer nothing
        // without asking the file system.
        if (i != lastIndex && i != lastIndex + 1) platform.Script(directory, {});
    }
    platform.SetPathList(pathList);
    dir.Write("d" + std::to_string(lastIndex) + "/last.dll", ModuleImporting({"beyond.dll"}));
    dir.Write("d" + std::to_string(lastIndex + 1) + "/beyond.dll", ModuleImporting({}));
    scanner.Scan(dir.Write("main.exe", ModuleImporting({"last.dll"})), "", true, report);

    const auto& directories = scanner.SearchDirectories();
    ASSERT_EQ(directories.size(), kMaxSearchDirectories);
    EXPECT_EQ(directories[lastIndex], dir.Dir("d" + std::to_string(lastIndex)));
    ASSERT_EQ(skips.skipped.size(), elements - lastIndex);
    EXPECT_EQ(skips.skipped.front().first, dir.Dir("d" + std::to_string(lastIndex + 1)));
    EXPECT_NE(skips.skipped.front().second.find("65,535"), std::string::npos)
        << skips.skipped.front().second;

    // Found in the last directory, under its own index; the one past the cap
    // was never searched, so its module is not found rather than found under
    // an index that wrapped to another directory.
    const Reference* last = FindReference(scanner, "last.dll");
    const Reference* beyond = FindReference(scanner, "beyond.dll");
    ASSERT_TRUE(last && beyond);
    EXPECT_EQ(last->State(), REF_FOUND);
    EXPECT_EQ(last->DirectoryIndex(), lastIndex);
    EXPECT_EQ(beyond->State(), REF_NOT_FOUND);
    EXPECT_EQ(report.lines.front(), dir.Dir("d" + std::to_string(lastIndex)) + "last.dll");
}

TEST_F(SearchDirectories, KilobytePathElementsAreLeftOutAndTheRestKept) {
    const std::string huge(5000, 'p');
    platform.SetPathList("first;" + huge + ";" + std::string(260, 'q') + ";" +
                         std::string(259, 'r') + ";last");
    scanner.BuildSearchDirectories("", "");
    EXPECT_EQ(scanner.SearchDirectories().Entries(),
              (std::vector<std::string>{std::string("first") + platform.separator,
                                        std::string("last") + platform.separator}));
    // 'r' * 259 fits until its separator is added.
    ASSERT_EQ(skips.skipped.size(), 3u);
    EXPECT_EQ(skips.skipped[0].first, huge);
    for (const auto& skip : skips.skipped) EXPECT_NE(skip.second.find("259"), std::string::npos);
}

TEST_F(SearchDirectories, KilobyteEnvironmentValuesExpandOnceAndAreLeftOutWhenTooLong) {
    // A long value full of references: inserted once, never scanned again.
    std::string big;
    while (big.size() < 8192) big += "%SMALL%";
    platform.environment["BIG"] = big;
    platform.environment["SMALL"] = "small";
    platform.environment["HALF"] = std::string(200, 'h');
    platform.SetPathList("%BIG%;%SMALL%;%HALF%%HALF%;%HALF%;%SMALL%%SMALL%");
    scanner.BuildSearchDirectories("", "");
    const char s = platform.separator;
    EXPECT_EQ(scanner.SearchDirectories().Entries(),
              (std::vector<std::string>{"small" + std::string(1, s), std::string(200, 'h') + s,
                                        "smallsmall" + std::string(1, s)}));
    ASSERT_EQ(skips.skipped.size(), 2u);
    EXPECT_EQ(skips.skipped[0].first.size(), big.size() + 1);
    EXPECT_EQ(skips.skipped[1].first.size(), 401u);
}

TEST_F(SearchDirectories, LongestPathListOfManyReferencesEnds) {
    platform.environment["A"] = std::string(3000, 'a');
    std::string element;
    while (element.size() < 255) element += "%A%";
    std::string pathList;
    // As long as one environment string may be on Linux (128 KiB).
    while (pathList.size() < (128u << 10)) pathList += element + ";";
    platform.SetPathList(pathList);
    scanner.BuildSearchDirectories("", "");
    EXPECT_TRUE(scanner.SearchDirectories().empty());
    EXPECT_FALSE(skips.skipped.empty());
}

}  // namespace
}  // namespace kivrel::test
