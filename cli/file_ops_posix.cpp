#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "file_ops.h"

namespace kivrel::cli {

namespace {
bool Fail(std::string& error) {
    error = std::strerror(errno);
    return false;
}

// Closes a descriptor once, whatever way the function leaves.
class CDescriptor {
public:
    explicit CDescriptor(int fd) : m_fd(fd) {}
    ~CDescriptor() {
        if (m_fd >= 0) close(m_fd);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now, reporting what close reports (a write error can show up here).
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

ssize_t ReadSome(int fd, char* buffer, size_t size) {
    ssize_t got;
    do {
        got = read(fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

// Reads until `size` bytes are in or the file ends; returns the count, -1 on error.
ssize_t ReadFull(int fd, char* buffer, size_t size) {
    size_t total = 0;
    while (total < size) {
        const ssize_t got = ReadSome(fd, buffer + total, size - total);
        if (got < 0) return -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

void KindFrom(const struct stat& info, FileIdentity& identity) {
    identity.kind = S_ISREG(info.st_mode)   ? FileIdentity::REGULAR
                    : S_ISDIR(info.st_mode) ? FileIdentity::DIRECTORY
                                            : FileIdentity::SPECIAL;
    identity.volume = static_cast<uint64_t>(info.st_dev);
    identity.file = static_cast<uint64_t>(info.st_ino);
}

constexpr size_t kChunk = 1 << 16;
}  // namespace

FileKind KindOf(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return FileKind::MISSING;
    return S_ISDIR(info.st_mode) ? FileKind::DIRECTORY : FileKind::OTHER;
}

bool CreateDirectories(const std::string& path, std::string& error) {
    // Each prefix that ends before a separator, then the whole path.
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            return Fail(error);
        }
        if (end == std::string::npos) break;
    }
    if (KindOf(path) != FileKind::DIRECTORY) {
        error = "not a directory";
        return false;
    }
    return true;
}

bool ListDirectory(const std::string& directory, std::vector<std::string>& names,
                   std::string& error, std::vector<bool>* regular) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    if (!dir) return Fail(error);
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
            if (regular) regular->push_back(entry->d_type == DT_REG);
        }
        errno = 0;
    }
    return errno == 0 || Fail(error);
}

bool ReadFileStart(const std::string& path, char* buffer, size_t size, size_t& got,
                   std::string& error) {
    // Non-blocking: a FIFO put in the file's place must not hold the walk.
    CDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) return Fail(error);
    const ssize_t read = ReadSome(file.Get(), buffer, size);
    if (read < 0) return Fail(error);
    got = static_cast<size_t>(read);
    return true;
}

bool Identify(const std::string& path, FileIdentity& identity, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return Fail(error);
    KindFrom(info, identity);
    return true;
}

bool LookIntoDirectory(const std::string& directory,
                       const std::function<void(const DirectoryEntry&)>& visit,
                       std::string& error) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    if (!dir) return Fail(error);
    const int at = dirfd(dir.get());
    DirectoryEntry entry;
    errno = 0;
    while (const dirent* listed = readdir(dir.get())) {
        entry.name = listed->d_name;
        if (entry.name != "." && entry.name != "..") {
            entry.identity = FileIdentity{};
            entry.startSize = 0;
            entry.error.clear();
            struct stat info {};
            bool known = true;
            if (listed->d_type == DT_REG) {
                entry.identity.kind = FileIdentity::REGULAR;
            } else if (fstatat(at, entry.name.c_str(), &info, 0) == 0) {
                KindFrom(info, entry.identity);
            } else {
                known = Fail(entry.error);
            }
            if (known && entry.identity.kind == FileIdentity::REGULAR) {
                // Non-blocking: a FIFO put in the file's place must not hold the walk.
                CDescriptor file(
                    openat(at, entry.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
                const ssize_t got =
                    file.Get() < 0 ? -1 : ReadSome(file.Get(), entry.start, sizeof entry.start);
                if (got < 0) {
                    Fail(entry.error);
                } else {
                    entry.startSize = static_cast<size_t>(got);
                }
            }
            visit(entry);
        }
        errno = 0;
    }
    return errno == 0 || Fail(error);
}

bool CanList(const std::string& directory, std::string& error) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    return dir || Fail(error);
}

std::string WhyUnreadable(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    if (info.st_size == 0) return "empty file";
    const CDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    return file.Get() < 0 ? std::strerror(errno) : "";
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::unique_ptr<char, void (*)(void*)> directory(getcwd(nullptr, 0), std::free);
    if (!directory) return path;
    // "./name" names the same file as "name": the search order reads better without it.
    size_t start = 0;
    while (path.compare(start, 2, "./") == 0) start += 2;
    std::string absolute = directory.get();
    if (absolute.back() != '/') absolute += '/';
    return absolute + path.substr(start);
}

std::string NarrowToUtf8(const std::string& text) { return text; }

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool HaveSameContents(const std::string& a, const std::string& b) {
    CDescriptor first(open(a.c_str(), O_RDONLY | O_CLOEXEC));
    CDescriptor second(open(b.c_str(), O_RDONLY | O_CLOEXEC));
    if (first.Get() < 0 || second.Get() < 0) return false;
    struct stat firstInfo, secondInfo;
    if (fstat(first.Get(), &firstInfo) != 0 || fstat(second.Get(), &secondInfo) != 0 ||
        firstInfo.st_size != secondInfo.st_size) {
        return false;
    }
    std::unique_ptr<char[]> left(new char[kChunk]), right(new char[kChunk]);
    for (;;) {
        const ssize_t got = ReadFull(first.Get(), left.get(), kChunk);
        if (got < 0 || ReadFull(second.Get(), right.get(), kChunk) != got) return false;
        if (got == 0) return true;
        if (std::memcmp(left.get(), right.get(), static_cast<size_t>(got)) != 0) return false;
    }
}

bool CopyReplacing(const std::string& source, const std::string& destination, std::string& error) {
    CDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return Fail(error);
    struct stat info;
    if (fstat(in.Get(), &info) != 0) return Fail(error);
    const size_t slash = destination.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string temporary =
        destination.substr(0, nameAt) + "." + destination.substr(nameAt) + ".kivrel-copy";
    CDescriptor out(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                         info.st_mode & 0777));
    if (out.Get() < 0) return Fail(error);
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    bool ok = true;
    for (;;) {
        const ssize_t got = ReadSome(in.Get(), buffer.get(), kChunk);
        if (got == 0) break;
        if (got < 0 || !WriteAll(out.Get(), buffer.get(), static_cast<size_t>(got))) {
            ok = false;
            break;
        }
    }
    if (ok) ok = out.Close() && rename(temporary.c_str(), destination.c_str()) == 0;
    if (!ok) {
        const int reason = errno;
        unlink(temporary.c_str());
        errno = reason;
        return Fail(error);
    }
    return true;
}

}  // namespace kivrel::cli
