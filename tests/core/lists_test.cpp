// The scan's lists: the search directories (with '\' as separator, Windows paths
// read literally), the reference list and the directory listing's indexes.
#include <gtest/gtest.h>

#include <numeric>

#ifdef _WIN32
#include <windows.h>
#endif

#include "directory_listing.h"
#include "fake_platform.h"
#include "reference_list.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "temp_dir.h"

namespace kivrel {
namespace {

using Strings = std::vector<std::string>;

class SearchOrder : public testing::Test, public IScanObserver {
protected:
    void OnDirectorySkipped(const std::string& directory, const char*) override {
        skipped.push_back(directory);
    }
    test::FakePlatform platform{'\\'};
    CReferenceScanner scanner{platform, this};
    Strings skipped;
};

// Each case builds a fresh list; %V% is 250 characters long.
TEST_F(SearchOrder, BuildSearchDirectories) {
    const std::string v250(250, 'v');
    platform.environment = {{"SystemRoot", "C:\\WINNT"}, {"V", v250}};
    const struct {
        const char* name;
        std::string system, windows, path, module, initial;
        Strings expected;
        size_t skips;
    } cases[] = {
        // clang-format off
        // Only an equal directory is skipped, whatever its letter case.
        {"typical installation", "C:\\WINNT\\System32", "C:\\WINNT",
         "C:\\WINNT\\system32;C:\\WINNT\\;%SystemRoot%\\System32\\Wbem;C:\\Bin", "C:\\App\\Tool.EXE", "",
         {"C:\\App\\", "C:\\WINNT\\System32\\", "C:\\WINNT\\", "C:\\WINNT\\System32\\Wbem\\", "C:\\Bin\\"}, 0},
        {"order of the five steps", "S:\\sys", "W:\\win", "P:\\one;P:\\two", "M:\\dir\\app.exe", "I:\\init",
         {"M:\\dir\\", "I:\\init\\", "S:\\sys\\", "W:\\win\\", "P:\\one\\", "P:\\two\\"}, 0},
        {"a DLL adds no directory of its own", "", "", "", "C:\\App\\lib.dll", "", {}, 0},
        {"'.exe' anywhere in the lower-cased path", "", "", "", "C:\\my.EXE.files\\lib.dll", "", {"C:\\my.EXE.files\\"}, 0},
        {"an EXE without separator adds nothing", "", "", "", "tool.exe", "", {}, 0},
        {"empty path elements are ignored, no path list", "", "", ";A;;B;", "", "", {"A\\", "B\\"}, 0},
        // Texts that do not fit a 260-character buffer are skipped, not cut.
        {"a module path of 264 characters", "", "", "", "C:\\App\\" + std::string(253, 'x') + ".exe", "", {}, 0},
        {"a module path of 259 characters", "", "", "", "C:\\App\\" + std::string(248, 'x') + ".exe", "", {"C:\\App\\"}, 0},
        {"a long initial directory", "S", "", "", "", "D:\\" + std::string(300, 'i'), {"S\\"}, 1},
        {"a long path element", "", "", "A;" + std::string(260, 'p') + ";B", "", "", {"A\\", "B\\"}, 1},
        // 3 + 250 + 5 characters and the separator: 259, which fits; one more does not.
        {"an expansion that still fits", "", "", "C:\\%V%\\abcd;D", "", "", {"C:\\" + v250 + "\\abcd\\", "D\\"}, 0},
        {"a directory growing to 260 with its separator", "", "", "C:\\%V%\\abcde;D", "", "", {"D\\"}, 1},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scanner.ClearLists();
        skipped.clear();
        platform.systemDirectory = c.system;
        platform.windowsDirectory = c.windows;
        platform.pathList = c.path;
        scanner.BuildSearchDirectories(c.module, c.initial);
        EXPECT_EQ(scanner.SearchDirectories().Entries(), c.expected);
        EXPECT_EQ(skipped.size(), c.skips);
    }
}

// Directory indexes are 16 bits, so at most 65,535 directories; a full list
// still takes an equal directory as listed, without a notice.
TEST_F(SearchOrder, AtMost65535Directories) {
    for (unsigned i = 0; i < 65536; ++i) scanner.AddSearchDirectory("D" + std::to_string(i));
    scanner.AddSearchDirectory("d7");
    const Strings& entries = scanner.SearchDirectories().Entries();
    ASSERT_EQ(entries.size(), 65535u);
    EXPECT_EQ(entries.back(), "D65534\\");
    EXPECT_EQ(skipped, Strings{"D65535\\"});
}

// 0x81 is a lead byte: a '%' that is the trail byte of a double-byte
// character is not a '%'.
TEST_F(SearchOrder, ExpandEnvironmentReferences) {
    platform.environment = {{"A", "x"}, {"B", "y"}, {"P", "50%"}};
    platform.leadBytes = {0x81};
    const char* cases[][2] = {
        // clang-format off
        {"pre%A%\\%B%%A%post", "prex\\yxpost"}, {"%UNDEFINED%\\bin", "%UNDEFINED%\\bin"}, {"x%", "x%"},
        // After an undefined name the scan goes on after its closing '%'.
        {"%UNDEF%A%", "%UNDEF%A%"}, {"%%A%", "%%A%"}, {"%UNDEF%%A%", "%UNDEF%x"},
        {"%P%B%", "50%B%"},  // an inserted value is not scanned again
        {"\x81%%A%", "\x81%x"}, {"%A\x81%B%", "%A\x81%B%"},
        // clang-format on
    };
    for (const auto& [text, expected] : cases) {
        std::string expanded = text;
        scanner.ExpandEnvironmentReferences(expanded);
        EXPECT_EQ(expanded, expected) << text;
    }
}

// Entries as "text S<directory>" joined by '|', S the state: Pending, Not
// found, Incorrect or Found.
TEST(ReferenceList, AddReference) {
    const std::string kStates = "PNIF";
    const char* cases[][3] = {
        // clang-format off
        {"a name without a dot gets one; names with dots stay", "ntdll P0|x.dll N7|A.B.C P0|. P0", "ntdll. P0|x.dll N7|A.B.C P0|. P0"},
        {"a longer name replaces its prefix, whatever its state, at the end", "KERNEL32 F1|user32.dll P0|kernel32.dll P0", "user32.dll P0|kernel32.dll P0"},
        {"a shorter name is dropped and raises nothing", "a.dll I1|A. F5", "a.dll I1"},
        {"a higher state sets state and directory, the text is kept", "a.dll I1|A.DLL F3", "a.dll F3"},
        {"a lower state changes nothing", "a.dll I1|A.DLL N0", "a.dll I1"},
        {"an equal state keeps the directory", "a.dll I1|a.dll I4", "a.dll I1"},
        {"the prefix test is on characters, not on name parts", "ab.dll P0|abc.dll P0|AB.DLLX P0", "abc.dll P0|AB.DLLX P0"},
        {"only ASCII letters are folded", "\xC9t\xC9.dll P0|\xE9t\xE9.dll P0|\xC9T\xC9.DLL F0", "\xC9t\xC9.dll F0|\xE9t\xE9.dll P0"},
        {"a name that several entries extend is dropped", "a.dll F1|a.exe P0|A N2", "a.dll F1|a.exe P0"},
        {"only the entry the name extends is replaced, whatever sorts near it",
         "ab-x.dll F0|ab P0|ab/ N0|a.dll P0|AB.DLL F4", "ab-x.dll F0|ab/. N0|a.dll P0|AB.DLL F4"},
        // clang-format on
    };
    for (const auto& [name, adds, expected] : cases) {
        CReferenceList list;
        std::istringstream in(adds);
        for (std::string entry; std::getline(in, entry, '|');) {
            const size_t space = entry.rfind(' ');
            list.AddReference(entry.substr(0, space), std::stoul(entry.substr(space + 2)),
                              static_cast<uint16_t>(kStates.find(entry[space + 1])));
        }
        std::string text;
        for (const Reference& r : list.Entries())
            text += (text.empty() ? "" : "|") + r.text + " " + kStates.at(r.State()) +
                    std::to_string(r.DirectoryIndex());
        EXPECT_EQ(text, expected) << name;
    }
}

// The directory listing finds whole names, aliases and "name.*" stems exactly
// as a match of every entry would find them.
TEST(DirectoryListing, FindsByNameAliasAndStem) {
    CDirectoryListing listing;
    const char* entries[][2] = {{"foo.dll", ""}, {"FOO.DLL", ""},  {"foo.bar.dll", "FOOBAR~1.DLL"},
                                {"foo", ""},     {"fooa.dll", ""}, {"x.y.z", ""},
                                {"a.b", "a.b"}};
    for (const auto& [name, alias] : entries)
        listing.Add(name, ToLowerAscii(name), ToLowerAscii(alias));
    listing.Index();
    const char* cases[][2] = {
        // clang-format off
        {"Foo.Dll", "FOO.DLL foo.dll "}, {"foo.*", "FOO.DLL foo.bar.dll foo.dll "},  // not "foo" nor "fooa.dll"
        {"foobar~1.*", "foo.bar.dll "}, {"x.*", "x.y.z "}, {"a.b", "a.b "},  // an alias equal to its name: once
        {"f?o.dll", "FOO.DLL foo.dll "}, {"nothing.*", ""},
        // clang-format on
    };
    for (const auto& [pattern, expected] : cases) {
        CDirectoryListing::Query query;
        CDirectoryListing::Prepare(ToLowerAscii(pattern), query);
        std::vector<uint32_t> found;
        listing.Find(query, found);
        std::multiset<std::string> names;  // sorted, duplicates kept
        for (uint32_t entry : found) names.emplace(std::string(listing.Name(entry)) + " ");
        EXPECT_EQ(std::accumulate(names.begin(), names.end(), std::string()), expected) << pattern;
    }
}

#ifdef _WIN32
// The Windows index against the platform's own pattern search on one folder
// (short aliases, code-page case beyond ASCII, trailing dots and spaces, device
// names): identical reports. Names go through the narrow functions, as imports do.
TEST(DirectoryIndex, AliasesCaseAndTrailingDotsAsThePatternSearch) {
    test::TempDir temp;
    const std::string modules = temp.MakeDir("modules");
    // clang-format off
    const std::vector<std::string> files = {"Long Module Name.dll", "several.dots.in.name.dll", "trail", "trail.dll",
        "trail.x.y", "plain.dll", "\xE9t\xE9.dll", "\x9A" "ka library.dll", "\xFFnde.dll", "solo"};
    // clang-format on
    test::PeBuilder app;
    for (const char* name :
         {"trail.", "TRAIL.X.", "plain.dll ", "plain. ", "decoy.", "several.dots.", "nothing.",
          "NUL.dll", "con", "solo.", "com7.dll", "lpt1 .x"})
        app.Import(name);
    for (std::string file : files) {
        ASSERT_TRUE(test::WriteFileBytes(modules + file, test::PeBuilder().Build()));
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((modules + file).c_str(), &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE);
        FindClose(find);
        if (data.cAlternateFileName[0] != 0) app.Import(data.cAlternateFileName);
        CharUpperBuffA(file.data(), static_cast<DWORD>(file.size()));
        app.Import(file);
    }
    ASSERT_TRUE(test::WriteFileBytes(modules + "decoy.dll", {'M', 'Z'}));
    const std::string path = temp.Write("app.exe", app.Build());
    PlatformOverrides overrides;
    overrides.systemDirectory = modules;
    overrides.windowsDirectory = overrides.pathList = "";
    std::vector<ReportLine> lines[2];
    for (int way = 0; way < 2; ++way) {
        auto platform =
            way == 0 ? CreateNativePlatform(overrides) : CreatePatternSearchPlatform(overrides);
        CReferenceScanner scanner(*platform);
        CReportLines sink;
        scanner.Scan(path, "", true, sink);
        lines[way] = sink.Lines();
    }
    EXPECT_EQ(lines[0], lines[1]);
    size_t found = 0;
    for (const ReportLine& line : lines[0]) found += line.value != 0 ? 1 : 0;
    EXPECT_GE(found, files.size());
}
#endif

}  // namespace
}  // namespace kivrel
