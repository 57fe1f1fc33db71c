#include "wine_registry.h"

#include <cstring>

#include "text.h"

namespace kivrel {

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";

int DigitValue(char c, int base) {
    const int value = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : base;
    return value < base ? value : -1;
}

// The character an escape stands for, as Wine writes them: a C letter, \x and
// up to four hex digits, up to three octal digits, or the character itself.
uint32_t Unescape(std::string_view line, size_t& pos) {
    const char c = line[pos++];
    const char* letters = "abtnvfre";
    const char* codes = "\a\b\t\n\v\f\r\x1b";
    if (const char* letter = std::strchr(letters, c); letter != nullptr && c != '\0') {
        return static_cast<unsigned char>(codes[letter - letters]);
    }
    const int base = c == 'x' ? 16 : DigitValue(c, 8) >= 0 ? 8 : 0;
    if (base == 0) return static_cast<unsigned char>(c);
    uint32_t value = base == 8 ? static_cast<uint32_t>(DigitValue(c, 8)) : 0;
    for (int digits = base == 8 ? 1 : 0; digits < (base == 8 ? 3 : 4) && pos < line.size();
         ++digits) {
        const int digit = DigitValue(line[pos], base);
        if (digit < 0) break;
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
        ++pos;
    }
    return value;
}

// Reads the text from `pos` up to the unescaped `close`, leaving `pos` after
// it. False when the line ends first or the text is not plain: printable
// ASCII that fits a path buffer.
bool ReadText(std::string_view line, size_t& pos, char close, std::string& text) {
    text.clear();
    bool plain = true;
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == close) return plain;
        const uint32_t code =
            c == '\\' && pos < line.size() ? Unescape(line, pos) : static_cast<unsigned char>(c);
        if (code < 0x20 || code >= 0x7F || text.size() + 1 >= kMaxPath) {
            plain = false;
        } else if (plain) {
            text += static_cast<char>(code);
        }
    }
    return false;
}

}  // namespace

RegistryRead ReadRegistryStrings(const uint8_t* data, uint32_t size,
                                 std::initializer_list<std::string_view> keyPaths,
                                 std::vector<RegistryString>& values) {
    values.clear();
    const std::string_view file(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
    if (file.substr(0, kHeader.size()) != kHeader) return REGISTRY_NOT_WINE;
    bool found = false, inKey = false;
    std::string key, name, text;
    // Each line once: a key begins with '[', a value of the key with '"'.
    for (size_t start = 0; start < file.size();) {
        size_t end = file.find('\n', start);
        if (end == std::string_view::npos) end = file.size();
        std::string_view line = file.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t pos = 1;
        if (!line.empty() && line[0] == '[') {
            inKey = false;
            if (!ReadText(line, pos, ']', key)) continue;
            for (std::string_view path : keyPaths) inKey = inKey || EqualsNoCase(key, path);
            found = found || inKey;
        } else if (inKey && !line.empty() && line[0] == '"' && ReadText(line, pos, '"', name) &&
                   line.substr(pos, 2) == "=\"") {
            pos += 2;
            if (ReadText(line, pos, '"', text)) values.push_back({name, text});
        }
    }
    return found ? REGISTRY_KEY_FOUND : REGISTRY_KEY_ABSENT;
}

}  // namespace kivrel
