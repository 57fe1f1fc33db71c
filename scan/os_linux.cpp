// Linux platform layer: mmap for the image, a cached case-insensitive
// directory listing for the search, options or environment for the Windows
// directories, and WINEPATH for the PATH step.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "mapped_file.h"
#include "platform.h"
#include "text.h"

namespace kivrel {

namespace {
constexpr intptr_t kInvalidFile = -1;
}

CMappedFile::CMappedFile(const char* path) : m_hFile(kInvalidFile), m_hMapping(0) {
    // Only regular files are opened: a FIFO, socket or device named like a
    // module must neither block the scan nor be touched at all.
    struct stat info {};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_nOpenError = MAP_OPEN_FAILED;
        return;
    }
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        m_nOpenError = MAP_OPEN_FAILED;
        return;
    }
    m_hFile = fd;
    // Checked again on the open descriptor: the name may have been replaced.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        Release();
        m_nOpenError = MAP_OPEN_FAILED;
        return;
    }
    m_dwFileSize = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size));
    if (info.st_size <= 0) {
        Release();
        m_nOpenError = MAP_MAPPING_FAILED;  // an empty file cannot be mapped
        return;
    }
    if (static_cast<uint64_t>(info.st_size) > SIZE_MAX) {
        Release();
        m_nOpenError = MAP_VIEW_FAILED;
        return;
    }
    m_nViewLength = static_cast<size_t>(info.st_size);
    void* view = mmap(nullptr, m_nViewLength, PROT_READ, MAP_PRIVATE, fd, 0);
    if (view == MAP_FAILED) {
        m_nViewLength = 0;
        Release();
        m_nOpenError = MAP_VIEW_FAILED;
        return;
    }
    m_pView = static_cast<const uint8_t*>(view);
}

CMappedFile::~CMappedFile() { Release(); }

void CMappedFile::Release() {
    if (m_pView != nullptr) munmap(const_cast<uint8_t*>(m_pView), m_nViewLength);
    m_pView = nullptr;
    m_nViewLength = 0;
    if (m_hFile != kInvalidFile) close(static_cast<int>(m_hFile));
    m_hFile = kInvalidFile;
}

namespace {

// One directory's entries, sorted by lower-cased name so that a name or a
// name prefix is found by binary search.
struct DirectoryListing {
    std::vector<std::pair<std::string, std::string>> entries;  // (folded, name)
};

class CLinuxPlatform : public IScanPlatform {
public:
    explicit CLinuxPlatform(const PlatformOverrides& overrides) : m_overrides(overrides) {}

    char PathSeparator() const override { return '/'; }

    std::string SystemDirectory() override {
        return Configured(m_overrides.systemDirectory, "KIVREL_SYSTEM_DIR");
    }
    std::string WindowsDirectory() override {
        return Configured(m_overrides.windowsDirectory, "KIVREL_WINDOWS_DIR");
    }

    bool GetPathList(std::string& value) override {
        if (m_overrides.pathList) {
            value = *m_overrides.pathList;
            return !value.empty();
        }
        return GetEnvironmentValue("WINEPATH", value);
    }

    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        const char* text = std::getenv(name.c_str());
        if (text == nullptr || *text == '\0') return false;
        value = text;
        return true;
    }

    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override {
        const DirectoryListing& listing = List(directory);
        const std::string folded = ToLowerAscii(pattern);
        const size_t wildcard = folded.find_first_of("*?");
        // Candidates share the pattern's literal beginning; the rest of the
        // pattern is checked on each.
        const std::string literal = folded.substr(0, wildcard);
        auto it = std::lower_bound(listing.entries.begin(), listing.entries.end(), literal,
                                   [](const auto& entry, const std::string& key) { return entry.first < key; });
        std::vector<const std::string*> matches;
        for (; it != listing.entries.end() && it->first.compare(0, literal.size(), literal) == 0; ++it) {
            if (wildcard == std::string::npos ? it->first == folded
                                              : MatchesWildcardNoCase(folded, it->first)) {
                matches.push_back(&it->second);
            }
        }
        // Ascending byte order of the real names keeps the results reproducible.
        std::sort(matches.begin(), matches.end(),
                  [](const std::string* a, const std::string* b) { return *a < *b; });
        for (const std::string* name : matches) {
            if (!onMatch(*name)) return;
        }
    }

    void BeginScan() override { m_listings.clear(); }

private:
    std::string Configured(const std::optional<std::string>& option, const char* variable) {
        if (option) return *option;
        std::string value;
        return GetEnvironmentValue(variable, value) ? value : std::string();
    }

    // Each directory is listed once per scan.
    const DirectoryListing& List(const std::string& directory) {
        auto found = m_listings.find(directory);
        if (found != m_listings.end()) return found->second;
        DirectoryListing& listing = m_listings[directory];
        if (DIR* dir = opendir(directory.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name == "." || name == "..") continue;
                listing.entries.emplace_back(ToLowerAscii(name), name);
            }
            closedir(dir);
        }
        std::sort(listing.entries.begin(), listing.entries.end());
        return listing;
    }

    PlatformOverrides m_overrides;
    std::unordered_map<std::string, DirectoryListing> m_listings;
};

}  // namespace

std::unique_ptr<IScanPlatform> CreateNativePlatform(const PlatformOverrides& overrides) {
    return std::make_unique<CLinuxPlatform>(overrides);
}

}  // namespace kivrel
