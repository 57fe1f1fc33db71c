#include "xml_reader.h"

#include <cstdint>
#include <utility>

namespace kivrel {

namespace {
constexpr std::string_view kXmlUri = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsUri = "http://www.w3.org/2000/xmlns/";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Names are read in ASCII only; a name with other characters is refused.
bool IsNameStart(char c) { return IsLetter(c) || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.'; }

bool IsXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= kMaxCodePoint);
}

// The length of the UTF-8 sequence at `at` and its code point; 0 when it is
// not a shortest-form sequence of a code point outside the surrogates.
size_t DecodeUtf8(std::string_view text, size_t at, uint32_t& code) {
    const uint8_t lead = uint8_t(text[at]);
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) return code = lead, 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (length > text.size() - at) return 0;
    for (size_t i = 1; i < length; ++i) {
        const uint8_t next = uint8_t(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > kMaxCodePoint || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

struct QName {
    std::string_view text, prefix, local;
};

class CXmlReader {
public:
    CXmlReader(std::string_view text, IXmlVisitor& visitor) : m_text(text), m_visitor(visitor) {}

    XmlOutcome Read() {
        if (m_text.size() > kMaxXmlSize) {
            Fail(XML_TOO_LARGE, "the document is too large");
        } else if (ReadProlog() && ReadElements() && ReadMisc()) {
            if (m_pos != m_text.size()) Fail(XML_MALFORMED, "text after the root element");
        }
        return m_outcome;
    }

private:
    struct Binding {
        std::string_view prefix;  // "" for the default namespace
        std::string uri;
        size_t depth;
    };
    struct RawAttribute {
        QName name;
        std::string value;
    };

    bool Fail(XmlError error, const char* reason) {
        if (m_outcome.error == XML_OK) m_outcome = {error, m_pos, reason};
        return false;
    }
    bool At(std::string_view s) const { return m_text.compare(m_pos, s.size(), s) == 0; }
    bool AtEnd() const { return m_pos >= m_text.size(); }
    bool Skip(std::string_view s) { return At(s) ? (m_pos += s.size(), true) : false; }
    bool Expect(std::string_view s, const char* reason) {
        return Skip(s) || Fail(XML_MALFORMED, reason);
    }
    bool SkipSpace() {
        const size_t start = m_pos;
        while (!AtEnd() && IsSpace(m_text[m_pos])) ++m_pos;
        return m_pos != start;
    }

    // One character, checked; appended to `out` when given.
    bool ReadChar(std::string* out) {
        uint32_t code = 0;
        const size_t length = DecodeUtf8(m_text, m_pos, code);
        if (length == 0) return Fail(XML_MALFORMED, "not UTF-8");
        if (!IsXmlChar(code)) return Fail(XML_MALFORMED, "a character XML does not allow");
        if (out != nullptr) out->append(m_text, m_pos, length);
        m_pos += length;
        return true;
    }

    bool ReadProlog() {
        Skip(kUtf8Bom);
        if (At("<?xml") && m_pos + 5 < m_text.size() && IsSpace(m_text[m_pos + 5]) &&
            !ReadDeclaration()) {
            return false;
        }
        if (!ReadMisc()) return false;
        return At("<") || Fail(XML_MALFORMED, "no root element");
    }

    // <?xml version="1.0" encoding="UTF-8" standalone="yes"?>, the last two optional.
    bool ReadDeclaration() {
        m_pos += 5;
        std::string value;
        SkipSpace();
        if (!ReadPseudoAttribute("version", value)) return false;
        if (value != "1.0") return Fail(XML_UNSUPPORTED, "an XML version other than 1.0");
        bool space = SkipSpace();
        if (space && At("encoding")) {
            if (!ReadPseudoAttribute("encoding", value)) return false;
            std::string folded;
            for (char c : value) folded += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
            if (folded != "utf-8") return Fail(XML_UNSUPPORTED, "an encoding other than UTF-8");
            space = SkipSpace();
        }
        if (space && At("standalone")) {
            if (!ReadPseudoAttribute("standalone", value)) return false;
            if (value != "yes" && value != "no") return Fail(XML_MALFORMED, "bad standalone");
            SkipSpace();
        }
        return Expect("?>", "a malformed XML declaration");
    }

    // name Eq quoted-value, the value letters, digits, '.', '_' and '-' only.
    bool ReadPseudoAttribute(std::string_view name, std::string& value) {
        if (!Expect(name, "a malformed XML declaration")) return false;
        SkipSpace();
        if (!Expect("=", "a malformed XML declaration")) return false;
        SkipSpace();
        if (AtEnd() || (m_text[m_pos] != '"' && m_text[m_pos] != '\'')) {
            return Fail(XML_MALFORMED, "a malformed XML declaration");
        }
        const char quote = m_text[m_pos++];
        value.clear();
        while (!AtEnd() && m_text[m_pos] != quote) {
            const char c = m_text[m_pos++];
            if (!IsNameChar(c)) return Fail(XML_MALFORMED, "a malformed XML declaration");
            value += c;
        }
        if (value.empty()) return Fail(XML_MALFORMED, "a malformed XML declaration");
        return Expect(std::string_view(&quote, 1), "a malformed XML declaration");
    }

    // White space and comments, before and after the root element.
    bool ReadMisc() {
        for (;;) {
            SkipSpace();
            if (At("<!--")) {
                if (!ReadComment()) return false;
            } else if (At("<!DOCTYPE")) {
                return Fail(XML_UNSUPPORTED, "a document type (entities are never expanded)");
            } else if (At("<?")) {
                return Fail(XML_UNSUPPORTED, "a processing instruction");
            } else {
                return true;
            }
        }
    }

    bool ReadComment() {
        m_pos += 4;
        while (!At("--")) {
            if (AtEnd()) return Fail(XML_MALFORMED, "an unclosed comment");
            if (!ReadChar(nullptr)) return false;
        }
        return Expect("-->", "\"--\" inside a comment");
    }

    bool ReadCData() {
        m_pos += 9;
        while (!Skip("]]>")) {
            if (AtEnd()) return Fail(XML_MALFORMED, "an unclosed CDATA section");
            if (!ReadChar(nullptr)) return false;
        }
        return true;
    }

    // The root element and everything inside it.
    bool ReadElements() {
        if (!ReadStartTag()) return false;
        while (!m_open.empty()) {
            if (!ReadText()) return false;
            if (AtEnd()) return Fail(XML_MALFORMED, "an unclosed element");
            bool read = false;
            if (At("</")) {
                read = ReadEndTag();
            } else if (At("<!--")) {
                read = ReadComment();
            } else if (At("<![CDATA[")) {
                read = ReadCData();
            } else if (At("<?")) {
                read = Fail(XML_UNSUPPORTED, "a processing instruction");
            } else if (At("<!")) {
                read = Fail(XML_MALFORMED, "a markup declaration inside an element");
            } else {
                read = ReadStartTag();
            }
            if (!read) return false;
        }
        return true;
    }

    // Character data up to the next '<': checked, not kept.
    bool ReadText() {
        while (!AtEnd() && m_text[m_pos] != '<') {
            if (m_text[m_pos] == '&') {
                if (!ReadReference(nullptr)) return false;
            } else if (At("]]>")) {
                return Fail(XML_MALFORMED, "\"]]>\" in text");
            } else if (!ReadChar(nullptr)) {
                return false;
            }
        }
        return true;
    }

    // An NCName, or two joined by one ':'.
    bool ReadQName(QName& name) {
        const size_t start = m_pos;
        size_t colon = std::string_view::npos;
        for (;;) {
            if (AtEnd()) break;
            const char c = m_text[m_pos];
            const bool partStart = m_pos == start || m_pos == colon + 1;
            if (c == ':' && colon == std::string_view::npos && !partStart) {
                colon = m_pos++;
            } else if (partStart ? IsNameStart(c) : IsNameChar(c)) {
                ++m_pos;
            } else if (uint8_t(c) >= 0x80 || c == ':') {
                return Fail(XML_UNSUPPORTED, "a name outside ASCII NCNames");
            } else {
                break;
            }
        }
        if (m_pos == start || m_pos == colon + 1) return Fail(XML_MALFORMED, "a name expected");
        name.text = m_text.substr(start, m_pos - start);
        if (colon == std::string_view::npos) {
            name.prefix = {};
            name.local = name.text;
        } else {
            name.prefix = m_text.substr(start, colon - start);
            name.local = m_text.substr(colon + 1, m_pos - colon - 1);
        }
        return true;
    }

    bool ReadReference(std::string* out) {
        ++m_pos;
        if (Skip("#")) {
            const bool hex = Skip("x");
            uint32_t code = 0;
            size_t digits = 0;
            for (; !AtEnd(); ++m_pos, ++digits) {
                const char c = m_text[m_pos];
                int value = IsDigit(c) ? c - '0' : -1;
                if (hex && c >= 'a' && c <= 'f') value = c - 'a' + 10;
                if (hex && c >= 'A' && c <= 'F') value = c - 'A' + 10;
                if (value < 0) break;
                code = code * (hex ? 16 : 10) + uint32_t(value);
                if (code > kMaxCodePoint)
                    return Fail(XML_MALFORMED, "a character reference too large");
            }
            if (digits == 0 || !IsXmlChar(code))
                return Fail(XML_MALFORMED, "a bad character reference");
            if (out != nullptr) AppendUtf8(*out, code);
            return Expect(";", "an unterminated character reference");
        }
        static constexpr std::pair<std::string_view, char> kPredefined[] = {
            {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'}};
        for (const auto& [name, c] : kPredefined) {
            if (Skip(name)) {
                if (out != nullptr) *out += c;
                return true;
            }
        }
        // Without a document type only the five above are defined.
        return Fail(XML_MALFORMED, "an undefined entity");
    }

    // A quoted value: references replaced, each white-space character (and
    // each CR LF pair) one space, as XML normalises a value without a DTD.
    bool ReadAttributeValue(std::string& value) {
        if (AtEnd() || (m_text[m_pos] != '"' && m_text[m_pos] != '\'')) {
            return Fail(XML_MALFORMED, "a quoted value expected");
        }
        const char quote = m_text[m_pos++];
        for (;;) {
            if (AtEnd()) return Fail(XML_MALFORMED, "an unclosed value");
            const char c = m_text[m_pos];
            if (c == quote) break;
            if (c == '<') return Fail(XML_MALFORMED, "'<' in a value");
            if (c == '&') {
                if (!ReadReference(&value)) return false;
            } else if (IsSpace(c)) {
                m_pos += Skip("\r\n") ? 0 : 1;
                value += ' ';
            } else if (!ReadChar(&value)) {
                return false;
            }
        }
        ++m_pos;
        return true;
    }

    bool ReadStartTag() {
        ++m_pos;
        QName name;
        if (!ReadQName(name)) return false;
        if (m_open.size() >= kMaxXmlDepth) return Fail(XML_TOO_LARGE, "elements nested too deep");
        m_attributes.clear();
        bool empty = false;
        for (;;) {
            const bool space = SkipSpace();
            if (Skip("/>")) {
                empty = true;
                break;
            }
            if (Skip(">")) break;
            if (AtEnd()) return Fail(XML_MALFORMED, "an unclosed tag");
            if (!space) return Fail(XML_MALFORMED, "attributes not separated by white space");
            RawAttribute attribute;
            if (!ReadQName(attribute.name)) return false;
            SkipSpace();
            if (!Expect("=", "'=' expected")) return false;
            SkipSpace();
            if (!ReadAttributeValue(attribute.value)) return false;
            if (m_attributes.size() >= kMaxXmlAttributes) {
                return Fail(XML_TOO_LARGE, "too many attributes");
            }
            for (const RawAttribute& other : m_attributes) {
                if (other.name.text == attribute.name.text) {
                    return Fail(XML_MALFORMED, "an attribute given twice");
                }
            }
            m_attributes.push_back(std::move(attribute));
        }
        const size_t depth = m_open.size() + 1;
        if (!Declare(depth)) return false;
        std::string_view uri;
        if (name.prefix == "xmlns") return Fail(XML_MALFORMED, "an element in the xmlns prefix");
        if (!Resolve(name.prefix, uri)) return false;
        m_resolved.clear();
        for (RawAttribute& raw : m_attributes) {
            if (IsDeclaration(raw.name)) continue;
            XmlAttribute attribute{{}, raw.name.local, std::move(raw.value)};
            if (!raw.name.prefix.empty() && !Resolve(raw.name.prefix, attribute.uri)) return false;
            for (const XmlAttribute& other : m_resolved) {
                if (other.uri == attribute.uri && other.local == attribute.local) {
                    return Fail(XML_MALFORMED, "an attribute given twice");
                }
            }
            m_resolved.push_back(std::move(attribute));
        }
        m_visitor.OnStart(uri, name.local, m_resolved);
        if (empty) return Close();
        m_open.push_back(name.text);
        return true;
    }

    bool ReadEndTag() {
        m_pos += 2;
        QName name;
        if (!ReadQName(name)) return false;
        SkipSpace();
        if (!Expect(">", "an unclosed end tag")) return false;
        if (name.text != m_open.back())
            return Fail(XML_MALFORMED, "an end tag that does not match");
        m_open.pop_back();
        return Close();
    }

    // The element at depth m_open.size() + 1 ends.
    bool Close() {
        m_visitor.OnEnd();
        while (!m_bindings.empty() && m_bindings.back().depth > m_open.size()) {
            m_bindings.pop_back();
        }
        return true;
    }

    static bool IsDeclaration(const QName& name) {
        return name.prefix == "xmlns" || (name.prefix.empty() && name.local == "xmlns");
    }

    // The element's namespace declarations, in force from the element on.
    bool Declare(size_t depth) {
        for (const RawAttribute& raw : m_attributes) {
            if (!IsDeclaration(raw.name)) continue;
            const bool prefixed = !raw.name.prefix.empty();
            if (prefixed && (raw.name.local == "xml" || raw.name.local == "xmlns")) {
                return Fail(XML_UNSUPPORTED, "a reserved prefix declared");
            }
            if (prefixed && raw.value.empty()) return Fail(XML_MALFORMED, "a prefix undeclared");
            if (raw.value == kXmlUri || raw.value == kXmlnsUri) {
                return Fail(XML_MALFORMED, "a reserved namespace bound");
            }
            m_bindings.push_back(
                {prefixed ? raw.name.local : std::string_view(), raw.value, depth});
        }
        return true;
    }

    bool Resolve(std::string_view prefix, std::string_view& uri) {
        if (prefix == "xml") return uri = kXmlUri, true;
        for (auto binding = m_bindings.rbegin(); binding != m_bindings.rend(); ++binding) {
            if (binding->prefix == prefix) return uri = binding->uri, true;
        }
        uri = {};
        return prefix.empty() || Fail(XML_MALFORMED, "a prefix that is not declared");
    }

    std::string_view m_text;
    IXmlVisitor& m_visitor;
    size_t m_pos = 0;
    XmlOutcome m_outcome;
    std::vector<std::string_view> m_open;  // the open elements' names
    std::vector<Binding> m_bindings;
    std::vector<RawAttribute> m_attributes;
    std::vector<XmlAttribute> m_resolved;
};
}  // namespace

XmlOutcome ReadXml(std::string_view text, IXmlVisitor& visitor) {
    return CXmlReader(text, visitor).Read();
}

}  // namespace kivrel
