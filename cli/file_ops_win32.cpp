#include <windows.h>

#include <climits>
#include <cstring>
#include <memory>

#include "file_ops.h"
#include "handle.h"
#include "path_text.h"

namespace kivrel::cli {

namespace {
bool Fail(std::string& error) {
    const DWORD code = GetLastError();
    char text[512] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    error.assign(text, length);
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r' || error.back() == '.'))
        error.pop_back();
    if (error.empty()) error = "error " + std::to_string(code);
    return false;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Opens for reading attributes (directories too), or for reading data.
CFileHandle Open(const std::string& path, DWORD access) {
    return CFileHandle(CreateFileA(path.c_str(), access,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// Reads until `size` bytes are in or the file ends; false on a read error.
bool ReadFull(HANDLE file, char* buffer, DWORD size, DWORD& total) {
    total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + total, size - total, &got, nullptr)) return false;
        if (got == 0) break;
        total += got;
    }
    return true;
}

constexpr DWORD kChunk = 1 << 16;
}  // namespace

FileKind KindOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::MISSING;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::DIRECTORY : FileKind::OTHER;
}

bool CreateDirectories(const std::string& path, std::string& error) {
    // Each prefix that ends before a separator, then the whole path; a drive
    // ("C:") or a server share cannot be created and is expected to exist.
    for (size_t end = 0; end <= path.size(); ++end) {
        if (end < path.size() && !IsSeparator(path[end])) continue;
        const std::string prefix = path.substr(0, end);
        if (prefix.empty() || prefix.back() == ':' || KindOf(prefix) == FileKind::DIRECTORY) {
            continue;
        }
        if (!CreateDirectoryA(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
            KindOf(prefix) == FileKind::MISSING) {
            return Fail(error);
        }
    }
    if (KindOf(path) != FileKind::DIRECTORY) {
        error = "not a directory";
        return false;
    }
    return true;
}

bool ListDirectory(const std::string& directory, std::vector<std::string>& names,
                   std::string& error, std::vector<bool>* regular) {
    std::string pattern = directory;
    if (!pattern.empty() && !IsSeparator(pattern.back())) pattern += kivrel::kPathSeparator;
    pattern += '*';
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA(pattern.c_str(), &data));
    if (!find) return Fail(error);
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        names.push_back(name);
        constexpr DWORD kNotPlain =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        if (regular) regular->push_back((data.dwFileAttributes & kNotPlain) == 0);
    } while (FindNextFileA(find.Get(), &data));
    return GetLastError() == ERROR_NO_MORE_FILES || Fail(error);
}

bool ReadFileStart(const std::string& path, char* buffer, size_t size, size_t& got,
                   std::string& error) {
    const CFileHandle file = Open(path, GENERIC_READ);
    if (!file) return Fail(error);
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error = "not a regular file";
        return false;
    }
    DWORD total = 0;
    if (!ReadFull(file.Get(), buffer, static_cast<DWORD>(size), total)) return Fail(error);
    got = total;
    return true;
}

bool Identify(const std::string& path, FileIdentity& identity, std::string& error) {
    const CFileHandle file = Open(path, 0);
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.Get(), &info)) return Fail(error);
    const DWORD type = GetFileType(file.Get());
    identity.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileIdentity::DIRECTORY
                    : type == FILE_TYPE_DISK                           ? FileIdentity::REGULAR
                                                                       : FileIdentity::SPECIAL;
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool LookIntoDirectory(const std::string& directory,
                       const std::function<void(const DirectoryEntry&)>& visit,
                       std::string& error) {
    std::vector<std::string> names;
    std::vector<bool> regular;
    if (!ListDirectory(directory, names, error, &regular)) return false;
    std::string prefix = directory;
    if (!prefix.empty() && !IsSeparator(prefix.back())) prefix += kivrel::kPathSeparator;
    DirectoryEntry entry;
    for (size_t i = 0; i < names.size(); ++i) {
        entry.name = names[i];
        entry.identity = FileIdentity{};
        entry.identity.kind = FileIdentity::REGULAR;
        entry.startSize = 0;
        entry.error.clear();
        const std::string path = prefix + names[i];
        if ((regular[i] || Identify(path, entry.identity, entry.error)) &&
            entry.identity.kind == FileIdentity::REGULAR) {
            ReadFileStart(path, entry.start, sizeof entry.start, entry.startSize, entry.error);
        }
        visit(entry);
    }
    return true;
}

