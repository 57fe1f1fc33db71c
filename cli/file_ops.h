// The few file operations that --copy-to, --audit and the notes need, on
// narrow paths in the system code page (POSIX calls on Linux, the Win32 "A"
// calls on Windows). Each failing call puts a readable reason into `error`.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kivrel::cli {

enum class FileKind { MISSING, DIRECTORY, OTHER };

FileKind KindOf(const std::string& path);
// Creates `path` and any missing parent directories.
bool CreateDirectories(const std::string& path, std::string& error);
// The names of the entries of `directory`, "." and ".." left out. With
// `regular`, also whether the listing itself says that an entry is a regular
// file (false: another kind, a link, or the file system does not say).
bool ListDirectory(const std::string& directory, std::vector<std::string>& names,
                   std::string& error, std::vector<bool>* regular = nullptr);
// Reads up to `size` bytes from the start of the file into `buffer`.
bool ReadFileStart(const std::string& path, char* buffer, size_t size, size_t& got,
                   std::string& error);
// What a path names (links followed), and where it is on disk.
struct FileIdentity {
    enum Kind { REGULAR, DIRECTORY, SPECIAL } kind = SPECIAL;  // SPECIAL: a FIFO, device ...
    uint64_t volume = 0;
    uint64_t file = 0;
    bool SameFileAs(const FileIdentity& other) const {
        return volume == other.volume && file == other.file;
    }
};
// False, with the reason, when the path cannot be looked at (missing, no access).
bool Identify(const std::string& path, FileIdentity& identity, std::string& error);

// One entry of a directory as an audit's walk looks at it.
struct DirectoryEntry {
    std::string name;
    FileIdentity identity;  // links followed; volume and file only for a directory
    char start[2] = {};     // a regular file's first bytes, `startSize` of them
    size_t startSize = 0;
    std::string error;  // why the entry could not be looked at, or ""
};
// Lists `directory` ("." and ".." left out) and looks at each entry through
// the open directory: on POSIX no path is walked again per entry, which is
// most of the cost of a tree of many small files.
bool LookIntoDirectory(const std::string& directory,
                       const std::function<void(const DirectoryEntry&)>& visit, std::string& error);

// True when the directory can be opened for listing.
bool CanList(const std::string& directory, std::string& error);
// Why the file cannot be read as a module, in the system's words ("No such
// file or directory", "Is a directory", "empty file"); "" when nothing is found.
std::string WhyUnreadable(const std::string& path);
// `path` made absolute against the current directory; unchanged if it is
// absolute or empty, or the current directory is unknown.
std::string AbsolutePath(const std::string& path);
// Text in the narrow code page as UTF-8: converted from the ANSI code page
// on Windows, unchanged elsewhere (names there are bytes).
std::string NarrowToUtf8(const std::string& text);
// True when both paths exist and name the same file or directory on disk.
bool IsSameFile(const std::string& a, const std::string& b);
// True when both files can be read and hold the same bytes.
bool HaveSameContents(const std::string& a, const std::string& b);
// Copies `source` to `destination` through a temporary file beside the
// destination, so that a failure leaves any earlier file in place, whole.
bool CopyReplacing(const std::string& source, const std::string& destination, std::string& error);

}  // namespace kivrel::cli
