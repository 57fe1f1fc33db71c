// A hint for a first run on Linux without a system directory: when names stay
// unresolved and Wine's DLL folder for the module's machine holds some of
// them, one line says how many and which option searches it.
#pragma once

#include <string>

#include "options.h"
#include "scan_result.h"

namespace kivrel::cli {

// The hint line with its newline, or "" (always on Windows, and whenever a
// system directory was given by option or KIVREL_SYSTEM_DIR).
std::string WineFolderHint(const Options& options, const CScanResult& result);

}  // namespace kivrel::cli
