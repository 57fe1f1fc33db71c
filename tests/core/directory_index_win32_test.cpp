// The Windows directory index against the platform's own pattern search on
// the same folders: short aliases, names the code page folds beyond ASCII,
// trailing dots and spaces, Wine's own modules. The reports must be identical.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core_helpers.h"
#include "pe_writer.h"
#include "temp_dir.h"

namespace kivrel::test {
namespace {

// Scans `module` through the index and through the pattern search; the
// outcomes must be identical. Returns the references found.
size_t ScanBothWays(const std::string& module, const PlatformOverrides& overrides) {
    std::vector<ReportLine> lines[2];
    std::vector<RefEntry> references[2];
    for (int way = 0; way < 2; ++way) {
        auto platform =
            way == 0 ? CreateNativePlatform(overrides) : CreatePatternSearchPlatform(overrides);
        CReferenceScanner scanner(*platform);
        CReportLines sink;
        scanner.Scan(module, "", true, sink);
        lines[way] = sink.Lines();
        references[way] = Refs(scanner.References());
    }
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_EQ(references[0], references[1]);
    size_t found = 0;
    for (const RefEntry& entry : references[0]) found += entry.state == REF_FOUND ? 1 : 0;
    return found;
}

// Written through the narrow file functions, so that a name is taken in the
// code page exactly as an import's text is.
bool WriteNarrow(const std::string& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

std::vector<uint8_t> Importing(const std::vector<std::string>& names) {
    PeBuilder builder;
    for (const std::string& name : names) builder.Import(name);
    return builder.Build();
}

std::string ShortAlias(const std::string& directory, const std::string& name) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((directory + name).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return "";
    ::FindClose(find);
    return data.cAlternateFileName;
}

std::string Upper(std::string text) {
    ::CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

TEST(DirectoryIndex, AliasesCaseAndTrailingDotsAsThePatternSearch) {
    TempDir temp;
    const std::string modules = temp.MakeDir("modules");
    // Long names, spaces, several dots; letters of the code page beyond ASCII.
    // clang-format off
    const std::vector<std::string> files = {
        "Long Module Name.dll", "several.dots.in.name.dll", "with space.dll", "trail", "trail.dll",
        "trail.x.y", "plain.dll", "\xE9t\xE9.dll", "\x9A" "ka library.dll", "na\xEFve.dll",
        "\xFFnde.dll", "solo"};
    // clang-format on
    for (const std::string& file : files) ASSERT_TRUE(WriteNarrow(modules + file, Importing({})));
    ASSERT_TRUE(WriteNarrow(modules + "decoy.dll", {'M', 'Z'}));

    std::vector<std::string> imports = {
        "trail.",      "TRAIL.X.", "plain.dll ", "plain. ", "decoy.",   "several.dots.", "nothing.",
        "nothing.dll", "NUL.dll",  "con",        "solo.",   "com7.dll", "lpt1 .x"};
    for (const std::string& file : files) {
        imports.push_back(Upper(file));
        const std::string alias = ShortAlias(modules, file);
        if (!alias.empty()) imports.push_back(alias);
    }
    const std::string app = temp.Dir("app") + "app.exe";
    ::CreateDirectoryA(temp.Dir("app").c_str(), nullptr);
    ASSERT_TRUE(WriteNarrow(app, Importing(imports)));

    PlatformOverrides overrides;
    overrides.systemDirectory = modules;
    overrides.windowsDirectory = "";
    overrides.pathList = "";
    EXPECT_GE(ScanBothWays(app, overrides), files.size());
}

TEST(DirectoryIndex, WineModulesAsThePatternSearch) {
    const std::string system = "Z:\\usr\\lib\\x86_64-linux-gnu\\wine\\x86_64-windows\\";
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((system + "*.dll").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no Wine modules at " << system;
    std::vector<std::string> imports;
    do {
        std::string name = data.cFileName;
        // Every third in upper case, every fifth without its extension.
        if (imports.size() % 3 == 0) name = Upper(name);
        if (imports.size() % 5 == 0) name = name.substr(0, name.size() - 3);
        imports.push_back(name);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);

    TempDir temp;
    const std::string app = temp.Dir() + "app.exe";
    ASSERT_TRUE(WriteNarrow(app, Importing(imports)));
    PlatformOverrides overrides;
    overrides.systemDirectory = system;
    overrides.windowsDirectory = "Z:\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows";
    overrides.pathList = "";
    EXPECT_GT(ScanBothWays(app, overrides), imports.size() / 2);
}

}  // namespace
}  // namespace kivrel::test
