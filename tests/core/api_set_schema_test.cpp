// The API set schema reader: Wine's own schemas, synthetic schemas of the
// three layouts, and damaged ones, which must be refused as a whole.
#include "api_set_schema.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_set_writer.h"
#include "mapped_image.h"
#include "pe_writer.h"

namespace kivrel {
namespace {

using test::ApiSetEntrySpec;
using test::PutU32;
using Bytes = std::vector<uint8_t>;

struct Expected {
    const char* name;
    CApiSetSchema::Lookup lookup;
    const char* host;
};

void ExpectLookups(const CApiSetSchema& schema, const std::vector<Expected>& table,
                   const std::string& where) {
    for (const Expected& e : table) {
        std::string host = "stale";
        EXPECT_EQ(schema.Find(e.name, host), e.lookup) << where << ": " << e.name;
        EXPECT_EQ(host, e.host) << where << ": " << e.name;
    }
}

TEST(ApiSetSchema, WineSchemasMapKnownNames) {
    const std::vector<Expected> table = {
        {"api-ms-win-crt-stdio-l1-1-0.dll", CApiSetSchema::APISET_HOST, "ucrtbase.dll"},
        // A lower minor version matches the entry ...-l1-2-1.
        {"api-ms-win-core-synch-l1-2-0.dll", CApiSetSchema::APISET_HOST, "kernelbase.dll"},
        {"API-MS-WIN-CORE-SYNCH-L1-2-0.DLL", CApiSetSchema::APISET_HOST, "kernelbase.dll"},
        {"api-ms-win-core-synch-l1-2-0.", CApiSetSchema::APISET_HOST, "kernelbase.dll"},
        {"ext-ms-win-wlan-scard-l1-1-0.dll", CApiSetSchema::APISET_HOST, "winscard.dll"},
        {"api-ms-win-core-synch-l1-9-0.dll", CApiSetSchema::APISET_UNKNOWN, ""},
        {"api-ms-win-no-such-set-l1-1-0.dll", CApiSetSchema::APISET_UNKNOWN, ""},
        {"kernel32.dll", CApiSetSchema::APISET_UNKNOWN, ""},
    };
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                               "/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
        const std::string path = std::string(folder) + "/apisetschema.dll";
        const CMappedImage image(path.c_str());
        if (image.OpenError() != 0) GTEST_SKIP() << "no Wine schema at " << path;
        CApiSetSchema schema;
        std::string error;
        ASSERT_TRUE(schema.Load(image, error)) << path << ": " << error;
        EXPECT_EQ(schema.Version(), 6u);
        EXPECT_GT(schema.size(), 400u) << path;
        ExpectLookups(schema, table, path);
    }
}

TEST(ApiSetSchema, SyntheticSchemasOfEachVersion) {
    // Version 2 stores names without "api-"; later versions with it.
    auto entries = [](uint32_t version) {
        const std::string prefix = version == 2 ? "" : "api-";
        return std::vector<ApiSetEntrySpec>{
            {prefix + "ms-win-core-console-l1-1-0", {"kernel32.dll"}},
            {prefix + "ms-win-core-com-l1-1-1", {"combase.dll", "ole32.dll"}},
            {prefix + "ms-win-gone-l1-1-0", {}},
            {prefix + "ms-win-blank-l1-1-0", {""}},
        };
    };
    struct Case {
        uint32_t version;
        std::vector<Expected> lookups;
    };
    const std::vector<Case> cases = {
        {2,
         {{"api-ms-win-core-console-l1-1-0.dll", CApiSetSchema::APISET_HOST, "kernel32.dll"},
          {"API-MS-Win-Core-Com-L1-1-1.dll", CApiSetSchema::APISET_HOST, "combase.dll"},
          {"api-ms-win-core-com-l1-1-0.dll", CApiSetSchema::APISET_UNKNOWN, ""},
          {"api-ms-win-gone-l1-1-0.dll", CApiSetSchema::APISET_NO_HOST, ""},
          {"api-ms-win-blank-l1-1-0.dll", CApiSetSchema::APISET_NO_HOST, ""}}},
        {4,
         {{"api-ms-win-core-console-l1-1-0", CApiSetSchema::APISET_HOST, "kernel32.dll"},
          {"api-ms-win-core-com-l1-1-1.dll", CApiSetSchema::APISET_HOST, "combase.dll"},
          {"api-ms-win-core-com-l1-1-0.dll", CApiSetSchema::APISET_UNKNOWN, ""},
          {"api-ms-win-gone-l1-1-0.dll", CApiSetSchema::APISET_NO_HOST, ""}}},
        {6,
         {{"api-ms-win-core-console-l1-1-0.dll", CApiSetSchema::APISET_HOST, "kernel32.dll"},
          {"api-ms-win-core-com-l1-1-0.dll", CApiSetSchema::APISET_HOST, "combase.dll"},
          {"api-ms-win-core-com-l2-1-1.dll", CApiSetSchema::APISET_UNKNOWN, ""},
          {"api-ms-win-gone-l1-1-0.dll", CApiSetSchema::APISET_NO_HOST, ""},
          {"api-ms-win-blank-l1-1-3.dll", CApiSetSchema::APISET_NO_HOST, ""}}},
    };
    for (const Case& c : cases) {
        const Bytes dll =
            test::BuildApiSetSchemaDll(test::BuildApiSetSection(c.version, entries(c.version)));
        const CMappedImage image(dll.data(), static_cast<uint32_t>(dll.size()));
        CApiSetSchema schema;
        std::string error;
        ASSERT_TRUE(schema.Load(image, error)) << "version " << c.version << ": " << error;
        EXPECT_EQ(schema.Version(), c.version);
        ExpectLookups(schema, c.lookups, "version " + std::to_string(c.version));
    }
}

TEST(ApiSetSchema, DamagedSchemasAreRefusedWhole) {
    const std::vector<ApiSetEntrySpec> entries = {
        {"api-ms-win-core-console-l1-1-0", {"kernel32.dll"}},
        {"api-ms-win-core-file-l1-2-0", {"kernelbase.dll"}},
    };
    // Each damage patches one field of entry 1 (or the header) of a schema
    // whose entry 0 stays intact.
    struct Damage {
        const char* what;
        uint32_t versionMask;  // bit v: applies to version v
        void (*apply)(Bytes&, const test::ApiSetLayout&, uint32_t version);
    };
    const uint32_t all = (1u << 2) | (1u << 4) | (1u << 6);
    const std::vector<Damage> damages = {
        {"entry count past the section", all,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t) { PutU32(b, l.countField, 0x10000); }},
        {"entry count beyond any schema", all,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t) {
             PutU32(b, l.countField, 0xFFFFFFFF);
         }},
        {"name offset past the section", all,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t v) {
             PutU32(b, l.entries + l.entrySize + (v == 2 ? 0 : 4), 0xFFFFFFF0);
         }},
        {"name running off the section", all,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t v) {
             PutU32(b, l.entries + l.entrySize + (v == 2 ? 4 : 8), 0x7FFFFFFE);
         }},
        {"value list past the section", all,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t v) {
             PutU32(b, l.entries + l.entrySize + (v == 2 ? 8 : v == 4 ? 20 : 16), 0xFFFFFFFC);
         }},
        {"value count past the section", all,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t v) {
             if (v == 6)
                 PutU32(b, l.entries + l.entrySize + 20, 0x40000000);
             else
                 PutU32(b, l.valueLists[1] + (v == 2 ? 0 : 4), 0x40000000);
         }},
        {"host running off the section", all,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t v) {
             const uint32_t value = l.valueLists[1] + (v == 2 ? 4 : v == 4 ? 8 : 0);
             PutU32(b, value + (v == 2 ? 12 : 16), 0x1000);
         }},
        {"compared part longer than the name", 1u << 6,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t) {
             PutU32(b, l.entries + l.entrySize + 12, 0x100);
         }},
        {"entries past the section", 1u << 6,
         [](Bytes& b, const test::ApiSetLayout&, uint32_t) { PutU32(b, 16, 0xFFFFFF00); }},
        {"unknown version", all,
         [](Bytes& b, const test::ApiSetLayout&, uint32_t) { PutU32(b, 0, 5); }},
        {"cut after the header", all,
         [](Bytes& b, const test::ApiSetLayout& l, uint32_t) { b.resize(l.entries + 4); }},
    };
    for (uint32_t version : {2u, 4u, 6u}) {
        std::vector<ApiSetEntrySpec> stored = entries;
        if (version == 2) {
            for (auto& e : stored) e.name = e.name.substr(4);
        }
        for (const Damage& damage : damages) {
            if ((damage.versionMask & (1u << version)) == 0) continue;
            test::ApiSetLayout layout;
            Bytes section = test::BuildApiSetSection(version, stored, &layout);
            damage.apply(section, layout, version);
            CApiSetSchema schema;
            std::string error;
            EXPECT_FALSE(
                schema.LoadSection(section.data(), static_cast<uint32_t>(section.size()), error))
                << "version " << version << ": " << damage.what;
            EXPECT_FALSE(schema.IsLoaded());
            EXPECT_FALSE(error.empty());
            std::string host;
            EXPECT_EQ(schema.Find("api-ms-win-core-console-l1-1-0.dll", host),
                      CApiSetSchema::APISET_UNKNOWN)
                << "version " << version << ": " << damage.what;
        }
    }
}

TEST(ApiSetSchema, FilesWithoutASchema) {
    const Bytes noSection = test::PeBuilder().Pe32Plus().Dll().Import("ntdll.dll").Build();
    const Bytes notPe = {'M', 'Z', 0, 0};
    const Bytes emptySection = test::BuildApiSetSchemaDll({});
    for (const Bytes* bytes : {&noSection, &notPe, &emptySection}) {
        const CMappedImage image(bytes->data(), static_cast<uint32_t>(bytes->size()));
        CApiSetSchema schema;
        std::string error;
        EXPECT_FALSE(schema.Load(image, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace kivrel
