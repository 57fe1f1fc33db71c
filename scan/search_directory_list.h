// The ordered list of directories searched for referenced modules. An entry's
// position is the directory index recorded by the reference list, so entries
// are only ever appended, and the index must fit 16 bits.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace kivrel {

// Directory indexes are 16-bit: at most this many directories are held.
constexpr size_t kMaxSearchDirectories = 65535;

class CSearchDirectoryList {
public:
    enum AddResult { ADDED, ALREADY_LISTED, LIST_FULL };

    // Appends `directory` unless an entry equals it without regard to case.
    AddResult Add(const std::string& directory);
    bool Contains(const std::string& directory) const;
    // The index of the entry equal to `directory` without regard to case, or -1.
    long IndexOf(const std::string& directory) const;
    void Clear();

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const std::string& operator[](size_t index) const { return m_entries[index]; }
    const std::vector<std::string>& Entries() const { return m_entries; }

private:
    std::vector<std::string> m_entries;
    std::unordered_set<std::string> m_folded;  // lower-cased entries, for the duplicate test
};

}  // namespace kivrel
