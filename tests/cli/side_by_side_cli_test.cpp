// --assemblies on programs whose manifests windres embedded, against a real
// Wine prefix's side-by-side store (Microsoft.VC90.CRT 9.0.30729.6161,
// amd64). Natively the prefix is the build tree's and its folders are given
// as options; under Wine the test runs in it and the scan uses the system's
// own folders: both builds must answer the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "fixture_paths.h"
#include "scan_command.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kivrel::cli {
namespace {

using fixtures::kSeparator;

// The Windows directory, ending in a separator; "" when there is no prefix.
std::string WindowsDirectory() {
#ifdef _WIN32
    char directory[MAX_PATH];
    return std::string(directory, GetWindowsDirectoryA(directory, MAX_PATH)) + kSeparator;
#else
    const std::string directory = KIVREL_WINE_WINDOWS_DIR;
    return std::filesystem::is_directory(directory + "/winsxs") ? directory + "/" : "";
#endif
}

TEST(SideBySideCli, AssembliesOfAWinePrefix) {
    KIVREL_REQUIRE_FIXTURES();
    const std::string windows = WindowsDirectory();
    if (windows.empty()) GTEST_SKIP() << "no Wine prefix (wine64 was missing)";
    const std::string crt =
        windows + "winsxs" + kSeparator +
        "amd64_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.6161_none_deadbeef" + kSeparator +
        "msvcr90.dll\n";
    const std::string privateDll =
        fixtures::Dir({"sxs", "private", "Kivrel.Private"}) + "kprivate.dll\n";
    const std::string heading = "\n*** NOT FOUND or INCORRECT ***\n\n",
                      mfc = heading + "Microsoft.VC90.MFC 9.0.30729.1 (side-by-side assembly)\n",
                      older = "(9.0.21022.8 is not installed: the highest of its major.minor)",
                      via = "\"via\": \"assembly Microsoft.VC90.CRT 9.0.30729.6161\"";
    const struct {
        std::vector<std::string> args;
        std::string module;  // under sxs/, '/' for the separator
        int status;
        std::string out;       // a part of standard output; with a leading '!', text it lacks
        std::string err = {};  // a part of standard error
    } rows[] = {
        {{"--assemblies"}, "exact.exe", 0, crt},
        {{}, "exact.exe", 0, "!winsxs"},
        {{"--loader", "--verbose"}, "older.exe", 0, crt, older},
        {{"--assemblies"}, "absent.exe", 1, mfc},
        {{}, "private/private.exe", 1, heading + "kprivate.dll\n"},
        {{"--assemblies"}, "private/private.exe", 0, privateDll},
        {{"--assemblies"}, "plugin/host.exe", 0, crt},
        {{"--assemblies", "--json"}, "exact.exe", 0, via},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.args;
#ifndef _WIN32
        args.insert(args.end(), {"--windows-dir", windows, "--system-dir", windows + "system32"});
#endif
        std::string module = row.module;
        for (char& c : module) c = c == '/' ? kSeparator : c;
        args.push_back(fixtures::Path({"sxs", module}));
        SCOPED_TRACE(args.front() + " " + args.back());
        std::ostringstream out, err;
        EXPECT_EQ(RunScanCommand(args, out, err), row.status);
        const bool lacks = row.out[0] == '!';
        EXPECT_EQ(out.str().find(row.out.substr(lacks)) == std::string::npos, lacks) << out.str();
        EXPECT_NE(err.str().find(row.err), std::string::npos) << err.str();
    }
}

}  // namespace
}  // namespace kivrel::cli
