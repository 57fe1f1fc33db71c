// --copy-to: puts every found module that a program needs beside it, except
// those of the system, the Windows and the excluded directories.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kivrel::cli {

// A found module: its full path (directory + on-disk name) and machine.
struct BundleModule {
    std::string path;
    uint16_t machine = 0;
};

struct BundleRequest {
    std::string destination;
    // Nonzero: the program's machine; a module of another one is not copied
    // (the program could not load it).
    uint16_t machine = 0;
    // Modules found directly in one of these are not copied ("" entries are ignored).
    std::vector<std::string> excludedDirectories;
    bool force = false;    // replace a file of the same name with other contents
    bool verbose = false;  // tell each copy on `err`
};

// Copies each of `modules` into the destination under its own name. A file
// there whose name equals it without regard to case (as Windows will see it)
// is kept when it holds the same bytes or is the source itself, and replaced
// only with `force`. Every failure is told on `err` and the rest still
// copied; returns false if any.
bool CopyModules(const std::vector<BundleModule>& modules, const BundleRequest& request,
                 std::ostream& err);

}  // namespace kivrel::cli