bool CanList(const std::string& directory, std::string& error) {
    std::string pattern = directory;
    if (!pattern.empty() && !IsSeparator(pattern.back())) pattern += kivrel::kPathSeparator;
    pattern += '*';
    WIN32_FIND_DATAA data;
    const CFindHandle find(FindFirstFileA(pattern.c_str(), &data));
    // An empty directory still lists "." and ".."; a root may list nothing at all.
    return find || GetLastError() == ERROR_FILE_NOT_FOUND || Fail(error);
}

std::string WhyUnreadable(const std::string& path) {
    std::string error;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Fail(error), error;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "Is a directory";
    const CFileHandle file = Open(path, GENERIC_READ);
    if (!file) return Fail(error), error;
    LARGE_INTEGER size;
    return GetFileSizeEx(file.Get(), &size) && size.QuadPart == 0 ? "empty file" : "";
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return path;
    const DWORD length = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::string absolute(length, '\0');
    const DWORD written = GetFullPathNameA(path.c_str(), length, &absolute[0], nullptr);
    if (written == 0 || written >= length) return path;
    absolute.resize(written);
    return absolute;
}

std::string NarrowToUtf8(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX / 3) return text;
    const int size = static_cast<int>(text.size());
    std::wstring wide(text.size(), L'\0');
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], size);
    if (wideLength <= 0) return text;
    // At most three UTF-8 bytes for each UTF-16 unit.
    std::string utf8(static_cast<size_t>(wideLength) * 3, '\0');
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0],
                                           static_cast<int>(utf8.size()), nullptr, nullptr);
    if (length <= 0) return text;
    utf8.resize(static_cast<size_t>(length));
    return utf8;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    const CFileHandle first = Open(a, 0);
    const CFileHandle second = Open(b, 0);
    BY_HANDLE_FILE_INFORMATION left, right;
    return first && second && GetFileInformationByHandle(first.Get(), &left) &&
           GetFileInformationByHandle(second.Get(), &right) &&
           left.dwVolumeSerialNumber == right.dwVolumeSerialNumber &&
           left.nFileIndexHigh == right.nFileIndexHigh && left.nFileIndexLow == right.nFileIndexLow;
}

bool HaveSameContents(const std::string& a, const std::string& b) {
    const CFileHandle first = Open(a, GENERIC_READ);
    const CFileHandle second = Open(b, GENERIC_READ);
    LARGE_INTEGER firstSize, secondSize;
    if (!first || !second || !GetFileSizeEx(first.Get(), &firstSize) ||
        !GetFileSizeEx(second.Get(), &secondSize) || firstSize.QuadPart != secondSize.QuadPart) {
        return false;
    }
    std::unique_ptr<char[]> left(new char[kChunk]), right(new char[kChunk]);
    for (;;) {
        DWORD got = 0, other = 0;
        if (!ReadFull(first.Get(), left.get(), kChunk, got) ||
            !ReadFull(second.Get(), right.get(), kChunk, other) || got != other) {
            return false;
        }
        if (got == 0) return true;
        if (std::memcmp(left.get(), right.get(), got) != 0) return false;
    }
}

bool CopyReplacing(const std::string& source, const std::string& destination, std::string& error) {
    size_t nameAt = destination.find_last_of("\\/:");
    nameAt = nameAt == std::string::npos ? 0 : nameAt + 1;
    const std::string temporary =
        destination.substr(0, nameAt) + "." + destination.substr(nameAt) + ".kivrel-copy";
    if (!CopyFileA(source.c_str(), temporary.c_str(), FALSE)) return Fail(error);
    // A read-only source would make the copy impossible to replace later.
    const DWORD attributes = GetFileAttributesA(temporary.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesA(temporary.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    }
    if (!MoveFileExA(temporary.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        Fail(error);
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace kivrel::cli
