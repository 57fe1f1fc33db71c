// The elements a reader reports, as one line of text: `<{uri}name {uri}attr="value">`
// for a start, `</>` for an end. The manifest tests and the fuzz target compare
// our reader's line with expat's (where expat is built in) on the same bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xml_reader.h"

#if KIVREL_HAVE_EXPAT
#include <expat.h>
#endif

namespace kivrel::test {

inline void AppendStart(std::string& out, std::string_view uri, std::string_view local) {
    out += "<{";
    out.append(uri).append("}").append(local);
}
inline void AppendAttribute(std::string& out, std::string_view uri, std::string_view local,
                            std::string_view value) {
    out += uri.empty() ? " " : " {" + std::string(uri) + "}";
    out.append(local).append("=\"").append(value).append("\"");
}

class CEventLine : public IXmlVisitor {
public:
    std::string line;
    void OnStart(std::string_view uri, std::string_view local,
                 const std::vector<XmlAttribute>& attributes) override {
        AppendStart(line, uri, local);
        for (const XmlAttribute& a : attributes) AppendAttribute(line, a.uri, a.local, a.value);
        line += ">";
    }
    void OnEnd() override { line += "</>"; }
};

// Our reader's line, or "!" and the error's number when it refuses.
inline std::string OurEvents(std::string_view text) {
    CEventLine events;
    const XmlOutcome outcome = ReadXml(text, events);
    return outcome.error == XML_OK ? events.line : "!" + std::to_string(outcome.error);
}

#if KIVREL_HAVE_EXPAT
// Expat's line with namespace processing, or "!" when it finds the document
// not well-formed. Call it only on what our reader accepted or on trusted
// text: it expands what a document type defines.
inline std::string ExpatEvents(std::string_view text) {
    constexpr char kSeparator = '\x01';  // no XML character: it cannot occur in a name or URI
    auto split = [](std::string_view name, std::string_view& uri, std::string_view& local) {
        const size_t at = name.find(kSeparator);
        uri = at == std::string_view::npos ? std::string_view() : name.substr(0, at);
        local = at == std::string_view::npos ? name : name.substr(at + 1);
    };
    struct State {
        std::string line;
        decltype(split)& Split;
    } state{{}, split};
    XML_Parser parser = XML_ParserCreateNS(nullptr, kSeparator);
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            State& s = *static_cast<State*>(data);
            std::string_view uri, local;
            s.Split(name, uri, local);
            AppendStart(s.line, uri, local);
            for (; *attributes != nullptr; attributes += 2) {
                s.Split(attributes[0], uri, local);
                AppendAttribute(s.line, uri, local, attributes[1]);
            }
            s.line += ">";
        },
        [](void* data, const XML_Char*) { static_cast<State*>(data)->line += "</>"; });
    const bool ok = XML_Parse(parser, text.data(), int(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok ? state.line : "!";
}
#endif

}  // namespace kivrel::test
