// kivrel-scan --audit: every module of the PATHs given checked in one run,
// one line per module with a problem, a summary, and the exit status for CI.
#pragma once

#include <ostream>

#include "options.h"

namespace kivrel::cli {

// Returns the exit status: 1 when a module has a problem or a path could
// not be looked at, else 0. `knownDlls`: the list --known-dlls reads.
int RunAudit(const Options& options, const CKnownDlls& knownDlls, std::ostream& out,
             std::ostream& err);

}  // namespace kivrel::cli
