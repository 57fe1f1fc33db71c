// The directory search of the Win32 platform layer: each search directory
// listed once per scan and names matched as the file system compares them
// (its upper-casing, short-name aliases, "stem.*" patterns), or, to compare
// against, FindFirstFileA for every search.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "directory_listing.h"
#include "platform.h"

namespace kivrel {

// Names compared as the file system compares them: the narrow name read in the
// file functions' code page and upper-cased character by character, kept as
// UTF-8 so that a '.' is always a byte of its own.
class CNameFolder {
public:
    void Fold(std::string_view name, std::string& folded);

private:
    std::wstring m_wide;
    std::wstring m_upper;
};

class CWin32DirectorySearch {
public:
    // `bPatternSearch`: FindFirstFileA for every search instead of listings.
    explicit CWin32DirectorySearch(bool bPatternSearch) : m_bPatternSearch(bPatternSearch) {}
    CWin32DirectorySearch(const CWin32DirectorySearch&) = delete;
    CWin32DirectorySearch& operator=(const CWin32DirectorySearch&) = delete;

    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch);
    void BeginScan();

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

    void Prepare(const std::string& pattern);
    void ReadDirectory(const std::string& directory, bool bAliases, CDirectoryListing& listing);
    // The platform's own search: one FindFirstFileA per directory and pattern.
    static void PatternSearch(const std::string& directory, const std::string& pattern,
                              const MatchCallback& onMatch);

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

}  // namespace kivrel
