// The files of each directory that match a pattern, asked of the platform
// once per directory and pattern however many scans need them: the many scans
// of an audit step over the directories without a match and replay the
// matches of the others instead of searching again.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform.h"

namespace kivrel {

class CMatchPresence {
public:
    struct Matches {
        bool known = false;
        std::vector<std::string> names;  // in the platform's order
    };
    // What is known of one pattern, by directory id.
    using Row = std::vector<Matches>;

    explicit CMatchPresence(IScanPlatform& platform) : m_platform(platform) {}

    uint32_t DirectoryId(const std::string& directory);
    Row& RowOf(const std::string& pattern) { return m_rows[pattern]; }
    const std::vector<std::string>& MatchesIn(Row& row, uint32_t directoryId,
                                              const std::string& directory,
                                              const std::string& pattern);

private:
    IScanPlatform& m_platform;
    std::unordered_map<std::string, uint32_t> m_directoryIds;
    std::unordered_map<std::string, Row> m_rows;
};

}  // namespace kivrel
