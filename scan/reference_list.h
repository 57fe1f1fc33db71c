// The ordered list of referenced module names, each with a 32-bit value:
// resolution state in the high 16 bits, search directory index in the low 16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

enum RefState : uint16_t {
    REF_PENDING = 0,    // added from an import table, not yet looked for
    REF_NOT_FOUND = 1,  // no search directory holds a matching file
    REF_INCORRECT = 2,  // matching files exist, none of them a PE image
    REF_FOUND = 3,      // a matching PE image was found and scanned
};

inline uint32_t MakeRefValue(uint16_t state, uint32_t directoryIndex) {
    return (uint32_t(state) << 16) | (directoryIndex & 0xFFFF);
}

struct Reference {
    std::string text;
    uint32_t value = 0;

    uint16_t State() const { return static_cast<uint16_t>(value >> 16); }
    uint16_t DirectoryIndex() const { return static_cast<uint16_t>(value & 0xFFFF); }
};

class CReferenceList {
public:
    // Adds or updates the entry for `name`. A name without '.' gets one
    // appended. An equal entry is only ever raised in state; an entry that is
    // a proper prefix of the name is replaced by it (moving to the end), and a
    // name that is a proper prefix of an entry is dropped.
    void AddReference(std::string_view name, uint32_t directoryIndex, uint16_t state);

    // Index of the first pending entry, or -1.
    long FindFirstPending() const;
    // Index of the entry equal to `text` without regard to case, or -1.
    long Find(std::string_view text) const;
    void Clear() { m_entries.clear(); }

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const Reference& operator[](size_t index) const { return m_entries[index]; }
    const std::vector<Reference>& Entries() const { return m_entries; }

private:
    std::vector<Reference> m_entries;
};

}  // namespace kivrel
