// Text that another program hands over, read into our own buffer piece by
// piece: it ends at the first zero byte, holds at most `limit` bytes, and in
// a single-line field ends before the first line break. Whatever had to be
// left out marks the text incomplete, so that a drop reports a copy and the
// source keeps its text.
#pragma once

#include <cstddef>
#include <string>

namespace kivrel {

class CBoundedText {
public:
    CBoundedText(size_t limit, bool bSingleLine) : m_nLimit(limit), m_bSingleLine(bSingleLine) {}

    // Takes the next bytes; false once no more are wanted.
    bool Append(const void* bytes, size_t size);
    // The source could not deliver everything (a failed or oversized read).
    void MarkIncomplete() {
        m_bComplete = false;
        m_bDone = true;
    }

    bool Done() const { return m_bDone; }
    bool Complete() const { return m_bComplete; }
    const std::string& Text() const { return m_text; }

private:
    size_t m_nLimit;
    bool m_bSingleLine;
    bool m_bDone = false;
    bool m_bComplete = true;
    std::string m_text;
};

}  // namespace kivrel
