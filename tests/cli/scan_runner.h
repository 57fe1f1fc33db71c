// Runs the built kivrel-scan, and the fixture scenarios that several test
// files check: their arguments and their exact report lines.
#pragma once

#include <string>
#include <vector>

#include "fixture_paths.h"
#include "process.h"

namespace kivrel::test {

using fixtures::Dir;
using fixtures::Path;

// Runs kivrel-scan with `args`. Natively the variables that choose search
// directories behind a test's back are removed first; `env` may set them.
inline ProcessResult RunScan(const std::vector<std::string>& args,
                             const std::vector<EnvChange>& env = {}) {
    std::vector<std::string> argv{KIVREL_SCAN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<EnvChange> changes;
#ifndef _WIN32
    changes = {{"KIVREL_SYSTEM_DIR", std::nullopt},
               {"KIVREL_WINDOWS_DIR", std::nullopt},
               {"WINEPATH", std::nullopt}};
#endif
    changes.insert(changes.end(), env.begin(), env.end());
    return RunProcess(argv, changes);
}

// The system module's file; the imports name it "KERNEL32.dll". Where names
// are case-sensitive the report names the file as it is on disk.
#ifdef _WIN32
constexpr const char* kKernel32Line = "KERNEL32.dll";
#else
constexpr const char* kKernel32Line = "kernel32.dll";
#endif

struct Scenario {
    std::vector<std::string> args;   // the module last
    std::vector<std::string> lines;  // the exact report
    int exitCode;
};

// app.exe -> liba.dll -> libb.dll, with KERNEL32.dll and msvcrt.dll in the
// system directory: every name found, grouped by directory in search order.
inline Scenario ChainScenario() {
    return {{"--initial-dir", Path({"chain", "lib"}), "--system-dir", Path({"sys"}),
             "--windows-dir", "", "--path", "", Path({"chain", "bin", "app.exe"})},
            {Dir({"chain", "lib"}) + "liba.dll", Dir({"chain", "lib"}) + "libb.dll",
             Dir({"sys"}) + kKernel32Line, Dir({"sys"}) + "msvcrt.dll"},
            0};
}

// usesghost.exe -> needsghost.dll -> ghost.dll, which exists nowhere.
inline Scenario MissingScenario() {
    return {{"--system-dir", Path({"sys"}), "--windows-dir", "", "--path", "",
             Path({"missing", "usesghost.exe"})},
            {Dir({"missing"}) + "needsghost.dll", Dir({"sys"}) + kKernel32Line,
             Dir({"sys"}) + "msvcrt.dll", "", "*** NOT FOUND or INCORRECT ***", "", "ghost.dll"},
            1};
}

// loop.exe -> ping.dll <-> pong.dll -> self.dll -> self.dll: each once.
inline Scenario CycleScenario() {
    return {{"--system-dir", "", "--windows-dir", "", "--path", "", Path({"cycle", "loop.exe"})},
            {Dir({"cycle"}) + "ping.dll", Dir({"cycle"}) + "pong.dll", Dir({"cycle"}) + "self.dll"},
            0};
}

// dirs.exe -> only2.dll -> shadow.dll -> firstonly.dll -> "bare", and
// shadow.dll -> broken.dll. The first directory holds firstonly.dll and two
// text files named shadow.dll and broken.dll; the second (the path list)
// holds only2.dll, the real shadow.dll and bare.dll. firstonly.dll is listed
// first although only2.dll and shadow.dll came before it in reference order;
// "bare" is reported under the file's name.
inline Scenario DirsScenario(const std::string& pathList = fixtures::Path({"second"})) {
    return {{"--initial-dir", Path({"first"}), "--system-dir", "", "--windows-dir", "", "--path",
             pathList, Path({"dirs", "dirs.exe"})},
            {Dir({"first"}) + "firstonly.dll", Dir({"second"}) + "only2.dll",
             Dir({"second"}) + "shadow.dll", Dir({"second"}) + "bare.dll", "",
             "*** NOT FOUND or INCORRECT ***", "", "broken.dll"},
            1};
}

}  // namespace kivrel::test
