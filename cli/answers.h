// What kivrel-scan does beyond the report lines and JSON: the answers of
// --tree, --why, --missing-only and --format ldd, and the copy of --copy-to.
#pragma once

#include <ostream>
#include <string>

#include "options.h"
#include "platform.h"
#include "scan_result.h"

namespace kivrel::cli {

// True when the options ask for an answer instead of the report lines.
bool WantsAnswer(const Options& options);

// Writes the answer the options ask for; the scan's message line goes to
// `err`. Returns the exit status, which is the scan's except for --why.
int WriteAnswer(const Options& options, const CScanResult& result, std::ostream& out,
                std::ostream& err);

// --copy-to: copies the found modules outside the system, Windows and
// excluded directories. False when a copy failed.
bool CopyFoundModules(const Options& options, IScanPlatform& platform, const CScanResult& result,
                      std::ostream& err);

}  // namespace kivrel::cli
