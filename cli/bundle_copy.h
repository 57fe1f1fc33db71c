// --copy-to: puts every found module that a program needs beside it, except
// those of the system, the Windows and the excluded directories.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kivrel::cli {

struct BundleRequest {
    std::string destination;
    // Modules found directly in one of these are not copied ("" entries are ignored).
    std::vector<std::string> excludedDirectories;
    bool force = false;    // replace a file of the same name with other contents
    bool verbose = false;  // tell each copy on `err`
};

// Copies each of `modulePaths` (full paths, directory + on-disk name) into
// the destination under its own name. A file there whose name equals it
// without regard to case (as Windows will see it) is kept when it holds the
// same bytes or is the source itself, and replaced only with `force`. Every
// failure is told on `err` and the rest still copied; returns false if any.
bool CopyModules(const std::vector<std::string>& modulePaths, const BundleRequest& request,
                 std::ostream& err);

}  // namespace kivrel::cli
