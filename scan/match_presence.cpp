#include "match_presence.h"

namespace kivrel {

uint32_t CMatchPresence::DirectoryId(const std::string& directory) {
    return m_directoryIds.emplace(directory, static_cast<uint32_t>(m_directoryIds.size()))
        .first->second;
}

const std::vector<std::string>& CMatchPresence::MatchesIn(Row& row, uint32_t directoryId,
                                                          const std::string& directory,
                                                          const std::string& pattern) {
    if (row.size() <= directoryId) row.resize(directoryId + 1);
    Matches& matches = row[directoryId];
    if (!matches.known) {
        m_platform.FindMatches(directory, pattern, [&matches](const std::string& name) {
            matches.names.push_back(name);
            return true;
        });
        matches.known = true;
    }
    return matches.names;
}

}  // namespace kivrel
