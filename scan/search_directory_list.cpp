#include "search_directory_list.h"

#include "text.h"

namespace kivrel {

CSearchDirectoryList::AddResult CSearchDirectoryList::Add(const std::string& directory) {
    std::string folded = ToLowerAscii(directory);
    if (m_folded.count(folded) != 0) return ALREADY_LISTED;
    if (m_entries.size() >= kMaxSearchDirectories) return LIST_FULL;
    m_entries.push_back(directory);
    m_folded.insert(std::move(folded));
    return ADDED;
}

bool CSearchDirectoryList::Contains(const std::string& directory) const {
    return m_folded.count(ToLowerAscii(directory)) != 0;
}

long CSearchDirectoryList::IndexOf(const std::string& directory) const {
    if (!Contains(directory)) return -1;
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (EqualsNoCase(m_entries[i], directory)) return long(i);
    return -1;
}

void CSearchDirectoryList::Clear() {
    m_entries.clear();
    m_folded.clear();
}

}  // namespace kivrel
