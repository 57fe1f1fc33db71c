#include "reference_list.h"

#include <algorithm>
#include <iterator>

#include "text.h"

namespace kivrel {

namespace {
bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
}  // namespace

AddOutcome CReferenceList::AddReference(std::string_view name, uint32_t directoryIndex,
                                        uint16_t state, RefOrigin origin) {
    const bool dotless = name.find('.') == std::string_view::npos;
    std::string folded = ToLowerAscii(name);
    if (dotless) folded += '.';
    const uint32_t value = MakeRefValue(state, directoryIndex);

    // Most additions name an entry already there (every importer adds its
    // names): that one is found by hash, before any walk of the order.
    const auto equal = m_serialOfFolded.find(folded);
    if (equal != m_serialOfFolded.end()) {
        Reference& entry = m_entries[PositionOf(equal->second)];
        if (entry.State() < state) entry.value = value;
        if (origin == ORIGIN_IMPORT) entry.delayLoadOnly = false;
        return AddOutcome{equal->second, kNoSerial};
    }
    std::string text(name);
    if (dotless) text += '.';

    // Walking the list in order stops at the first entry that equals the text,
    // extends it or is a prefix of it. With no entry a prefix of another, an
    // entry equal to or extending the text is the least key >= it, and an
    // entry that is a proper prefix of it the greatest key below it; the two
    // cannot both exist, so whichever does is the one the walk would meet.
    const auto after = m_byFoldedText.lower_bound(folded);
    if (after != m_byFoldedText.end() && StartsWith(after->first, folded)) {
        Reference& entry = m_entries[PositionOf(after->second)];
        if (after->first.size() == folded.size() && entry.State() < state) entry.value = value;
        // A shorter name arriving after the longer one is dropped, but an
        // import of it still means the longer entry is needed at start-up.
        if (origin == ORIGIN_IMPORT) entry.delayLoadOnly = false;
        return AddOutcome{after->second, kNoSerial};
    }
    AddOutcome outcome{m_nextSerial, kNoSerial};
    bool delayLoadOnly = origin == ORIGIN_DELAY_IMPORT;
    if (after != m_byFoldedText.begin()) {
        const auto before = std::prev(after);
        if (StartsWith(folded, before->first)) {
            const size_t position = PositionOf(before->second);
            delayLoadOnly = m_entries[position].delayLoadOnly;
            m_entries.erase(m_entries.begin() + static_cast<long>(position));
            m_serials.erase(m_serials.begin() + static_cast<long>(position));
            outcome.replaced = before->second;
            m_serialOfFolded.erase(before->first);
            m_byFoldedText.erase(before);
        }
    }
    if (origin == ORIGIN_IMPORT) delayLoadOnly = false;
    Append(std::move(text), std::move(folded), value, delayLoadOnly);
    return outcome;
}

void CReferenceList::SetApiSetHost(size_t index, std::string host) {
    Reference& entry = m_entries[index];
    entry.value = MakeRefValue(REF_API_SET, 0);
    entry.host = std::move(host);
}

void CReferenceList::Append(std::string text, std::string folded, uint32_t value,
                            bool delayLoadOnly) {
    m_entries.emplace_back(std::move(text), value);
    m_entries.back().delayLoadOnly = delayLoadOnly;
    m_serials.push_back(m_nextSerial);
    m_serialOfFolded.emplace(folded, m_nextSerial);
    m_byFoldedText.emplace(std::move(folded), m_nextSerial);
    ++m_nextSerial;
}

size_t CReferenceList::PositionOf(uint64_t serial) const {
    // Serials rise from 0 and only removals leave gaps, so an entry sits at
    // most at its serial and at most one place earlier for each removal.
    const uint64_t removed = m_nextSerial - m_serials.size();
    const uint64_t size = m_serials.size();
    const uint64_t low = std::min(serial > removed ? serial - removed : 0, size);
    const uint64_t high = std::min(serial + 1, size);
    const auto first = m_serials.begin() + static_cast<long>(low);
    const auto last = m_serials.begin() + static_cast<long>(std::max(low, high));
    return static_cast<size_t>(std::lower_bound(first, last, serial) - m_serials.begin());
}

long CReferenceList::IndexOfSerial(uint64_t serial) const {
    const size_t position = PositionOf(serial);
    return position < m_serials.size() && m_serials[position] == serial
               ? static_cast<long>(position)
               : -1;
}

long CReferenceList::FindFirstPending() const {
    for (size_t i = PositionOf(m_pendingFrom); i < m_entries.size(); ++i) {
        if (m_entries[i].State() == REF_PENDING) {
            m_pendingFrom = m_serials[i];
            return static_cast<long>(i);
        }
    }
    m_pendingFrom = m_nextSerial;
    return -1;
}

long CReferenceList::Find(std::string_view text) const {
    const auto found = m_serialOfFolded.find(ToLowerAscii(text));
    return found == m_serialOfFolded.end() ? -1 : static_cast<long>(PositionOf(found->second));
}

void CReferenceList::Clear() {
    m_entries.clear();
    m_serials.clear();
    m_byFoldedText.clear();
    m_serialOfFolded.clear();
    m_nextSerial = 0;
    m_pendingFrom = 0;
}

}  // namespace kivrel
