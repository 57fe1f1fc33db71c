#include "directory_search_win32.h"

#include <windows.h>

#include <algorithm>

#include "handle.h"
#include "text.h"

namespace kivrel {

namespace {

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

}  // namespace

void CNameFolder::Fold(std::string_view name, std::string& folded) {
    folded.clear();
    if (name.empty()) return;
    const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    m_wide.resize(name.size());
    m_upper.resize(name.size());
    const int length = MultiByteToWideChar(codePage, 0, name.data(), static_cast<int>(name.size()),
                                           m_wide.data(), static_cast<int>(m_wide.size()));
    if (length <= 0 || LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, m_wide.data(), length,
                                    m_upper.data(), length) != length) {
        folded = ToLowerAscii(name);  // not text of the code page: bytes as they are
        return;
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, m_upper.data(), length, nullptr, 0, nullptr, nullptr);
    folded.resize(static_cast<size_t>(bytes > 0 ? bytes : 0));
    WideCharToMultiByte(CP_UTF8, 0, m_upper.data(), length, folded.data(), bytes, nullptr, nullptr);
}

void CWin32DirectorySearch::FindMatches(const std::string& directory, const std::string& pattern,
                                        const MatchCallback& onMatch) {
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

void CWin32DirectorySearch::BeginScan() {
    m_namesOnly.Clear();
    m_withAliases.Clear();
}

void CWin32DirectorySearch::Prepare(const std::string& pattern) {
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

void CWin32DirectorySearch::ReadDirectory(const std::string& directory, bool bAliases,
                                          CDirectoryListing& listing) {
    WIN32_FIND_DATAA data;
    const std::string all = directory + "*";
    const FINDEX_INFO_LEVELS level = bAliases ? FindExInfoStandard : FindExInfoBasic;
    CFindHandle find(FindFirstFileExA(all.c_str(), level, &data, FindExSearchNameMatch, nullptr,
                                      FIND_FIRST_EX_LARGE_FETCH));
    if (!find && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Systems before Windows 7 know neither the basic level nor large fetches.
        find.Reset(FindFirstFileExA(all.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch,
                                    nullptr, 0));
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

void CWin32DirectorySearch::PatternSearch(const std::string& directory, const std::string& pattern,
                                          const MatchCallback& onMatch) {
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA((directory + pattern).c_str(), &data));
    if (!find) return;
    do {
        if (!onMatch(data.cFileName)) break;
    } while (FindNextFileA(find.Get(), &data));
}

}  // namespace kivrel
