// The manifest reader: the XML it accepts (and the elements it reports) and
// refuses, and what a manifest yields. The same documents are compared with
// expat in the cross-check tests (tests/fuzz/corpus-manifest holds them).
#include "manifest.h"

#include <gtest/gtest.h>

#include "xml_events.h"

namespace kivrel {
namespace {

using test::OurEvents;
const std::string kMalformed = "!" + std::to_string(XML_MALFORMED),
                  kUnsupported = "!" + std::to_string(XML_UNSUPPORTED),
                  kTooLarge = "!" + std::to_string(XML_TOO_LARGE);

// `depth` elements, one inside the other; as a document, or as the reader reports it.
std::string Nested(size_t depth, const std::string& start = "<a>",
                   const std::string& end = "</a>") {
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += start;
    for (size_t i = 0; i < depth; ++i) text += end;
    return text;
}

TEST(XmlReader, ElementsOrRefusal) {
    const std::string longValue(300000, 'v');
    const struct {
        const char* what;
        std::string text, events;
    } rows[] = {
        {"declaration, BOM, comments, namespaces",
         "\xEF\xBB\xBF<?xml version='1.0' encoding=\"utf-8\" standalone='yes' ?>\n<!-- c -->"
         "<a xmlns='u' xmlns:p=\"v\" p:x='1' y=\"2\"><p:b xml:lang='en'/><c "
         "xmlns=''/></a>\n<!---->",
         "<{u}a {v}x=\"1\" y=\"2\"><{v}b {http://www.w3.org/XML/1998/namespace}lang=\"en\"></>"
         "<{}c></></>"},
        {"values: references, white space, CR LF",
         "<a x=\"&#9;&#x41;&#x6f;&lt;&amp;&quot;&apos;>\r\n\tb\rc\"/>",
         "<{}a x=\"\tAo<&\"'>  b c\"></>"},
        {"text, CDATA, references in text", "<a>t &gt; &#x10FFFF; <![CDATA[<&]]></a>", "<{}a></>"},
        {"a value of any length", "<a x='" + longValue + "'/>", "<{}a x=\"" + longValue + "\"></>"},
        {"64 levels", Nested(64), Nested(64, "<{}a>", "</>")},
        {"65 levels", Nested(65), kTooLarge},
        {"over 1 MiB", "<a>" + std::string(kMaxXmlSize, ' ') + "</a>", kTooLarge},
        {"65 attributes",
         [] {
             std::string t = "<a";
             for (int i = 0; i < 65; ++i) t += " a" + std::to_string(i) + "=''";
             return t + "/>";
         }(),
         kTooLarge},
        {"a document type: entities are never expanded",
         "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", kUnsupported},
        {"another encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", kUnsupported},
        {"a processing instruction", "<a><?pi x?></a>", kUnsupported},
        {"a name outside ASCII", "<\xC3\xA9/>", kUnsupported},
        {"a late declaration", " <?xml version='1.0'?><a/>", kUnsupported},
        {"an attribute twice after expansion", "<a xmlns:p='u' xmlns:q='u' p:x='' q:x=''/>",
         kMalformed},
        {"the xml namespace bound as default", "<a xmlns='http://www.w3.org/XML/1998/namespace'/>",
         kMalformed},
    };
    for (const auto& row : rows) EXPECT_EQ(OurEvents(row.text), row.events) << row.what;
    // Malformed too: empty, cut, unclosed or mismatched, attributes twice or not
    // apart, undeclared prefixes and entities, '<' in a value, bad characters and
    // references, "--" in a comment, "]]>" in text, more after the root, xmlns:p=''.
    for (const char* text :
         {"", "<a><b></b", "<a>", "<a></b>", "<a x='1' x='2'/>", "<a x='1'y='2'/>", "<p:a/>",
          "<a>&e;</a>", "<a x='<'/>", "<a>\xC0\x80</a>", "<a>\xED\xA0\x80</a>", "<a>\x01</a>",
          "<a>&#0;</a>", "<a>&#x110000;</a>", "<!-- a -- b --><a/>", "<a>]]></a>", "<a/>t",
          "<a/><b/>", "<a xmlns:p=''/>"})
        EXPECT_EQ(OurEvents(text), kMalformed) << text;
}

// An application's dependencies (one optional, one in another namespace that
// is not read), an assembly's identity and files, a policy's redirections.
TEST(Manifest, WhatEachKindYields) {
    const std::string application =
        std::string(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
            "  <assemblyIdentity name=\"Kivrel.App\" version=\"1.0.0.0\" type=\"win32\"/>\n"
            "  <dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
            "name=\"Microsoft.VC90.CRT\" version=\"9.0.21022.8\" processorArchitecture=\"x86\" "
            "publicKeyToken=\"1fc8b3b9a1e18e3b\"/></dependentAssembly></dependency>\n"
            "  <dependency optional=\"yes\"><dependentAssembly><assemblyIdentity "
            "name=\"Extra\" version=\"1.0.0.0\" language=\"*\"/></dependentAssembly></dependency>\n"
            "  <dependency><dependentAssembly/></dependency>\n"
            "  <v3:dependency xmlns:v3=\"urn:schemas-microsoft-com:asm.v3\"><dependentAssembly>"
            "<assemblyIdentity name=\"Other\"/></dependentAssembly></v3:dependency>\n"
            "</assembly>\n") +
        std::string(2, '\0');
    Manifest manifest;
    std::string error;
    ASSERT_TRUE(ReadManifest(application, manifest, error)) << error;
    EXPECT_EQ(manifest.identity.name, "Kivrel.App");
    ASSERT_EQ(manifest.dependencies.size(), 2u);
    const AssemblyIdentity& crt = manifest.dependencies[0].identity;
    EXPECT_EQ(crt.name + "/" + crt.version + "/" + crt.processorArchitecture + "/" +
                  crt.publicKeyToken + "/" + crt.language,
              "Microsoft.VC90.CRT/9.0.21022.8/x86/1fc8b3b9a1e18e3b/");
    EXPECT_FALSE(manifest.dependencies[0].optional);
    EXPECT_TRUE(manifest.dependencies[1].optional);

    const std::string assembly =
        "<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><assemblyIdentity name='A' "
        "version='1.0.0.0'/><file name='a.dll'/><file name='..\\b.dll'/><file name='c/d.dll'/>"
        "<file name='*.dll'/><file name='..'/><file/><file name='E.DLL'><x/></file></assembly>";
    ASSERT_TRUE(ReadManifest(assembly, manifest, error)) << error;
    EXPECT_EQ(manifest.files, (std::vector<std::string>{"a.dll", "E.DLL"}));

    const std::string policy =
        "<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><dependency><dependentAssembly>"
        "<assemblyIdentity name='A'/><bindingRedirect oldVersion='9.0.0.0-9.0.30729.6161' "
        "newVersion='9.0.30729.6161'/></dependentAssembly></dependency></assembly>";
    ASSERT_TRUE(ReadManifest(policy, manifest, error)) << error;
    ASSERT_EQ(manifest.dependencies.at(0).redirects.size(), 1u);
    for (const auto& [from, to] : {std::pair{"9.0.0.0", "9.0.30729.6161"},
                                   {"9.0.30729.6161", "9.0.30729.6161"},
                                   {"9.0.30729.6162", ""}}) {
        AssemblyVersion version, target;
        ASSERT_TRUE(AssemblyVersion::Parse(from, version));
        const bool covered = manifest.dependencies[0].redirects[0].Covers(version, target);
        EXPECT_EQ(covered ? target.ToString() : "", to) << from;
    }

    for (const char* refused : {"<assembly/>", "<x:assembly xmlns:x='urn:other'/>",
                                "<assembly xmlns='urn:schemas-microsoft-com:asm.v1'>"}) {
        EXPECT_FALSE(ReadManifest(refused, manifest, error)) << refused;
        EXPECT_FALSE(error.empty());
    }
}

TEST(Manifest, VersionsAndLookupSafeIdentities) {
    AssemblyVersion version;
    for (const char* bad : {"1.0.0", "1.0.0.0.0", "1.0.0.65536", "1..0.0", "1.0.0.0 ", "-1.0.0.0"})
        EXPECT_FALSE(AssemblyVersion::Parse(bad, version)) << bad;
    EXPECT_TRUE(AssemblyVersion::Parse("65535.0.0.65535", version));
    const AssemblyIdentity safe{"",  "Microsoft.VC90.CRT", "9.0.21022.8",
                                "*", "1fc8b3b9a1e18e3b",   "en-us"};
    EXPECT_TRUE(IsLookupSafe(safe));
    for (const char* name : {"..\\x", "a/b", "a*", "..", ""}) {
        AssemblyIdentity identity = safe;
        identity.name = name;
        EXPECT_FALSE(IsLookupSafe(identity)) << name;
    }
    for (std::string AssemblyIdentity::*field :
         {&AssemblyIdentity::version, &AssemblyIdentity::processorArchitecture,
          &AssemblyIdentity::publicKeyToken, &AssemblyIdentity::language}) {
        AssemblyIdentity identity = safe;
        identity.*field = "9.0\\*";
        EXPECT_FALSE(IsLookupSafe(identity));
    }
}

}  // namespace
}  // namespace kivrel
