// The command line of kivrel-scan.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

namespace kivrel::cli {

struct Options {
    std::string module;
    std::string initialDirectory;
    PlatformOverrides overrides;
    bool json = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// Parses argv[1..]; on a usage error returns false with a message in `error`.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();

}  // namespace kivrel::cli
