#include "plain_reference_list.h"

#include <algorithm>

#include "text.h"

namespace kivrel::bench {

void CPlainReferenceList::AddReference(std::string_view name, uint32_t directoryIndex,
                                       uint16_t state) {
    std::string text(name);
    if (text.find('.') == std::string::npos) text += '.';
    const uint32_t value = MakeRefValue(state, directoryIndex);

    for (size_t i = 0; i < m_entries.size(); ++i) {
        Reference& entry = m_entries[i];
        if (EqualsNoCase(entry.text, text)) {
            if (entry.State() < state) entry.value = value;
            return;
        }
        const size_t n = std::min(entry.text.size(), text.size());
        if (EqualsNoCase(std::string_view(entry.text).substr(0, n),
                         std::string_view(text).substr(0, n))) {
            if (text.size() < entry.text.size()) return;
            m_entries.erase(m_entries.begin() + static_cast<long>(i));
            m_entries.push_back(Reference{std::move(text), value});
            return;
        }
    }
    m_entries.push_back(Reference{std::move(text), value});
}

long CPlainReferenceList::FindFirstPending() const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].State() == REF_PENDING) return static_cast<long>(i);
    }
    return -1;
}

long CPlainReferenceList::Find(std::string_view text) const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (EqualsNoCase(m_entries[i].text, text)) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace kivrel::bench
