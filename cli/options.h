// The command line of kivrel-scan.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "known_dlls.h"
#include "loader_folders.h"
#include "platform.h"
#include "reference_scanner.h"

namespace kivrel::cli {

struct Options {
    std::string module;
    bool audit = false;                   // --audit: every module of auditPaths
    std::vector<std::string> auditPaths;  // modules and directories
    bool recursive = false;
    std::string initialDirectory;
    PlatformOverrides overrides;
    LoaderOptions loader;
    LoaderFolderOptions folders;  // --wine-prefix, --wow64
    KnownDllsSource knownDlls;    // --known-dlls-list, and a prefix's registry
    bool json = false;
    bool ldd = false;  // --format ldd
    bool tree = false;
    std::optional<std::string> why;
    bool missingOnly = false;
    std::optional<std::string> copyTo;
    std::vector<std::string> excludeDirs;
    bool force = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// Parses argv[1..]; on a usage error returns false with a message in `error`.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();

}  // namespace kivrel::cli
