// Every full path a report gives names a file that exists, whatever the
// letter case of the imports; reference names keep the import's text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core_helpers.h"
#include "json_writer.h"
#include "pe_writer.h"
#include "temp_dir.h"

namespace kivrel::test {
namespace {

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<uint8_t> Importing(const std::vector<std::string>& names) {
    PeBuilder builder;
    for (const std::string& name : names) builder.Import(name);
    return builder.Build();
}

std::unique_ptr<IScanPlatform> WithSystem(const std::string& system) {
    PlatformOverrides overrides;
    overrides.systemDirectory = system;
    return CreateNativePlatform(overrides);
}

// A scan whose every found line must name a file.
struct CheckedScan {
    CheckedScan(const std::string& module, const std::string& system)
        : platform(WithSystem(system)), scanner(*platform) {
        scanner.Scan(module, "", true, sink);
        for (const ReportLine& line : sink.Lines()) {
            if (line.value == 0) continue;
            EXPECT_TRUE(IsFile(line.text)) << line.text;
            ++found;
        }
    }
    std::unique_ptr<IScanPlatform> platform;
    CReferenceScanner scanner;
    CReportLines sink;
    size_t found = 0;
};

TEST(FoundPath, NamesTheFileThatMatched) {
    TempDir temp;
    const std::string system = temp.MakeDir("System");
    // Import names in one letter case, files in another; a non-PE file of
    // one case in a directory searched before the module of another case.
    const std::string app =
        temp.Write("app/App.exe", Importing({"KERNEL32.dll", "Mixed", "OTHER.DLL"}));
    temp.Write("System/kernel32.dll", Importing({"NTDLL.DLL"}));
    temp.Write("System/ntdll.dll", Importing({}));
    temp.Write("System/mIXED.Dll", Importing({}));
    temp.WriteText("app/OTHER.dll", "not a module");
    temp.Write("System/other.dll", Importing({}));
    const CheckedScan scan(app, system);
    EXPECT_EQ(scan.found, 4u);
    // The list keeps the import's text; an extension-less import takes the
    // name it was found under, as the report always did.
    EXPECT_EQ(Refs(scan.scanner.References()),
              (std::vector<RefEntry>{{"KERNEL32.dll", REF_FOUND, 1},
                                     {"OTHER.DLL", REF_FOUND, 1},
                                     {"NTDLL.DLL", REF_FOUND, 1},
                                     {"mIXED.Dll", REF_FOUND, 1}}));
    std::ostringstream json;
    cli::WriteJsonReport(json, app, scan.scanner, {}, 0);
    for (size_t i = 0; i < scan.scanner.References().size(); ++i) {
        std::ostringstream member;
        member << "\"path\": ";
        cli::WriteJsonString(member, scan.scanner.FoundPath(i));
        EXPECT_NE(json.str().find(member.str()), std::string::npos) << member.str();
    }
}

#ifndef _WIN32
// Wine's own modules are named in lower case; imports in upper case must
// still print paths that exist.
TEST(FoundPath, WineModulesImportedInUpperCase) {
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                               "/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
        if (!IsFile(std::string(folder) + "/kernel32.dll")) continue;
        TempDir temp;
        const std::string app = temp.Write(
            "App.exe", Importing({"KERNEL32.DLL", "USER32.DLL", "OLE32.DLL", "SHELL32"}));
        EXPECT_GT(CheckedScan(app, folder).found, 10u) << folder;
    }
}
#endif

}  // namespace
}  // namespace kivrel::test
