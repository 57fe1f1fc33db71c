// The API set schema reader: Wine's own schemas, synthetic schemas of the
// three layouts, and damaged ones, which are refused as a whole.
#include "api_set_schema.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "api_set_writer.h"
#include "mapped_image.h"
#include "pe_writer.h"

namespace kivrel {
namespace {

using test::ApiSetLayout;
using test::PutU32;
using Bytes = std::vector<uint8_t>;

// `lookups`: names joined by '|', each followed by what Find answers:
// ">host", ">-" (no host) or "?" (unknown).
void ExpectLookups(const Bytes& dll, uint32_t version, const std::string& lookups) {
    const CMappedImage image(dll.data(), static_cast<uint32_t>(dll.size()));
    CApiSetSchema schema;
    std::string error, answers;
    ASSERT_TRUE(schema.Load(image, error)) << error;
    EXPECT_EQ(schema.Version(), version);
    std::istringstream in(lookups);
    for (std::string name; std::getline(in, name, '|');) {
        name = name.substr(0, name.find_first_of(">?"));
        std::string host = "stale";
        const auto lookup = schema.Find(name, host);
        answers += (answers.empty() ? "" : "|") + name +
                   (lookup == CApiSetSchema::APISET_HOST      ? ">" + host
                    : lookup == CApiSetSchema::APISET_NO_HOST ? ">-" + host
                                                              : "?" + host);
    }
    EXPECT_EQ(answers, lookups);
}

TEST(ApiSetSchema, WineSchemasMapKnownNames) {
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                               "/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
        const CMappedImage image((std::string(folder) + "/apisetschema.dll").c_str());
        if (image.OpenError() != 0) GTEST_SKIP() << "no Wine schema in " << folder;
        // A lower minor version matches the entry ...-synch-l1-2-1.
        ExpectLookups(Bytes(image.View(), image.View() + image.FileSize()), 6,
                      "api-ms-win-crt-stdio-l1-1-0.dll>ucrtbase.dll|"
                      "API-MS-WIN-CORE-SYNCH-L1-2-0.DLL>kernelbase.dll|"
                      "api-ms-win-core-synch-l1-2-0.>kernelbase.dll|"
                      "ext-ms-win-wlan-scard-l1-1-0.dll>winscard.dll|"
                      "api-ms-win-core-synch-l1-9-0.dll?|kernel32.dll?");
    }
}

// Version 2 stores names without "api-"; later versions with it.
std::vector<test::ApiSetEntrySpec> Entries(uint32_t version) {
    const std::string api = version == 2 ? "" : "api-";
    return {{api + "ms-win-core-console-l1-1-0", {"kernel32.dll"}},
            {api + "ms-win-core-com-l1-1-1", {"combase.dll", "ole32.dll"}},
            {api + "ms-win-gone-l1-1-0", {}},
            {api + "ms-win-blank-l1-1-0", {""}},
            {api + "ms-win-odd-l1-1-0", {"\x80.dll"}}};
}

// Version 6 compares the name up to its last hyphen, the others all of it.
TEST(ApiSetSchema, SyntheticSchemasOfEachVersion) {
    for (const uint32_t version : {2u, 4u, 6u}) {
        SCOPED_TRACE(version);
        ExpectLookups(
            test::BuildApiSetSchemaDll(test::BuildApiSetSection(version, Entries(version))),
            version,
            std::string("api-ms-win-core-console-l1-1-0.dll>kernel32.dll|"
                        "API-MS-Win-Core-Com-L1-1-1>combase.dll|") +
                (version == 6 ? "api-ms-win-core-com-l1-1-0.dll>combase.dll|"
                              : "api-ms-win-core-com-l1-1-0.dll?|") +
                "api-ms-win-core-com-l2-1-1.dll?|api-ms-win-gone-l1-1-0.dll>-|"
                "api-ms-win-blank-l1-1-0.dll>-|api-ms-win-odd-l1-1-0.dll>-");
    }
}

// Each damage patches entry 1 (or the header) of a schema whose entry 0 stays
// intact; nothing of it may be used.
TEST(ApiSetSchema, DamagedSchemasAreRefusedWhole) {
    using Patch = void (*)(Bytes&, const ApiSetLayout&, uint32_t version);
    const struct {
        const char* what;
        bool v6Only;
        Patch apply;
    } damages[] = {
        // clang-format off
        {"entry count past the section", false, [](Bytes& b, const ApiSetLayout& l, uint32_t) { PutU32(b, l.countField, 0x10000); }},
        {"name running off the section", false, [](Bytes& b, const ApiSetLayout& l, uint32_t v) { PutU32(b, l.entries + l.entrySize + (v == 2 ? 4 : 8), 0x7FFFFFFE); }},
        {"value list past the section", false, [](Bytes& b, const ApiSetLayout& l, uint32_t v) { PutU32(b, l.entries + l.entrySize + (v == 2 ? 8 : v == 4 ? 20 : 16), 0xFFFFFFFC); }},
        {"value count past the section", false, [](Bytes& b, const ApiSetLayout& l, uint32_t v) {
             PutU32(b, v == 6 ? l.entries + l.entrySize + 20 : l.valueLists[1] + (v == 2 ? 0 : 4), 0x40000000); }},
        {"host running off the section", false, [](Bytes& b, const ApiSetLayout& l, uint32_t v) {
             PutU32(b, l.valueLists[1] + (v == 2 ? 4 : v == 4 ? 8 : 0) + (v == 2 ? 12 : 16), 0x1000); }},
        {"compared part longer than the name", true, [](Bytes& b, const ApiSetLayout& l, uint32_t) { PutU32(b, l.entries + l.entrySize + 12, 0x100); }},
        {"entries past the section", true, [](Bytes& b, const ApiSetLayout&, uint32_t) { PutU32(b, 16, 0xFFFFFF00); }},
        {"unknown version", false, [](Bytes& b, const ApiSetLayout&, uint32_t) { PutU32(b, 0, 5); }},
        // clang-format on
    };
    for (const uint32_t version : {2u, 4u, 6u}) {
        for (const auto& damage : damages) {
            if (damage.v6Only && version != 6) continue;
            SCOPED_TRACE(std::to_string(version) + ": " + damage.what);
            ApiSetLayout layout;
            Bytes section = test::BuildApiSetSection(version, Entries(version), &layout);
            damage.apply(section, layout, version);
            CApiSetSchema schema;
            std::string error, host;
            EXPECT_FALSE(
                schema.LoadSection(section.data(), static_cast<uint32_t>(section.size()), error));
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(schema.Find("api-ms-win-core-console-l1-1-0.dll", host),
                      CApiSetSchema::APISET_UNKNOWN);
        }
    }
    for (const Bytes& file :
         {test::PeBuilder().Pe32Plus().Build(), Bytes{'M', 'Z'}, test::BuildApiSetSchemaDll({})}) {
        const CMappedImage image(file.data(), static_cast<uint32_t>(file.size()));
        CApiSetSchema schema;
        std::string error;
        EXPECT_FALSE(schema.Load(image, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace kivrel
