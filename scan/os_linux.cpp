// Linux platform layer: mmap for the image, a cached case-insensitive
// directory listing for the search, options or environment for the Windows
// directories, and WINEPATH for the PATH step.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string_view>
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

// One directory's entries, read once per scan; the names live in one buffer,
// each entry's folded name followed by its real name. Two open-addressing
// hashes find them: one by whole folded name, one by every folded prefix that
// ends in '.', for the pattern "name.*" of an extension-less import. Any
// other pattern is matched against every entry.
class DirectoryListing {
public:
    void Add(std::string_view name) {
        const size_t offset = m_text.size();
        m_entries.push_back(
            Entry{static_cast<uint32_t>(offset), static_cast<uint32_t>(name.size())});
        m_text.resize(offset + 2 * name.size());
        for (size_t i = 0; i < name.size(); ++i) m_text[offset + i] = FoldAscii(name[i]);
        name.copy(&m_text[offset + name.size()], name.size());
    }

    // Call once all entries are added.
    void Index() {
        size_t stems = 0;
        for (uint32_t i = 0; i < m_entries.size(); ++i) {
            const std::string_view folded = Folded(i);
            stems += static_cast<size_t>(std::count(folded.begin(), folded.end(), '.'));
        }
        m_byName.Reserve(m_entries.size());
        m_byStem.Reserve(stems);
        for (uint32_t i = 0; i < m_entries.size(); ++i) {
            const std::string_view folded = Folded(i);
            m_byName.Insert(folded, Key{i, static_cast<uint32_t>(folded.size())});
            for (size_t dot = folded.find('.'); dot != std::string_view::npos;
                 dot = folded.find('.', dot + 1)) {
                m_byStem.Insert(folded.substr(0, dot + 1), Key{i, static_cast<uint32_t>(dot + 1)});
            }
        }
    }

    // A pattern prepared once for all the directories it is looked up in.
    struct Query {
        enum Kind { NAME, STEM, OTHER } kind = OTHER;
        std::string folded;  // the pattern, or for a stem its part before the '*'
        size_t hash = 0;
    };

    static void Prepare(const std::string& pattern, Query& query) {
        query.folded.assign(pattern);
        for (char& c : query.folded) c = FoldAscii(c);
        const size_t wildcard = query.folded.find_first_of("*?");
        if (wildcard == std::string::npos) {
            query.kind = Query::NAME;
        } else if (wildcard + 1 == query.folded.size() && query.folded.back() == '*' &&
                   wildcard > 0 && query.folded[wildcard - 1] == '.') {
            query.kind = Query::STEM;
            query.folded.pop_back();
        } else {
            query.kind = Query::OTHER;
        }
        query.hash = KeyTable::Hash(query.folded);
    }

    // Real names of the entries that match the query.
    void Find(const Query& query, std::vector<std::string_view>& names) const {
        switch (query.kind) {
            case Query::NAME:
                m_byName.Find(*this, query.folded, query.hash, names);
                break;
            case Query::STEM:
                m_byStem.Find(*this, query.folded, query.hash, names);
                break;
            case Query::OTHER:
                for (uint32_t i = 0; i < m_entries.size(); ++i) {
                    if (MatchesWildcardNoCase(query.folded, Folded(i))) names.push_back(Name(i));
                }
        }
    }

private:
    struct Entry {
        uint32_t offset;
        uint32_t length;
    };
    // The first `length` folded characters of entry `entry`.
    struct Key {
        uint32_t entry;
        uint32_t length;
    };

    class KeyTable {
    public:
        static size_t Hash(std::string_view key) { return std::hash<std::string_view>{}(key); }

