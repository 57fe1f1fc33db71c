// The Windows directory index against the platform's own pattern search on
// the same folders (short aliases, names the code page folds beyond ASCII,
// trailing dots and spaces, device names, Wine's modules): identical reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "pe_writer.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "temp_dir.h"

namespace kivrel {
namespace {

// Scans a module importing `imports` both ways; returns the modules found.
size_t ScanBothWays(const std::vector<std::string>& imports, const std::string& system,
                    const std::string& windows) {
    test::TempDir temp;
    test::PeBuilder module;
    for (const std::string& name : imports) module.Import(name);
    const std::string path = temp.Write("app.exe", module.Build());
    PlatformOverrides overrides;
    overrides.systemDirectory = system;
    overrides.windowsDirectory = windows;
    overrides.pathList = "";
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
    return found;
}

// Names written and upper-cased through the narrow functions, so that they
// are taken in the code page exactly as an import's text is.
TEST(DirectoryIndex, AliasesCaseAndTrailingDotsAsThePatternSearch) {
    test::TempDir temp;
    const std::string modules = temp.MakeDir("modules");
    const std::vector<std::string> files = {"Long Module Name.dll",
                                            "several.dots.in.name.dll",
                                            "trail",
                                            "trail.dll",
                                            "trail.x.y",
                                            "plain.dll",
                                            "\xE9t\xE9.dll",
                                            "\x9A"
                                            "ka library.dll",
                                            "\xFFnde.dll",
                                            "solo"};
    const std::vector<uint8_t> pe = test::PeBuilder().Build();
    std::vector<std::string> imports = {"trail.", "TRAIL.X.",      "plain.dll ", "plain. ",
                                        "decoy.", "several.dots.", "nothing.",   "NUL.dll",
                                        "con",    "solo.",         "com7.dll",   "lpt1 .x"};
    for (std::string file : files) {
        ASSERT_TRUE(test::WriteFileBytes(modules + file, pe));
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((modules + file).c_str(), &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE);
        FindClose(find);
        if (data.cAlternateFileName[0] != 0) imports.push_back(data.cAlternateFileName);
        CharUpperBuffA(file.data(), static_cast<DWORD>(file.size()));
        imports.push_back(file);
    }
    ASSERT_TRUE(test::WriteFileBytes(modules + "decoy.dll", {'M', 'Z'}));
    EXPECT_GE(ScanBothWays(imports, modules, ""), files.size());
}

TEST(DirectoryIndex, WineModulesAsThePatternSearch) {
    const std::string system = "Z:\\usr\\lib\\x86_64-linux-gnu\\wine\\x86_64-windows\\";
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((system + "*.dll").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no Wine modules at " << system;
    std::vector<std::string> imports;
    do {
        // Every third in upper case, every fifth without its extension.
        std::string name = data.cFileName;
        if (imports.size() % 3 == 0) CharUpperBuffA(name.data(), static_cast<DWORD>(name.size()));
        if (imports.size() % 5 == 0) name.resize(name.size() - 3);
        imports.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    EXPECT_GT(ScanBothWays(imports, system, "Z:\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows"),
              imports.size() / 2);
}

}  // namespace
}  // namespace kivrel
