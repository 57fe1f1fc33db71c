// Paths and names live in 260-character buffers: 259 characters fit, 260 do
// not. Each boundary is tested on both sides, with real files where the file
// system can hold them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "hostile_scan.h"
#include "messages.h"

namespace kivrel::test {
namespace {

class LongNames : public ::testing::Test {
protected:
    // Creates a directory whose path, with its trailing separator, is exactly
    // `length` characters, out of components short enough for any file system.
    std::string DirectoryOfLength(size_t length, char fill) {
        std::string path = dir.Dir();
        const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
        EXPECT_GE(length, path.size() + 2);
        while (path.size() < length) {
            size_t remaining = length - path.size();
            size_t component = std::min<size_t>(100, remaining - 1);
            if (remaining - (component + 1) == 1)
                --component;  // never leave room for a bare separator
            path += std::string(component, fill) + separator;
        }
        std::filesystem::create_directories(path);
        return path;
    }

    TempDir dir;
    FakePlatform platform;
    CReferenceScanner scanner{platform};
    CCollectedReport report;
    CSkipRecorder skips;
};

TEST_F(LongNames, DirectoryPlusNameOf259IsSearchedOf260IsNot) {
    const std::string fits = DirectoryOfLength(259 - 5, 'f');
    const std::string over = DirectoryOfLength(260 - 5, 'o');
    dir.Write(fits.substr(dir.Dir().size()) + "a.dll", ModuleImporting({}));
    dir.Write(over.substr(dir.Dir().size()) + "b.dll", ModuleImporting({}));
    platform.SetPathList(fits + ";" + over);
    scanner.Scan(dir.Write("main.exe", ModuleImporting({"a.dll", "b.dll"})), "", true, report);

    ASSERT_EQ(scanner.SearchDirectories().size(), 3u);
    const Reference* a = FindReference(scanner, "a.dll");
    const Reference* b = FindReference(scanner, "b.dll");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->State(), REF_FOUND);
    EXPECT_EQ(a->DirectoryIndex(), 1);
    EXPECT_EQ(b->State(), REF_NOT_FOUND);
    EXPECT_NE(std::find(report.lines.begin(), report.lines.end(), fits + "a.dll"),
              report.lines.end());
    EXPECT_EQ(report.lines.back(), "b.dll");
}

TEST_F(LongNames, ModulePathOf259IsReadOf260IsNot) {
    const std::string fits = DirectoryOfLength(259 - 5, 'f') + "m.exe";
    const std::string over = DirectoryOfLength(260 - 5, 'o') + "m.exe";
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_EQ(over.size(), 260u);
    for (const std::string& path : {fits, over})
        dir.Write(path.substr(dir.Dir().size()), ModuleImporting({}));

    scanner.Scan(fits, "", true, report);
    EXPECT_EQ(report.lines, std::vector<std::string>{MessageText(IDS_NO_REFERENCES)});
    scanner.Scan(over, "", true, report);
    EXPECT_EQ(report.lines, std::vector<std::string>{MessageText(IDS_INVALID_NT_SIGNATURE)});
}

TEST_F(LongNames, SearchDirectoryOf259IsAddedOf260IsLeftOutAndSaidSo) {
    CReferenceScanner observed(platform, &skips);
    const std::string fits = dir.Dir() + std::string(259 - dir.Dir().size() - 1, 'f');
    const std::string over = dir.Dir() + std::string(260 - dir.Dir().size() - 1, 'o');
    observed.AddSearchDirectory(fits);  // the separator makes it 259
    observed.AddSearchDirectory(over);
    ASSERT_EQ(observed.SearchDirectories().size(), 1u);
    EXPECT_EQ(observed.SearchDirectories()[0].size(), 259u);
    ASSERT_EQ(skips.skipped.size(), 1u);
    EXPECT_EQ(skips.skipped[0].first.size(), 260u);
    EXPECT_NE(skips.skipped[0].second.find("259"), std::string::npos);
}

TEST_F(LongNames, ImportNameOf259IsKeptOf260IsSkipped) {
    const std::string name259 = std::string(255, 'n') + ".dll";
    const std::string name260 = std::string(256, 'm') + ".dll";
    // 259 characters without a '.': the '.' the list appends makes it 260.
    const std::string bare259(259, 'x');
    dir.Write("ok.dll", ModuleImporting({}));
    scanner.Scan(dir.Write("main.exe", ModuleImporting({name259, name260, bare259, "ok.dll"})), "",
                 true, report);

    const Reference* kept = FindReference(scanner, name259);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->State(), REF_NOT_FOUND);
    EXPECT_EQ(FindReference(scanner, name260), nullptr);
    const Reference* bare = FindReference(scanner, bare259 + ".");
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->State(), REF_NOT_FOUND);
    const Reference* ok = FindReference(scanner, "ok.dll");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->State(), REF_FOUND);
    EXPECT_EQ(scanner.References().size(), 3u);
}

TEST_F(LongNames, OnlyNamesOf260AreNoReferences) {
    int errorId = 0;
    const std::string path = dir.Write(
        "m.dll", ModuleImporting({std::string(256, 'a') + ".dll", std::string(300, 'b') + ".dll"}));
    EXPECT_EQ(scanner.ScanModule(path, &errorId), 1);
    EXPECT_EQ(errorId, IDS_NO_REFERENCES);
    EXPECT_TRUE(scanner.References().empty());
}

}  // namespace
}  // namespace kivrel::test
