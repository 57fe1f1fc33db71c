// The ordered list of referenced module names, each with a 32-bit value:
// resolution state in the high 16 bits, search directory index in the low 16.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kivrel {

enum RefState : uint16_t {
    REF_PENDING = 0,    // added from an import table, not yet looked for
    REF_NOT_FOUND = 1,  // no search directory holds a matching file
    REF_INCORRECT = 2,  // matching files exist, none of them a PE image
    REF_FOUND = 3,      // a matching PE image was found and scanned
    REF_API_SET = 4,    // an API set name the schema maps to a host (only with API sets on)
};

// How a name reached AddReference, for the delay-load-only mark.
enum RefOrigin {
    ORIGIN_RESOLUTION,    // the outcome of a look-up: keeps the entry's mark
    ORIGIN_IMPORT,        // an import table: the name is needed at start-up
    ORIGIN_DELAY_IMPORT,  // only a delay-load table: a new entry is marked
};

inline uint32_t MakeRefValue(uint16_t state, uint32_t directoryIndex) {
    return (uint32_t(state) << 16) | (directoryIndex & 0xFFFF);
}

// Every entry gets a serial number when it is appended; it never changes and
// is never reused, so it names the entry across deletions of others.
constexpr uint64_t kNoSerial = UINT64_MAX;

// Which entry a name added to the list stands for afterwards: the equal entry,
// the longer entry that kept it out, or the entry appended for it; and the
// entry that the appended one replaced under the prefix rule, if any.
struct AddOutcome {
    uint64_t serial = kNoSerial;
    uint64_t replaced = kNoSerial;
};

struct Reference {
    Reference() = default;
    Reference(std::string name, uint32_t refValue) : text(std::move(name)), value(refValue) {}

    std::string text;
    uint32_t value = 0;
    // For a found entry, the directory entry that matched: its letter case
    // may differ from the text's.
    std::string fileName{};
    // For a found entry, the Machine field of the module that matched.
    uint16_t machine = 0;
    // REF_API_SET: the host the schema gives, itself an entry of the list.
    std::string host;
    // Imported only through delay-load tables: the program starts without it.
    bool delayLoadOnly = false;
    // How a found entry was found when not by the search order ("assembly NAME VERSION").
    std::string via;

    uint16_t State() const { return static_cast<uint16_t>(value >> 16); }
    uint16_t DirectoryIndex() const { return static_cast<uint16_t>(value & 0xFFFF); }
};

// Every operation gives the same list as walking the entries in order would,
// but look-ups go through an index of case-folded texts, so that a scan of
// thousands of modules does not grow quadratically.
class CReferenceList {
public:
    // Adds or updates the entry for `name`. A name without '.' gets one
    // appended. An equal entry is only ever raised in state; an entry that is
    // a proper prefix of the name is replaced by it (moving to the end), and a
    // name that is a proper prefix of an entry is dropped.
    // `origin` only decides the delay-load-only mark: an import clears it,
    // a delay-load import sets it on a new entry, and a look-up's outcome
    // (also when it replaces a shorter entry) keeps the mark it found.
    AddOutcome AddReference(std::string_view name, uint32_t directoryIndex, uint16_t state,
                            RefOrigin origin = ORIGIN_RESOLUTION);
    // Makes entry `index` an API set name hosted by `host`.
    void SetApiSetHost(size_t index, std::string host);

    // Index of the first pending entry, or -1.
    long FindFirstPending() const;
    // Index of the entry equal to `text` without regard to case, or -1.
    long Find(std::string_view text) const;
    // A found entry's file: the name that matched and the module's machine.
    void SetMatchedFile(size_t index, std::string name, uint16_t machine) {
        m_entries[index].fileName = std::move(name);
        m_entries[index].machine = machine;
    }
    void SetVia(size_t index, std::string via) { m_entries[index].via = std::move(via); }
    void Clear();

    uint64_t SerialAt(size_t index) const { return m_serials[index]; }
    // Index of the entry with this serial number, or -1 when it was deleted.
    long IndexOfSerial(uint64_t serial) const;

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const Reference& operator[](size_t index) const { return m_entries[index]; }
    const std::vector<Reference>& Entries() const { return m_entries; }

private:
    size_t PositionOf(uint64_t serial) const;
    void Append(std::string text, std::string folded, uint32_t value, bool delayLoadOnly);

    std::vector<Reference> m_entries;
    // Parallel to m_entries: each entry's serial number, given at its append
    // and so increasing along the list; it survives the deletion of others.
    std::vector<uint64_t> m_serials;
    // Folded text -> serial. No entry is ever a case-insensitive prefix of
    // another (AddReference keeps it so), which makes the neighbours of a
    // text in this order the only entries that can be related to it.
    std::map<std::string, uint64_t, std::less<>> m_byFoldedText;
    // The same pairs by hash, for the equal entry that most additions name.
    std::unordered_map<std::string, uint64_t> m_serialOfFolded;
    uint64_t m_nextSerial = 0;
    // No pending entry has a smaller serial: entries only become pending by
    // being appended, so the search for the next one only moves forward.
    mutable uint64_t m_pendingFrom = 0;
};

}  // namespace kivrel