        void Reserve(size_t count) {
            size_t capacity = 16;
            while (capacity < 2 * count) capacity *= 2;  // at most half full
            m_slots.assign(capacity, Key{kNone, 0});
        }
        void Insert(std::string_view key, Key value) {
            size_t slot = Hash(key) & (m_slots.size() - 1);
            while (m_slots[slot].entry != kNone) slot = (slot + 1) & (m_slots.size() - 1);
            m_slots[slot] = value;
        }
        void Find(const DirectoryListing& listing, std::string_view key, size_t hash,
                  std::vector<std::string_view>& names) const {
            if (m_slots.empty()) return;
            for (size_t slot = hash & (m_slots.size() - 1); m_slots[slot].entry != kNone;
                 slot = (slot + 1) & (m_slots.size() - 1)) {
                const Key& candidate = m_slots[slot];
                if (candidate.length == key.size() &&
                    listing.Folded(candidate.entry).substr(0, key.size()) == key) {
                    names.push_back(listing.Name(candidate.entry));
                }
            }
        }

    private:
        static constexpr uint32_t kNone = UINT32_MAX;
        std::vector<Key> m_slots;
    };

    std::string_view Folded(uint32_t i) const {
        return {m_text.data() + m_entries[i].offset, m_entries[i].length};
    }
    std::string_view Name(uint32_t i) const {
        return {m_text.data() + m_entries[i].offset + m_entries[i].length, m_entries[i].length};
    }

    std::string m_text;
    std::vector<Entry> m_entries;
    KeyTable m_byName;
    KeyTable m_byStem;
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
        // The scan looks one pattern up in directory after directory.
        if (!m_bQueryValid || pattern != m_queryPattern) {
            DirectoryListing::Prepare(pattern, m_query);
            m_queryPattern = pattern;
            m_bQueryValid = true;
        }
        std::vector<std::string_view> matches;
        listing.Find(m_query, matches);
        // Ascending byte order of the real names keeps the results reproducible.
        if (matches.size() > 1) std::sort(matches.begin(), matches.end());
        std::string name;
        for (std::string_view match : matches) {
            name.assign(match);
            if (!onMatch(name)) return;
        }
    }

    void BeginScan() override {
        m_listings.clear();
        m_searchOrder.clear();
        m_nNextInOrder = 0;
    }

private:
    std::string Configured(const std::optional<std::string>& option, const char* variable) {
        if (option) return *option;
        std::string value;
        return GetEnvironmentValue(variable, value) ? value : std::string();
    }

    // Each directory is listed once per scan. The scan asks for the
    // directories in search order for each name, so the one after the last
    // asked, or else the first, is nearly always the one wanted: comparing it
    // spares hashing the directory text on every one of the searches.
    const DirectoryListing& List(const std::string& directory) {
        for (size_t guess : {m_nNextInOrder, size_t(0)}) {
            if (guess < m_searchOrder.size() && *m_searchOrder[guess].first == directory) {
                m_nNextInOrder = guess + 1;
                return *m_searchOrder[guess].second;
            }
        }
        auto found = m_listings.find(directory);
        if (found != m_listings.end()) {
            m_nNextInOrder = found->second.position + 1;
            return found->second.listing;
        }
        auto added = m_listings.emplace(directory, Listed{}).first;
        Listed& listed = added->second;
        listed.position = m_searchOrder.size();
        m_searchOrder.emplace_back(&added->first, &listed.listing);
        m_nNextInOrder = m_searchOrder.size();
        if (DIR* dir = opendir(directory.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string_view name = entry->d_name;
                if (name == "." || name == "..") continue;
                listed.listing.Add(name);
            }
            closedir(dir);
        }
        listed.listing.Index();
        return listed.listing;
    }

    struct Listed {
        DirectoryListing listing;
        size_t position = 0;  // in m_searchOrder
    };

    PlatformOverrides m_overrides;
    // Node-based, so that the pointers of m_searchOrder stay valid.
    std::unordered_map<std::string, Listed> m_listings;
    // The directories in the order first asked for.
    std::vector<std::pair<const std::string*, const DirectoryListing*>> m_searchOrder;
    size_t m_nNextInOrder = 0;
    std::string m_queryPattern;
    DirectoryListing::Query m_query;
    bool m_bQueryValid = false;
};

}  // namespace

std::unique_ptr<IScanPlatform> CreateNativePlatform(const PlatformOverrides& overrides) {
    return std::make_unique<CLinuxPlatform>(overrides);
}

}  // namespace kivrel
