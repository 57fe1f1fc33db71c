#include "directory_text.h"

namespace kivrel {

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDrive(const std::string& path) {
    const char c = path.size() >= 2 ? path[0] : '\0';
    return path.size() >= 2 && path[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}
}  // namespace

bool IsFileSystemFolder(const std::string& folder) {
    return !folder.empty() && folder.compare(0, 2, "::") != 0;
}

std::string AbsoluteDirectory(const std::string& shownFolder, const std::string& typed) {
    if (typed.empty()) return IsFileSystemFolder(shownFolder) ? shownFolder : std::string();
    if (HasDrive(typed)) {
        // "C:" is the drive's root; "C:dir" depends on a hidden per-drive
        // directory and is not taken.
        return typed.size() == 2 || IsSeparator(typed[2]) ? typed : std::string();
    }
    if (IsSeparator(typed[0])) {
        if (typed.size() >= 2 && IsSeparator(typed[1])) return typed;  // UNC
        return HasDrive(shownFolder) ? shownFolder.substr(0, 2) + typed : std::string();
    }
    if (!IsFileSystemFolder(shownFolder)) return std::string();
    return IsSeparator(shownFolder.back()) ? shownFolder + typed : shownFolder + "\\" + typed;
}

std::string ParentDirectory(const std::string& path) {
    const size_t last = path.find_last_of('\\');
    if (last == std::string::npos) return std::string();
    // A root keeps its backslash.
    const bool root = last == 2 && HasDrive(path);
    return path.substr(0, root ? last + 1 : last);
}

std::string WithoutTrailingBackslash(std::string text) {
    if (!text.empty() && text.back() == '\\') text.pop_back();
    return text;
}

std::string SearchPattern(const std::string& directory) { return directory + "\\*.*"; }

}  // namespace kivrel
