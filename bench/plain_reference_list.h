// The reference list exactly as the algorithm reads: every look-up walks the
// entries from the first, and the search for a pending entry starts over from
// index 0. Kept as the yardstick that the optimised CReferenceList must match.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "reference_list.h"

namespace kivrel::bench {

class CPlainReferenceList {
public:
    void AddReference(std::string_view name, uint32_t directoryIndex, uint16_t state);
    long FindFirstPending() const;
    long Find(std::string_view text) const;
    void Clear() { m_entries.clear(); }
    void SetFileName(size_t index, std::string name) {
        m_entries[index].fileName = std::move(name);
    }

    size_t size() const { return m_entries.size(); }
    const Reference& operator[](size_t index) const { return m_entries[index]; }
    const std::vector<Reference>& Entries() const { return m_entries; }

private:
    std::vector<Reference> m_entries;
};

}  // namespace kivrel::bench
