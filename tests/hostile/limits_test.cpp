// The limits with real files: paths of 259 characters fit a path buffer and
// of 260 do not; 65,535 search directories are the most a 16-bit index tells
// apart; path lists of kilobytes are taken apart without being cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "hostile_scan.h"
#include "messages.h"

namespace kivrel::test {
namespace {

class Limits : public HostileScan, public ::testing::Test {
protected:
    Limits() : scanner(platform, &skips) {}
    // A directory whose path, with its trailing separator, has exactly
    // `length` characters, out of components any file system can hold.
    std::string DirectoryOfLength(size_t length, char fill) {
        std::string path = dir.Dir();
        const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
        while (path.size() < length) {
            const size_t remaining = length - path.size();
            size_t component = std::min<size_t>(100, remaining - 1);
            if (remaining - (component + 1) == 1) --component;  // no bare separator left
            path += std::string(component, fill) + separator;
        }
        std::filesystem::create_directories(path);
        return path;
    }

    struct CSkips : IScanObserver {
        void OnDirectorySkipped(const std::string& directory, const char* reason) override {
            skipped.emplace_back(directory, reason);
        }
        std::vector<std::pair<std::string, std::string>> skipped;
    } skips;
    CReferenceScanner scanner;
};

TEST_F(Limits, PathsOf259CharactersAreReadAndOf260AreNot) {
    const std::string fits = DirectoryOfLength(259 - 5, 'f');
    const std::string over = DirectoryOfLength(260 - 5, 'o');
    for (const std::string& directory : {fits, over}) {
        dir.Write(directory.substr(dir.Dir().size()) + "a.dll", ModuleImporting({}));
        dir.Write(directory.substr(dir.Dir().size()) + "m.exe", ModuleImporting({"b.dll"}));
    }
    dir.Write(fits.substr(dir.Dir().size()) + "b.dll", ModuleImporting({}));
    dir.Write(over.substr(dir.Dir().size()) + "b.dll", ModuleImporting({}));

    // Directory + name: found in the directory where it fits.
    platform.SetPathList(over + ";" + fits);
    scanner.Scan(dir.Write("main.exe", ModuleImporting({"a.dll"})), "", true, report);
    const Reference* a = FindReference(scanner, "a.dll");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->State(), REF_FOUND);
    EXPECT_EQ(scanner.SearchDirectories()[a->DirectoryIndex()], fits);

    // The module path itself.
    platform.SetPathList("");
    scanner.Scan(fits + "m.exe", "", true, report);
    EXPECT_EQ(report.Texts(), std::vector<std::string>{fits + "b.dll"});
    scanner.Scan(over + "m.exe", "", true, report);
    EXPECT_EQ(report.Texts(), std::vector<std::string>{MessageText(IDS_INVALID_NT_SIGNATURE)});
}

TEST_F(Limits, SeventyThousandDirectoriesStopAt65535WithDistinctIndexes) {
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

    ASSERT_EQ(scanner.SearchDirectories().size(), kMaxSearchDirectories);
    ASSERT_EQ(skips.skipped.size(), elements - lastIndex);
    EXPECT_EQ(skips.skipped.front().first, dir.Dir("d" + std::to_string(lastIndex + 1)));
    EXPECT_NE(skips.skipped.front().second.find("65,535"), std::string::npos);
    // A full list still takes an equal directory as listed, without a notice.
    scanner.AddSearchDirectory(dir.Dir("D1"));
    EXPECT_EQ(skips.skipped.size(), elements - lastIndex);
    // Found under its own index; the directory past the cap was never
    // searched, rather than searched under an index that wrapped.
    const Reference* last = FindReference(scanner, "last.dll");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->DirectoryIndex(), lastIndex);
    EXPECT_EQ(StateOf(scanner, "beyond.dll"), REF_NOT_FOUND);
    EXPECT_EQ(report.Lines().front().text, dir.Dir("d" + std::to_string(lastIndex)) + "last.dll");
}

TEST_F(Limits, KilobytePathListsAreTakenApartWithoutCutting) {
    // A long value full of references is inserted once, never scanned again.
    std::string big;
    while (big.size() < 8192) big += "%SMALL%";
    platform.environment = {{"BIG", big}, {"SMALL", "small"}, {"HALF", std::string(200, 'h')}};
    const std::string huge(5000, 'p');
    platform.SetPathList("%BIG%;" + huge + ";%SMALL%;%HALF%%HALF%;%HALF%;%SMALL%%SMALL%");
    scanner.BuildSearchDirectories("", "");
    const std::string s(1, platform.separator);
    EXPECT_EQ(scanner.SearchDirectories().Entries(),
              (std::vector<std::string>{"small" + s, std::string(200, 'h') + s, "smallsmall" + s}));
    std::vector<size_t> skipped;
    for (const auto& skip : skips.skipped) skipped.push_back(skip.first.size());
    EXPECT_EQ(skipped, (std::vector<size_t>{big.size() + 1, huge.size(), 401}));

    // As long as one environment string may be on Linux (128 KiB), every
    // element 85 references to a 3,000-character value: the expansion ends.
    platform.environment["A"] = std::string(3000, 'a');
    std::string element, pathList;
    while (element.size() < 255) element += "%A%";
    while (pathList.size() < (128u << 10)) pathList += element + ";";
    platform.SetPathList(pathList);
    scanner.ClearLists();
    scanner.BuildSearchDirectories("", "");
    EXPECT_TRUE(scanner.SearchDirectories().empty());
}

}  // namespace
}  // namespace kivrel::test
