#include "bounded_text.h"

namespace kivrel {

bool CBoundedText::Append(const void* bytes, size_t size) {
    const char* text = static_cast<const char*>(bytes);
    for (size_t i = 0; i < size && !m_bDone; ++i) {
        const char c = text[i];
        if (c == '\0') {
            m_bDone = true;
        } else if ((m_bSingleLine && (c == '\r' || c == '\n')) || m_text.size() >= m_nLimit) {
            MarkIncomplete();
        } else {
            m_text.push_back(c);
        }
    }
    return !m_bDone;
}

}  // namespace kivrel
