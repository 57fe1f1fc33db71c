#include "reference_list.h"

#include "text.h"

namespace kivrel {

void CReferenceList::AddReference(std::string_view name, uint32_t directoryIndex, uint16_t state) {
    std::string text(name);
    if (text.find('.') == std::string::npos) text += '.';
    const uint32_t value = MakeRefValue(state, directoryIndex);

    for (size_t i = 0; i < m_entries.size(); ++i) {
        Reference& entry = m_entries[i];
        if (EqualsNoCase(entry.text, text)) {
            if (entry.State() < state) entry.value = value;
            return;
        }
        const bool textIsShorter = text.size() < entry.text.size();
        if (textIsShorter ? StartsWithNoCase(entry.text, text) : StartsWithNoCase(text, entry.text)) {
            if (textIsShorter) return;
            m_entries.erase(m_entries.begin() + static_cast<long>(i));
            m_entries.push_back(Reference{std::move(text), value});
            return;
        }
    }
    m_entries.push_back(Reference{std::move(text), value});
}

long CReferenceList::FindFirstPending() const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].State() == REF_PENDING) return static_cast<long>(i);
    }
    return -1;
}

long CReferenceList::Find(std::string_view text) const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (EqualsNoCase(m_entries[i].text, text)) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace kivrel
