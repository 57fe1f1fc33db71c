// Linux platform layer: mmap for the image, directory listings read once per
// scan for the search, options or environment for the Windows
// directories, and WINEPATH for the PATH step.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "directory_listing.h"
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

// Names are folded as Windows folds ASCII letters; other bytes stay as they are.
void ReadDirectory(const std::string& directory, CDirectoryListing& listing) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return;
    std::string folded;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        folded.assign(name);
        for (char& c : folded) c = FoldAscii(c);
        listing.Add(name, folded);
    }
    closedir(dir);
}

class CLinuxPlatform : public IScanPlatform {
public:
    explicit CLinuxPlatform(const PlatformOverrides& overrides) : m_overrides(overrides) {}

    char PathSeparator() const override { return '/'; }
    bool NamesAreCaseSensitive() const override { return true; }

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
        const CDirectoryListing& listing = m_listings.Get(directory);
        // The scan looks one pattern up in directory after directory.
        if (!m_bQueryValid || pattern != m_queryPattern) {
            CDirectoryListing::Prepare(ToLowerAscii(pattern), m_query);
            m_queryPattern = pattern;
            m_bQueryValid = true;
        }
        m_matches.clear();
        listing.Find(m_query, m_matches);
        m_names.clear();
        for (uint32_t entry : m_matches) m_names.push_back(listing.Name(entry));
        // Ascending byte order of the real names keeps the results reproducible.
        if (m_names.size() > 1) std::sort(m_names.begin(), m_names.end());
        std::string name;
        for (std::string_view match : m_names) {
            name.assign(match);
            if (!onMatch(name)) return;
        }
    }

    void BeginScan() override { m_listings.Clear(); }

private:
    std::string Configured(const std::optional<std::string>& option, const char* variable) {
        if (option) return *option;
        std::string value;
        return GetEnvironmentValue(variable, value) ? value : std::string();
    }

    PlatformOverrides m_overrides;
    CDirectoryListings m_listings{[](const std::string& directory, CDirectoryListing& listing) {
        ReadDirectory(directory, listing);
    }};
    std::string m_queryPattern;
    CDirectoryListing::Query m_query;
    bool m_bQueryValid = false;
    std::vector<uint32_t> m_matches;
    std::vector<std::string_view> m_names;
};

}  // namespace

std::unique_ptr<IScanPlatform> CreateNativePlatform(const PlatformOverrides& overrides) {
    return std::make_unique<CLinuxPlatform>(overrides);
}

}  // namespace kivrel
