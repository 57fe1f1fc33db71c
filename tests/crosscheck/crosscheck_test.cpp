// The core against independent peers, natively: the import names it reads
// against MinGW objdump, whole scans against tools/pefile-resolve.py (pefile).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "fixture_paths.h"
#include "function_check.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "text.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr const char* kWineDirs[] = {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                                     "/usr/lib/i386-linux-gnu/wine/i386-windows"};

// Standard output of a command whose arguments are quoted here, as lines.
Strings Output(const Strings& argv) {
    std::string command, out;
    for (const std::string& arg : argv) command += " '" + arg + "'";
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[65536];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    Strings lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "MZ", then "PE\0\0" at the offset stored at 60: the format's own test,
// written without the core's code.
bool LooksLikePe(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char dos[64];
    char signature[4];
    if (!file.read(reinterpret_cast<char*>(dos), 64) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    file.seekg(dos[60] | dos[61] << 8 | dos[62] << 16 | uint32_t(dos[63]) << 24);
    return file.read(signature, 4) && std::string(signature, 4) == std::string("PE\0\0", 4);
}

std::string Joined(const CReferenceList& list) {
    std::string text;
    for (const Reference& entry : list.Entries()) text += entry.text + " ";
    return text;
}

// Every PE file of Wine, the MinGW runtime and the fixtures: the names the
// core reads are objdump's "DLL Name:" lines, fed through a fresh reference
// list so both sides get its merging, in order and exact case (MinGW links
// names in link order and mixed case, Wine's are sorted lower case).
TEST(CrossCheck, ImportNamesAreWhatObjdumpReads) {
    if (std::string(KIVREL_OBJDUMP).empty()) GTEST_SKIP() << "no MinGW objdump";
    Strings argv{KIVREL_OBJDUMP, "-p"};
    for (const std::string directory :
         {kWineDirs[0], kWineDirs[1], "/usr/lib/gcc/x86_64-w64-mingw32",
          "/usr/lib/gcc/i686-w64-mingw32", "/usr/x86_64-w64-mingw32/lib",
          "/usr/i686-w64-mingw32/lib", fixtures::Available() ? KIVREL_FIXTURE_DIR : ""}) {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(directory, error))
            if (entry.is_regular_file() && LooksLikePe(entry.path())) argv.push_back(entry.path());
    }
    if (argv.size() < 100) GTEST_SKIP() << "no Wine modules";
    std::map<std::string, CReferenceList> expected;
    CReferenceList* current = nullptr;
    bool inImports = false;
    for (const std::string& line : Output(argv)) {
        const size_t at = line.find(":     file format ");
        if (at != std::string::npos && line[0] == '/')
            current = &expected[line.substr(0, at)];
        else if (line.rfind("The ", 0) == 0)
            inImports = line.rfind("The Import Tables", 0) == 0;
        else if (inImports && current && line.rfind("\tDLL Name: ", 0) == 0 &&
                 FitsPathBuffer(line.substr(11)))
            current->AddReference(line.substr(11), 0, REF_PENDING);
    }
    auto platform = CreateNativePlatform();
    size_t withImports = 0, mismatches = 0;
    for (size_t i = 2; i < argv.size(); ++i) {
        CReferenceScanner scanner(*platform);
        const ModuleRead module = scanner.ScanModule(argv[i]);
        const std::string read = Joined(scanner.References()), peer = Joined(expected[argv[i]]);
        withImports += read.empty() ? 0 : 1;
        if ((!module.isPe || read != peer || (module.errorId == 0) == read.empty()) &&
            ++mismatches <= 10)
            ADD_FAILURE() << argv[i] << ": " << read << "| objdump: " << peer;
    }
    EXPECT_EQ(mismatches, 0u) << "of " << argv.size() - 2;
    EXPECT_GT(withImports, argv.size() / 2);  // a reader finding nothing would agree too
}

// Found paths and missing names of a whole scan, case-folded.
std::pair<std::set<std::string>, std::set<std::string>> Outcome(const Strings& lines) {
    std::pair<std::set<std::string>, std::set<std::string>> outcome;
    bool missing = false;
    for (const std::string& line : lines) {
        if (line == "*** NOT FOUND or INCORRECT ***")
            missing = true;
        else if (!line.empty())
            (missing ? outcome.second : outcome.first).insert(ToLowerAscii(line));
    }
    return outcome;
}

TEST(CrossCheck, ScansFindWhatPefileFinds) {
    if (std::string(KIVREL_PEFILE_PYTHON).empty()) GTEST_SKIP() << "no python3 with pefile";
    std::vector<Strings> cases;  // module, initial, system and path
    for (const std::string directory : kWineDirs)
        if (fs::is_regular_file(directory + "/notepad.exe"))
            cases.push_back({directory + "/notepad.exe", "", directory, ""});
    using fixtures::Path;
    if (fixtures::Available())
        cases.insert(
            cases.end(),
            {{Path({"chain", "bin", "app.exe"}), Path({"chain", "lib"}), Path({"sys"}), ""},
             {Path({"missing", "usesghost.exe"}), "", Path({"sys"}), ""},
             {Path({"cycle", "loop.exe"}), "", "", ""},
             {Path({"dirs", "dirs.exe"}), Path({"first"}), "", Path({"second"})}});
    ASSERT_FALSE(cases.empty()) << "nothing to compare: neither Wine's notepad nor the fixtures";
    for (const Strings& c : cases) {
        SCOPED_TRACE(c[0]);
        auto platform = CreateNativePlatform(PlatformOverrides{c[2], "", c[3]});
        CReferenceScanner scanner(*platform);
        CReportLines report;
        scanner.Scan(c[0], c[1], true, report);
        const auto ours = Outcome(report.Texts());
        EXPECT_EQ(ours, Outcome(Output({KIVREL_PEFILE_PYTHON, KIVREL_PEFILE_RESOLVE,
                                        "--initial-dir", c[1], "--system-dir", c[2],
                                        "--windows-dir", "", "--path", c[3], c[0]})));
        EXPECT_GE(ours.first.size(), 3u);  // non-trivial: something was found
    }
}

// The function check against pefile's view of imports and exports: Wine's
// notepad.exe with Wine's own DLLs (forwarders, API-set DLLs, imports by
// ordinal: nothing may be reported missing that pefile binds), and the
// fixture that lacks functions in every way the check knows.
TEST(CrossCheck, MissingFunctionsAreWhatPefileFinds) {
    if (std::string(KIVREL_PEFILE_PYTHON).empty()) GTEST_SKIP() << "no python3 with pefile";
    std::vector<Strings> cases;  // module, system directory
    for (const std::string directory : kWineDirs)
        if (fs::is_regular_file(directory + "/notepad.exe"))
            cases.push_back({directory + "/notepad.exe", directory});
    if (fixtures::Available())
        cases.push_back({fixtures::Path({"functions", "functions.exe"}), fixtures::Path({"sys"})});
    size_t lines = 0;
    for (const Strings& c : cases) {
        SCOPED_TRACE(c[0]);
        auto platform = CreateNativePlatform(PlatformOverrides{c[1], "", ""});
        CReferenceScanner scanner(*platform);
        LoaderOptions options;
        options.functions = true;
        scanner.SetLoaderOptions(options);
        CReportLines report;
        const CScanResult result = scanner.Scan(c[0], "", true, report);
        std::set<std::string> ours, peer;
        for (const MissingFunction& missing : result.MissingFunctions())
            ours.insert(result.MissingFunctionLine(missing));
        bool inGroup = false;
        for (const std::string& line :
             Output({KIVREL_PEFILE_PYTHON, KIVREL_PEFILE_RESOLVE, "--functions", "--system-dir",
                     c[1], "--windows-dir", "", "--path", "", c[0]})) {
            if (line.rfind("*** ", 0) == 0)
                inGroup = line == "*** MISSING FUNCTIONS ***";
            else if (inGroup && !line.empty())
                peer.insert(line);
        }
        EXPECT_EQ(ours, peer);
        EXPECT_GE(result.References().size(), 3u);
        lines += ours.size();
    }
    // The check finds something to agree on.
    if (fixtures::Available()) {
        EXPECT_GE(lines, 4u);
    }
}

}  // namespace
}  // namespace kivrel
