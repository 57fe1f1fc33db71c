// Path text shared by the scan core, the command line and the Windows program:
// the separator, the file name of a path and the 260-character limit of the
// Windows narrow-character interfaces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kivrel {

// Paths and names live in buffers of this many characters, the terminating
// zero included; a text of kMaxPath characters or more does not fit.
constexpr size_t kMaxPath = 260;

inline bool FitsPathBuffer(std::string_view text) { return text.size() < kMaxPath; }

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
// On Windows '/' also separates, and ':' ends a drive.
constexpr const char* kPathSeparators = "\\/:";
#else
constexpr char kPathSeparator = '/';
constexpr const char* kPathSeparators = "/";
#endif

// The file name part of a path: what follows its last separator.
inline std::string FileNameOf(const std::string& path) {
    const size_t end = path.find_last_of(kPathSeparators);
    return end == std::string::npos ? path : path.substr(end + 1);
}

}  // namespace kivrel
