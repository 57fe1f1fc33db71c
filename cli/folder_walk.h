// The files an audit looks at: the PATHs given, and the files of each
// directory among them (with `recursive`, of its whole tree).
#pragma once

#include <string>
#include <vector>

namespace kivrel::cli {

struct WalkedFile {
    std::string path;
    bool named = false;  // given on the command line, not found in a directory
};

struct FolderWalk {
    // Files named, and the files of the directories that begin as an executable
    // does ("MZ"), in path order.
    std::vector<WalkedFile> files;
    // Paths that could not be looked at (missing, vanished, no access), with why.
    std::vector<std::pair<std::string, std::string>> failures;
};

// Each real directory is visited once however many links lead to it; FIFOs,
// devices and sockets are passed over without being opened.
FolderWalk WalkFolders(const std::vector<std::string>& paths, bool recursive);

}  // namespace kivrel::cli
