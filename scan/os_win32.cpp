// Win32 platform layer: the file mapping calls, directory listings read once
// per scan for the search (or FindFirstFileA per search, to compare against),
// the system's own directories and the process environment.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "../framework/handle.h"
#include "directory_listing.h"
#include "mapped_file.h"
#include "platform.h"
#include "text.h"

namespace kivrel {

namespace {
const intptr_t kInvalidFile = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
}  // namespace

CMappedFile::CMappedFile(const char* path) : m_hFile(kInvalidFile), m_hMapping(0) {
    // Sharing read access only: a file another process holds open for writing
    // fails to open, and no one can change the file while it is mapped.
    CFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    // Pipes, consoles and devices are not modules, and reading one may block.
    if (!file || GetFileType(file.Get()) != FILE_TYPE_DISK) {
        m_nOpenError = MAP_OPEN_FAILED;
        return;
    }
    // Only the low 32 bits: they never exceed the bytes a whole-file view holds.
    m_dwFileSize = GetFileSize(file.Get(), nullptr);
    CKernelHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) {
        m_nOpenError = MAP_MAPPING_FAILED;
        return;
    }
    const void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) {
        m_nOpenError = MAP_VIEW_FAILED;
        return;
    }
    m_pView = static_cast<const uint8_t*>(view);
    m_hFile = reinterpret_cast<intptr_t>(file.Detach());
    m_hMapping = reinterpret_cast<intptr_t>(mapping.Detach());
}

CMappedFile::~CMappedFile() { Release(); }

void CMappedFile::Release() {
    if (m_pView != nullptr) UnmapViewOfFile(m_pView);
    m_pView = nullptr;
    // Taken back into owners that close them.
    const CKernelHandle mapping(AsHandle(std::exchange(m_hMapping, 0)));
    const CFileHandle file(AsHandle(std::exchange(m_hFile, kInvalidFile)));
}

namespace {

// Names compared as the file system compares them: the narrow name read in the
// file functions' code page and upper-cased character by character, kept as
// UTF-8 so that a '.' is always a byte of its own.
class CNameFolder {
public:
    void Fold(std::string_view name, std::string& folded) {
        folded.clear();
        if (name.empty()) return;
        const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
        m_wide.resize(name.size());
        m_upper.resize(name.size());
        const int length =
            MultiByteToWideChar(codePage, 0, name.data(), static_cast<int>(name.size()),
                                m_wide.data(), static_cast<int>(m_wide.size()));
        if (length <= 0 || LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, m_wide.data(), length,
                                        m_upper.data(), length) != length) {
            folded = ToLowerAscii(name);  // not text of the code page: bytes as they are
            return;
        }
        const int bytes =
            WideCharToMultiByte(CP_UTF8, 0, m_upper.data(), length, nullptr, 0, nullptr, nullptr);
        folded.resize(static_cast<size_t>(bytes > 0 ? bytes : 0));
        WideCharToMultiByte(CP_UTF8, 0, m_upper.data(), length, folded.data(), bytes, nullptr,
                            nullptr);
    }

private:
    std::wstring m_wide;
    std::wstring m_upper;
};

// True when `name` could be a short (8.3) name: at most eight characters, and
// at most one '.' followed by at most three. Only such names are looked up
// among the short aliases.
bool MayBeShortName(std::string_view name) {
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos) return !name.empty() && name.size() <= 8;
    return dot > 0 && dot <= 8 && name.size() - dot - 1 <= 3 &&
           name.find('.', dot + 1) == std::string_view::npos;
}

// True when the platform takes `name` for a device (NUL, CON, COM1 ..., with
// any extension) wherever it stands: its own search answers those.
bool IsDeviceName(std::string_view name) {
    std::string base = ToLowerAscii(name.substr(0, name.find('.')));
    base.erase(base.find_last_not_of(' ') + 1);
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

class CWin32Platform : public IScanPlatform {
public:
    CWin32Platform(const PlatformOverrides& overrides, bool bPatternSearch)
        : m_overrides(overrides), m_bPatternSearch(bPatternSearch) {}

    char PathSeparator() const override { return '\\'; }

    std::string SystemDirectory() override {
        if (m_overrides.systemDirectory) return *m_overrides.systemDirectory;
        char buffer[kMaxPath];
        const UINT length = GetSystemDirectoryA(buffer, kMaxPath);
        return length > 0 && length < kMaxPath ? std::string(buffer, length) : std::string();
    }

    std::string WindowsDirectory() override {
        if (m_overrides.windowsDirectory) return *m_overrides.windowsDirectory;
        char buffer[kMaxPath];
        const UINT length = GetWindowsDirectoryA(buffer, kMaxPath);
        return length > 0 && length < kMaxPath ? std::string(buffer, length) : std::string();
    }

    bool GetPathList(std::string& value) override {
        if (m_overrides.pathList) {
            value = *m_overrides.pathList;
            return !value.empty();
        }
        const char* text = std::getenv("PATH");
        if (text == nullptr || *text == '\0') return false;
        value = text;
        return true;
    }

    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
        if (size == 0) return false;
        std::string buffer(size, '\0');
        const DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), size);
        if (length == 0 || length >= size) return false;  // changed or emptied meanwhile
        buffer.resize(length);
        value = std::move(buffer);
        return true;
    }

    bool IsLeadByte(char c) const override { return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }

    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override {
        if (m_bPatternSearch) {
            PatternSearch(directory, pattern, onMatch);
            return;
        }
        // The scan looks one pattern up in directory after directory.
        if (!m_bQueryValid || pattern != m_queryPattern) {
            Prepare(pattern);
            m_queryPattern = pattern;
            m_bQueryValid = true;
        }
        if (m_query.kind == Query::ANY) {
            PatternSearch(directory, pattern, onMatch);
            return;
        }
        if (m_query.kind == Query::NONE) return;
        const CDirectoryListing& listing =
            (m_query.bAliases ? m_withAliases : m_namesOnly).Get(directory);
        m_matches.clear();
        listing.Find(m_query.main, m_matches);
        if (m_query.bBare) listing.Find(m_query.bare, m_matches);
        // Entry numbers are the platform's enumeration order.
        std::sort(m_matches.begin(), m_matches.end());
        m_matches.erase(std::unique(m_matches.begin(), m_matches.end()), m_matches.end());
        std::string name;
        for (uint32_t entry : m_matches) {
            name.assign(listing.Name(entry));
            if (!onMatch(name)) return;
        }
    }

    void BeginScan() override {
        m_namesOnly.Clear();
        m_withAliases.Clear();
    }

