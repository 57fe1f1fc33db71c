#include "bundle_copy.h"

#include <map>
#include <utility>

#include "file_ops.h"
#include "path_text.h"
#include "read_failure.h"
#include "text.h"

namespace kivrel::cli {

namespace {
// Directory (with its separator, "." for none) and file name of a path.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const size_t end = path.find_last_of(kPathSeparators);
    if (end == std::string::npos) return {".", path};
    return {path.substr(0, end + 1), path.substr(end + 1)};
}

bool IsExcluded(const std::string& directory, const BundleRequest& request) {
    for (const std::string& excluded : request.excludedDirectories) {
        if (!excluded.empty() && IsSameFile(directory, excluded)) return true;
    }
    return false;
}
}  // namespace

bool CopyModules(const std::vector<BundleModule>& modules, const BundleRequest& request,
                 std::ostream& err) {
    const std::string& destination = request.destination;
    std::string error;
    const FileKind kind = KindOf(destination);
    if (kind == FileKind::OTHER ||
        (kind == FileKind::MISSING && !CreateDirectories(destination, error))) {
        err << "kivrel-scan: cannot copy into " << destination << ": "
            << (kind == FileKind::OTHER ? "it is not a directory" : error) << '\n';
        return false;
    }
    // What the destination holds, by name as Windows compares names.
    std::map<std::string, std::string> present;
    std::vector<std::string> names;
    if (!ListDirectory(destination, names, error)) {
        err << "kivrel-scan: cannot read " << destination << ": " << error << '\n';
        return false;
    }
    for (const std::string& name : names) present.emplace(ToLowerAscii(name), name);

    std::string prefix = destination;
    if (prefix.find_last_of(kPathSeparators) + 1 != prefix.size()) prefix += kPathSeparator;
    bool ok = true;
    for (const BundleModule& module : modules) {
        const std::string& source = module.path;
        const auto [directory, name] = SplitPath(source);
        if (IsExcluded(directory, request)) continue;
        if (request.machine != 0 && module.machine != 0 && module.machine != request.machine) {
            err << "kivrel-scan: " << source << " is not copied: it is for "
                << MachineName(module.machine) << ", the program for "
                << MachineName(request.machine) << '\n';
            ok = false;
            continue;
        }
        const auto existing = present.find(ToLowerAscii(name));
        // An existing file keeps its name: on Windows it is the same file.
        const std::string target = prefix + (existing == present.end() ? name : existing->second);
        if (existing != present.end()) {
            if (IsSameFile(source, target) || HaveSameContents(source, target)) {
                if (request.verbose) err << "unchanged: " << target << '\n';
                continue;
            }
            if (!request.force) {
                err << "kivrel-scan: " << target << " differs from " << source
                    << " and is not replaced (--force replaces it)\n";
                ok = false;
                continue;
            }
        }
        if (!CopyReplacing(source, target, error)) {
            err << "kivrel-scan: cannot copy " << source << " to " << target << ": " << error
                << '\n';
            ok = false;
            continue;
        }
        present.emplace(ToLowerAscii(name), name);
        if (request.verbose) err << "copied " << source << " to " << target << '\n';
    }
    return ok;
}

}  // namespace kivrel::cli
