// The whole kivrel-scan command: options in, output and exit status out.
// main() only hands it the process's streams; the tests call it directly.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kivrel::cli {

// Runs the command for argv[1..]. Returns the exit status: 0 when every name
// the program needs at start-up resolved, 1 when the scan reported a message
// (other than "No referencies"), a name stayed unresolved or a copy failed,
// 2 for a usage error or a report that could not be written.
int RunScanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kivrel::cli
