#include "resource_string.h"

#include <vector>

BOOL LoadResString(HINSTANCE module, UINT nID, std::string& text) {
    text.clear();
    // A string resource holds at most 65535 characters; LoadStringA cannot
    // say how long one is, so grow until the text no longer fills the buffer.
    for (int size = 1024; size <= 65536; size *= 4) {
        std::vector<char> buffer(static_cast<size_t>(size), '\0');
        const int length = ::LoadStringA(module, nID, buffer.data(), size);
        if (length <= 0) return FALSE;
        if (length < size - 1) {
            text.assign(buffer.data(), static_cast<size_t>(length));
            return TRUE;
        }
    }
    return FALSE;
}

std::string LoadResString(HINSTANCE module, UINT nID) {
    std::string text;
    LoadResString(module, nID, text);
    return text;
}
