#include "json_value.h"

#include <cstdlib>

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

    void SkipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }

    bool Literal(const char* word) {
        const std::string w = word;
        if (m_text.compare(m_pos, w.size(), w) != 0) return Fail("unknown literal");
        m_pos += w.size();
        return true;
    }

    bool Value(JsonValue& value, int depth) {
        if (depth > kMaxDepth) return Fail("nesting too deep");
        SkipSpace();
        if (m_pos >= m_text.size()) return Fail("value expected");
        const char c = m_text[m_pos];
        if (c == '{') return Object(value, depth);
        if (c == '[') return Array(value, depth);
        if (c == '"') {
            value.kind = JsonValue::STRING;
            return String(value.text);
        }
        if (c == 't' || c == 'f') {
            value.kind = JsonValue::BOOLEAN;
            value.boolean = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            value.kind = JsonValue::NUL;
            return Literal("null");
        }
        return Number(value);
    }

    bool Object(JsonValue& value, int depth) {
        value.kind = JsonValue::OBJECT;
        ++m_pos;
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == '}') {
            ++m_pos;
            return true;
        }
        for (;;) {
            SkipSpace();
            std::string key;
            if (m_pos >= m_text.size() || m_text[m_pos] != '"') return Fail("member name expected");
            if (!String(key)) return false;
            SkipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != ':') return Fail("':' expected");
            ++m_pos;
            JsonValue member;
            if (!Value(member, depth + 1)) return false;
            value.members.emplace_back(std::move(key), std::move(member));
            SkipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == '}') {
                ++m_pos;
                return true;
            }
            return Fail("',' or '}' expected");
        }
    }

    bool Array(JsonValue& value, int depth) {
        value.kind = JsonValue::ARRAY;
        ++m_pos;
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == ']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            JsonValue item;
            if (!Value(item, depth + 1)) return false;
            value.items.push_back(std::move(item));
            SkipSpace();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == ']') {
                ++m_pos;
                return true;
            }
            return Fail("',' or ']' expected");
        }
    }

    bool Hex4(unsigned& code) {
        if (m_pos + 4 > m_text.size()) return Fail("short \\u escape");
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= unsigned(c - 'A' + 10);
            else
                return Fail("bad hex digit");
        }
        return true;
    }

    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
        } else {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
        }
        out += char(0x80 | (code & 0x3F));
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
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned code = 0;
                    if (!Hex4(code)) return false;
                    // Kivrel writes bytes as \u00XX; the byte itself is wanted back.
                    if (code < 0x100)
                        out += static_cast<char>(code);
                    else
                        AppendUtf8(out, code);  // surrogates are not expected here
                    break;
                }
                default:
                    return Fail("unknown escape");
            }
        }
    }

    bool Number(JsonValue& value) {
        const size_t start = m_pos;
        auto digits = [&] {
            const size_t from = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ++m_pos;
            return m_pos > from;
        };
        if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '0') {
            ++m_pos;
        } else if (!digits()) {
            return Fail("value expected");
        }
        if (m_pos < m_text.size() && m_text[m_pos] == '.') {
            ++m_pos;
            if (!digits()) return Fail("digit expected");
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) ++m_pos;
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
