// The Windows directory index against the platform's own pattern search on
// the same folder (short aliases, names the code page folds beyond ASCII,
// trailing dots and spaces, device names): identical reports.
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

}  // namespace
}  // namespace kivrel
