// The elements a reader reports as one line of text, `<{uri}name {uri}attr="value">`
// for a start and `</>` for an end: our reader's, and (where expat is built
// in) expat's, for the manifest tests and fuzz target to compare.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xml_reader.h"

#if KIVREL_HAVE_EXPAT
#include <expat.h>
#endif

namespace kivrel::test {

class CEventLine : public IXmlVisitor {
public:
    std::string line;
    void OnStart(std::string_view uri, std::string_view local,
                 const std::vector<XmlAttribute>& attributes) override {
        line.append("<{").append(uri).append("}").append(local);
        for (const XmlAttribute& a : attributes) {
            line += a.uri.empty() ? " " : " {" + std::string(a.uri) + "}";
            line.append(a.local).append("=\"").append(a.value).append("\"");
        }
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
// Expat's line with namespace processing, or "!" for a document it finds not
// well-formed. Only for what our reader accepted or trusted text: expat
// expands the entities a document type defines.
inline std::string ExpatEvents(std::string_view text) {
    // Expat joins URI and name with a character no XML name or URI holds.
    static auto split = [](std::string_view name, std::string_view& uri) {
        const size_t at = name.find('\x01');
        uri = at == std::string_view::npos ? std::string_view() : name.substr(0, at);
        return at == std::string_view::npos ? name : name.substr(at + 1);
    };
    CEventLine events;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetUserData(parser, &events);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            std::vector<XmlAttribute> list;
            for (; *attributes != nullptr; attributes += 2) {
                std::string_view uri;
                const std::string_view local = split(attributes[0], uri);
                list.push_back({uri, local, attributes[1]});
            }
            std::string_view uri;
            const std::string_view local = split(name, uri);
            static_cast<CEventLine*>(data)->OnStart(uri, local, list);
        },
        [](void* data, const XML_Char*) { static_cast<CEventLine*>(data)->OnEnd(); });
    const bool ok = XML_Parse(parser, text.data(), int(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok ? events.line : "!";
}
#endif

}  // namespace kivrel::test
