#include "folder_walk.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "file_ops.h"
#include "path_text.h"

namespace kivrel::cli {

FolderWalk WalkFolders(const std::vector<std::string>& paths, bool recursive) {
    FolderWalk walk;
    std::set<std::pair<uint64_t, uint64_t>> visited;  // directories, by volume and file
    auto firstVisit = [&](const FileIdentity& id) {
        return visited.emplace(id.volume, id.file).second;
    };
    // An explicit stack: a tree may be deeper than the call stack.
    std::vector<std::string> pending;
    for (const std::string& path : paths) {
        FileIdentity id;
        std::string error;
        if (!Identify(path, id, error)) {
            walk.failures.emplace_back(path, error);
        } else if (id.kind == FileIdentity::REGULAR) {
            walk.files.push_back({path, true});
        } else if (id.kind == FileIdentity::SPECIAL) {
            walk.failures.emplace_back(path, "not a regular file");
        } else if (firstVisit(id)) {
            pending.push_back(path);
        }
    }
    while (!pending.empty()) {
        const std::string listed = std::move(pending.back());
        pending.pop_back();
        std::string directory = listed;
        if (directory.find_last_of(kPathSeparators) + 1 != directory.size()) {
            directory += kPathSeparator;
        }
        std::string error;
        const auto visit = [&](const DirectoryEntry& entry) {
            if (!entry.error.empty()) {
                // Vanished, or no access.
                walk.failures.emplace_back(directory + entry.name, entry.error);
            } else if (entry.identity.kind == FileIdentity::REGULAR) {
                // Only a file that begins as an executable does can be a module;
                // looking at two bytes spares mapping the many that are not.
                if (entry.startSize == 2 && entry.start[0] == 'M' && entry.start[1] == 'Z') {
                    walk.files.push_back({directory + entry.name, false});
                }
            } else if (entry.identity.kind == FileIdentity::DIRECTORY && recursive &&
                       firstVisit(entry.identity)) {
                pending.push_back(directory + entry.name);
            }
        };
        if (!LookIntoDirectory(listed, visit, error)) walk.failures.emplace_back(listed, error);
    }
    // Named before found, so that the one kept of a path given twice is named.
    auto byPath = [](const WalkedFile& a, const WalkedFile& b) {
        return a.path != b.path ? a.path < b.path : a.named > b.named;
    };
    std::sort(walk.files.begin(), walk.files.end(), byPath);
    // A file named twice, or named and found in a directory named too, once.
    walk.files.erase(
        std::unique(walk.files.begin(), walk.files.end(),
                    [](const WalkedFile& a, const WalkedFile& b) { return a.path == b.path; }),
        walk.files.end());
    std::sort(walk.failures.begin(), walk.failures.end());
    return walk;
}

}  // namespace kivrel::cli
