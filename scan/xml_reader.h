// A bounded reader of the XML that manifests are written in: well-formed XML
// 1.0 with namespaces, in UTF-8, without a document type. It reports elements
// and their attributes and checks everything else (text, comments, CDATA,
// references) without keeping it. What it does not support it refuses; what
// it accepts, expat accepts and reads the same (the manifest tests compare the
// two on real manifests, and a fuzz target on everything it makes).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

// Limits that keep a hostile document's cost in proportion to its size.
constexpr size_t kMaxXmlSize = 1 << 20;
constexpr size_t kMaxXmlDepth = 64;
constexpr size_t kMaxXmlAttributes = 64;  // per element

struct XmlAttribute {
    std::string_view uri;    // "" for an attribute without prefix
    std::string_view local;  // the name after the prefix
    std::string value;       // with references replaced and white space normalised
};

// Receives the elements in document order; the views live for the call only.
class IXmlVisitor {
public:
    virtual ~IXmlVisitor() = default;
    // Namespace declarations (xmlns, xmlns:p) are not among the attributes.
    virtual void OnStart(std::string_view uri, std::string_view local,
                         const std::vector<XmlAttribute>& attributes) = 0;
    virtual void OnEnd() = 0;
};

enum XmlError {
    XML_OK,
    XML_TOO_LARGE,    // longer than kMaxXmlSize, deeper than kMaxXmlDepth or too many attributes
    XML_UNSUPPORTED,  // well-formed perhaps, but outside what is read (DOCTYPE, another
                      // encoding...)
    XML_MALFORMED,    // not well-formed XML
};

struct XmlOutcome {
    XmlError error = XML_OK;
    size_t offset = 0;        // where the reader stopped
    const char* reason = "";  // for a message
};

// Reads a whole document. On an error the visitor may have seen part of it.
XmlOutcome ReadXml(std::string_view text, IXmlVisitor& visitor);

}  // namespace kivrel
