#include "plain_directory_platform.h"

#include <dirent.h>

#include <algorithm>

#include "text.h"

namespace kivrel::bench {

const CPlainDirectoryPlatform::Listing& CPlainDirectoryPlatform::List(
    const std::string& directory) {
    auto known = m_listings.find(directory);
    if (known != m_listings.end()) return known->second;
    Listing& listing = m_listings[directory];
    if (DIR* dir = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            listing.names.push_back(name);
            listing.byFoldedName[ToLowerAscii(name)].push_back(name);
        }
        closedir(dir);
    }
    return listing;
}

void CPlainDirectoryPlatform::FindMatches(const std::string& directory, const std::string& pattern,
                                          const MatchCallback& onMatch) {
    const Listing& listing = List(directory);
    std::vector<std::string> matches;
    if (pattern.find_first_of("*?") == std::string::npos) {
        auto same = listing.byFoldedName.find(ToLowerAscii(pattern));
        if (same != listing.byFoldedName.end()) matches = same->second;
    } else {
        for (const std::string& name : listing.names) {
            if (MatchesWildcardNoCase(pattern, name)) matches.push_back(name);
        }
    }
    std::sort(matches.begin(), matches.end());
    for (const std::string& name : matches) {
        if (!onMatch(name)) return;
    }
}

}  // namespace kivrel::bench