private:
    // A pattern as FindFirstFileA reads it: a name (trailing dots and spaces
    // dropped, as the path functions drop them), or "stem.*", which matches
    // the names that begin with "stem." and the name "stem" itself. Anything
    // else, and a device name, goes to the platform's own search.
    struct Query {
        enum Kind { NAME, STEM, NONE, ANY } kind = NONE;
        CDirectoryListing::Query main;
        CDirectoryListing::Query bare;  // "stem" for "stem.*"
        bool bBare = false;
        bool bAliases = false;  // may be a short name: look among the aliases too
    };

    void Prepare(const std::string& pattern) {
        m_query = Query{};
        const size_t wildcard = pattern.find_first_of("*?<>\"");
        const bool stem = wildcard != std::string::npos && wildcard + 1 == pattern.size() &&
                          pattern.back() == '*' && wildcard > 0 && pattern[wildcard - 1] == '.';
        if ((wildcard != std::string::npos && !stem) || IsDeviceName(pattern)) {
            m_query.kind = Query::ANY;
            return;
        }
        std::string folded;
        if (stem) {
            const std::string bare = pattern.substr(0, wildcard - 1);
            m_folder.Fold(bare + ".", folded);
            CDirectoryListing::Prepare(folded + "*", m_query.main);
            m_folder.Fold(bare, folded);
            CDirectoryListing::Prepare(folded, m_query.bare);
            m_query.bBare = !bare.empty();
            m_query.bAliases = bare.find('.') == std::string::npos && MayBeShortName(bare);
            m_query.kind = Query::STEM;
            return;
        }
        const size_t end = pattern.find_last_not_of(". ");
        if (end == std::string::npos) return;  // nothing left of the name
        const std::string name = pattern.substr(0, end + 1);
        m_folder.Fold(name, folded);
        CDirectoryListing::Prepare(folded, m_query.main);
        m_query.bAliases = MayBeShortName(name);
        m_query.kind = Query::NAME;
    }

    void ReadDirectory(const std::string& directory, bool bAliases, CDirectoryListing& listing) {
        WIN32_FIND_DATAA data;
        const std::string all = directory + "*";
        const FINDEX_INFO_LEVELS level = bAliases ? FindExInfoStandard : FindExInfoBasic;
        CFindHandle find(FindFirstFileExA(all.c_str(), level, &data, FindExSearchNameMatch, nullptr,
                                          FIND_FIRST_EX_LARGE_FETCH));
        if (!find && GetLastError() == ERROR_INVALID_PARAMETER) {
            // Systems before Windows 7 know neither the basic level nor large fetches.
            find.Reset(FindFirstFileExA(all.c_str(), FindExInfoStandard, &data,
                                        FindExSearchNameMatch, nullptr, 0));
        }
        if (!find) return;
        std::string folded;
        std::string foldedAlias;
        do {
            const std::string_view name = data.cFileName;
            if (name == "." || name == "..") continue;
            m_folder.Fold(name, folded);
            m_folder.Fold(bAliases ? data.cAlternateFileName : "", foldedAlias);
            listing.Add(name, folded, foldedAlias);
        } while (FindNextFileA(find.Get(), &data));
    }

    // The platform's own search: one FindFirstFileA per directory and pattern.
    static void PatternSearch(const std::string& directory, const std::string& pattern,
                              const MatchCallback& onMatch) {
        WIN32_FIND_DATAA data;
        CFindHandle find(FindFirstFileA((directory + pattern).c_str(), &data));
        if (!find) return;
        do {
            if (!onMatch(data.cFileName)) break;
        } while (FindNextFileA(find.Get(), &data));
    }

    PlatformOverrides m_overrides;
    bool m_bPatternSearch;
    CNameFolder m_folder;
    // Each directory is listed once per scan: with names only, which is all
    // most searches need, and again with the short aliases for a name that
    // may be one.
    CDirectoryListings m_namesOnly{
        [this](const std::string& directory, CDirectoryListing& listing) {
            ReadDirectory(directory, false, listing);
        }};
    CDirectoryListings m_withAliases{
        [this](const std::string& directory, CDirectoryListing& listing) {
            ReadDirectory(directory, true, listing);
        }};
    std::string m_queryPattern;
    Query m_query;
    bool m_bQueryValid = false;
    std::vector<uint32_t> m_matches;
};

}  // namespace

std::unique_ptr<IScanPlatform> CreateNativePlatform(const PlatformOverrides& overrides) {
    return std::make_unique<CWin32Platform>(overrides, false);
}

std::unique_ptr<IScanPlatform> CreatePatternSearchPlatform(const PlatformOverrides& overrides) {
    return std::make_unique<CWin32Platform>(overrides, true);
}

}  // namespace kivrel
