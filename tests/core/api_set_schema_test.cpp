// The API set schema reader: synthetic schemas of the three layouts, and
// damaged ones, which are refused as a whole.
#include "api_set_schema.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "api_set_writer.h"
#include "pe_writer.h"

namespace kivrel {
namespace {

using test::PutU32;
using Bytes = std::vector<uint8_t>;

// Version 2 stores names without "api-"; later versions with it.
std::vector<test::ApiSetEntry> Entries(uint32_t version) {
    const std::string api = version == 2 ? "" : "api-";
    return {{api + "ms-win-core-console-l1-1-0", {"kernel32.dll"}},
            {api + "ms-win-core-com-l1-1-1", {"combase.dll", "ole32.dll"}},
            {api + "ms-win-gone-l1-1-0", {}},
            {api + "ms-win-blank-l1-1-0", {""}},
            {api + "ms-win-odd-l1-1-0", {"\x80.dll"}}};
}

// Version 6 compares the name up to its last hyphen, the others all of it.
// Names joined by '|', each followed by what Find answers: ">host", ">-" (no
// host) or "?" (unknown).
TEST(ApiSetSchema, SyntheticSchemasOfEachVersion) {
    for (const uint32_t version : {2u, 4u, 6u}) {
        SCOPED_TRACE(version);
        const Bytes dll =
            test::BuildApiSetSchemaDll(test::BuildApiSetSection(version, Entries(version)));
        CApiSetSchema schema;
        std::string error, answers;
        ASSERT_TRUE(schema.Load(test::InMemory(dll), error)) << error;
        EXPECT_EQ(schema.Version(), version);
        const std::string lookups = std::string(
                                        "api-ms-win-core-console-l1-1-0.dll>kernel32.dll|"
                                        "API-MS-Win-Core-Com-L1-1-1>combase.dll|") +
                                    (version == 6 ? "api-ms-win-core-com-l1-1-0.dll>combase.dll|"
                                                  : "api-ms-win-core-com-l1-1-0.dll?|") +
                                    "api-ms-win-core-com-l2-1-1.dll?|api-ms-win-gone-l1-1-0.dll>-|"
                                    "api-ms-win-blank-l1-1-0.dll>-|api-ms-win-odd-l1-1-0.dll>-";
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
}

// Each damage patches entry 1 (or the header) of a schema whose entry 0 stays
// intact; nothing of it may be used. Entry 1 lies at 8 + 12, 16 + 24 or 28 + 24;
// versions 2 and 4 keep a value list's count in the list, version 6 in the entry.
TEST(ApiSetSchema, DamagedSchemasAreRefusedWhole) {
    Bytes schemas[7];
    for (const uint32_t version : {2u, 4u, 6u})
        schemas[version] = test::BuildApiSetSection(version, Entries(version));
    auto u32 = [](const Bytes& b, uint32_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
    };
    const uint32_t e2 = 20, e4 = 40, e6 = 52, list2 = u32(schemas[2], e2 + 8),
                   list4 = u32(schemas[4], e4 + 20), list6 = u32(schemas[6], e6 + 16);
    const struct {
        const char* what;
        uint32_t version, at, value;
    } damages[] = {
        {"entry count past the section", 2, 4, 0x10000},
        {"entries past the section", 6, 16, 0xFFFFFF00},
        {"unknown version", 4, 0, 5},
        {"name running off the section", 4, e4 + 8, 0x7FFFFFFE},
        {"compared part longer than the name", 6, e6 + 12, 0x100},
        {"value list past the section", 2, e2 + 8, 0xFFFFFFFC},
        {"value list past the section", 6, e6 + 16, 0xFFFFFFFC},
        {"value count past the section", 4, list4 + 4, 0x40000000},
        {"value count past the section", 6, e6 + 20, 0x40000000},
        {"host running off the section", 2, list2 + 4 + 12, 0x1000},
        {"host running off the section", 6, list6 + 16, 0x1000},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(std::to_string(damage.version) + ": " + damage.what);
        Bytes section = schemas[damage.version];
        PutU32(section, damage.at, damage.value);
        CApiSetSchema schema;
        std::string error, host;
        EXPECT_FALSE(
            schema.LoadSection(section.data(), static_cast<uint32_t>(section.size()), error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(schema.Find("api-ms-win-core-console-l1-1-0.dll", host),
                  CApiSetSchema::APISET_UNKNOWN);
    }
    for (const Bytes& file :
         {test::PeBuilder().Pe32Plus().Build(), Bytes{'M', 'Z'}, test::BuildApiSetSchemaDll({})}) {
        CApiSetSchema schema;
        std::string error;
        EXPECT_FALSE(schema.Load(test::InMemory(file), error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace kivrel
