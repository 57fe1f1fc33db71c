#include "json_value.h"

#include <cstdlib>
#include <cstring>

namespace kivrel::test {

const JsonValue* JsonValue::Find(const std::string& key) const {
    for (const auto& [name, value] : members) {
        if (name == key) return &value;
    }
    return nullptr;
}

std::vector<std::string> JsonValue::Keys() const {
    std::vector<std::string> keys;
    for (const auto& member : members) keys.push_back(member.first);
    return keys;
}

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : m_text(text) {}

    bool Document(JsonValue& value) {
        if (!Value(value, 0)) return false;
        SkipSpace();
        return m_pos == m_text.size() || Fail("text after the document");
    }

    std::string error;

private:
    // Nesting deeper than this is no document kivrel-scan writes.
    static constexpr int kMaxDepth = 64;

    bool Fail(const std::string& what) {
        if (error.empty()) error = what + " at offset " + std::to_string(m_pos);
        return false;
    }
    char Peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }
    void SkipSpace() {
        while (Peek() != '\0' && std::strchr(" \t\n\r", Peek())) ++m_pos;
    }
    // Skips white space, then takes `c` if it comes next.
    bool Take(char c) {
        SkipSpace();
        if (m_pos >= m_text.size() || m_text[m_pos] != c) return false;
        ++m_pos;
        return true;
    }

    bool Literal(const std::string& word) {
        if (m_text.compare(m_pos, word.size(), word) != 0) return Fail("unknown literal");
        m_pos += word.size();
        return true;
    }

    bool Value(JsonValue& value, int depth) {
        if (depth > kMaxDepth) return Fail("nesting too deep");
        SkipSpace();
        if (m_pos >= m_text.size()) return Fail("value expected");
        switch (Peek()) {
            case '{':
                value.kind = JsonValue::OBJECT;
                return Sequence('}', [&] {
                    std::string key;
                    if (!Take('"')) return Fail("member name expected");
                    --m_pos;
                    JsonValue member;
                    if (!String(key)) return false;
                    if (!Take(':')) return Fail("':' expected");
                    if (!Value(member, depth + 1)) return false;
                    value.members.emplace_back(std::move(key), std::move(member));
                    return true;
                });
            case '[':
                value.kind = JsonValue::ARRAY;
                return Sequence(']', [&] {
                    value.items.emplace_back();
                    return Value(value.items.back(), depth + 1);
                });
            case '"':
                value.kind = JsonValue::STRING;
                return String(value.text);
            case 't':
            case 'f':
                value.kind = JsonValue::BOOLEAN;
                value.boolean = Peek() == 't';
                return Literal(value.boolean ? "true" : "false");
            case 'n':
                value.kind = JsonValue::NUL;
                return Literal("null");
            default:
                return Number(value);
        }
    }

    // The elements of an object or an array: `element` reads one, they are
    // separated by ',' and the sequence ends with `close`.
    template <typename Element>
    bool Sequence(char close, Element element) {
        ++m_pos;  // the opening bracket
        if (Take(close)) return true;
        do {
            if (!element()) return false;
        } while (Take(','));
        return Take(close) || Fail(std::string("',' or '") + close + "' expected");
    }

    bool String(std::string& out) {
        ++m_pos;  // the opening quote
        for (;;) {
            if (m_pos >= m_text.size()) return Fail("unterminated string");
            const unsigned char c = static_cast<unsigned char>(m_text[m_pos++]);
            if (c == '"') return true;
            if (c < 0x20) return Fail("control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (m_pos >= m_text.size()) return Fail("unterminated escape");
            const char e = m_text[m_pos++];
            static const char kEscapes[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
            const char* found = std::strchr(kEscapes, e);
            if (e != '\0' && e != 'u' && found != nullptr && (found - kEscapes) % 2 == 0) {
                out += found[1];
            } else if (e == 'u') {
                if (!Hex4(out)) return false;
            } else {
                return Fail("unknown escape");
            }
        }
    }

    // Kivrel writes bytes as \u00XX; the byte itself is wanted back. Larger
    // code points give UTF-8 (surrogates are not expected here).
    bool Hex4(std::string& out) {
        if (m_pos + 4 > m_text.size()) return Fail("short \\u escape");
        const std::string digits = m_text.substr(m_pos, 4);
        if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return Fail("bad hex digit");
        m_pos += 4;
        const unsigned code = static_cast<unsigned>(std::strtoul(digits.c_str(), nullptr, 16));
        if (code < 0x100) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += {char(0xC0 | (code >> 6)), char(0x80 | (code & 0x3F))};
        } else {
            out += {char(0xE0 | (code >> 12)), char(0x80 | ((code >> 6) & 0x3F)),
                    char(0x80 | (code & 0x3F))};
        }
        return true;
    }

    bool Number(JsonValue& value) {
        const size_t start = m_pos;
        auto digits = [&] {
            const size_t from = m_pos;
            while (Peek() >= '0' && Peek() <= '9') ++m_pos;
            return m_pos > from;
        };
        if (Peek() == '-') ++m_pos;
        if (Peek() == '0') {
            ++m_pos;
        } else if (!digits()) {
            return Fail("value expected");
        }
        if (Peek() == '.' && (++m_pos, !digits())) return Fail("digit expected");
        if (Peek() == 'e' || Peek() == 'E') {
            ++m_pos;
            if (Peek() == '+' || Peek() == '-') ++m_pos;
            if (!digits()) return Fail("digit expected");
        }
        value.kind = JsonValue::NUMBER;
        value.number = std::strtod(m_text.substr(start, m_pos - start).c_str(), nullptr);
        return true;
    }

    const std::string& m_text;
    size_t m_pos = 0;
};

}  // namespace

bool ParseJson(const std::string& document, JsonValue& value, std::string& error) {
    Parser parser(document);
    value = JsonValue();
    const bool ok = parser.Document(value);
    error = parser.error;
    return ok;
}

}  // namespace kivrel::test
