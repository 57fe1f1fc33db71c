// What the loader rules read: the KnownDLLs list from each of its sources, a
// Wine registry file's key, a Wine prefix's folders, and API set schemas of
// the three layouts (damaged ones are refused as a whole).
#include <gtest/gtest.h>

#include "api_set_schema.h"
#include "api_set_writer.h"
#include "fake_platform.h"
#include "known_dlls.h"
#include "loader_folders.h"
#include "temp_dir.h"
#include "wine_registry.h"

namespace kivrel {
namespace {

using Bytes = std::vector<uint8_t>;

const char* const kKey =
    "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\KnownDLLs] 1\n";

std::string Strings(const std::string& file, RegistryRead expected) {
    std::vector<RegistryString> values;
    const auto* data = reinterpret_cast<const uint8_t*>(file.data());
    EXPECT_EQ(ReadRegistryStrings(data, uint32_t(file.size()), {"a\\b", "c\\KnownDLLs"}, values),
              expected);
    std::string text;
    for (const RegistryString& value : values) text += "|" + value.name + "=" + value.data;
    return text;
}

// Plain strings of the keys asked for, escapes undone; everything else passed over.
TEST(WineRegistry, PlainStringsOfTheKeysAskedFor) {
    const std::string head = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
    EXPECT_EQ(Strings("REGEDIT4\n[a\\\\b]\n\"x\"=\"y\"\n", REGISTRY_NOT_WINE), "");
    EXPECT_EQ(Strings(head + "[a\\\\c] 1\n\"x\"=\"y\"\n", REGISTRY_KEY_ABSENT), "");
    EXPECT_EQ(Strings(head +
                          "[A\\\\B] 1\r\n#time=1\r\n\"x\"=\"k.dll\"\r\n"
                          "\"q\\\"\\\\\"=\"a\\\\b\\x00411\\1010\"\n"  // q"\ = a\bA1A0
                          "\"e\"=str(2):\"%SystemRoot%\"\n\"d\"=dword:00000001\n@=\"default\"\n"
                          "\"wide\"=\"\\xe9.dll\"\n\"ctl\"=\"a\\tb\"\n\"del\"=\"\\x7f\"\n"
                          "\"open\"=\"k.dll\n\"" +
                          std::string(300, 'n') +
                          "\"=\"long\"\n"
                          "[a\\\\b\\\\sub] 1\n\"x\"=\"sub\"\n"
                          "[c\\\\Known\\]DLLs] 1\n\"x\"=\"bracket\"\n"
                          "[c\\\\knowndlls] 1\n\"y\"=\"two\"\n",
                      REGISTRY_KEY_FOUND),
              "|x=k.dll|q\"\\=a\\bA1A0|y=two");
}

// Each source of the list, and the name forms that match it.
TEST(KnownDlls, SourcesAndNames) {
    test::TempDir dir;
    test::FakePlatform platform;
    const std::string withKey =
        dir.WriteText("key.reg", std::string("WINE REGISTRY Version 2\n") + kKey +
                                     "\"kernel32\"=\"kernel32.dll\"\n\"DllDirectory\"=\"C:\\\\x\"\n"
                                     "\"DllDirectory32\"=\"c:\\\\y\"\n\"mine\"=\"MINE\"\n");
    const std::string noKey = dir.WriteText("nokey.reg", "WINE REGISTRY Version 2\n");
    const std::string list = dir.WriteText("list.txt", "# mine\r\n  Own.DLL \r\n\nother\n");
    const std::string empty = dir.WriteText("empty.txt", "");
    struct Row {
        KnownDllsSource source;
        int count;  // -1: the built-in list's
        const char* known;
        const char* unknown;
    } rows[] = {
        {{},
         -1,
         "KERNEL32.DLL|kernel32|kernel32.|ws2_32.dll",
         "kernelbase.dll|kernel32.exe|own.dll"},
        {{list, std::nullopt}, 2, "own.dll|OTHER.dll|own", "kernel32.dll|own.exe"},
        {{list, withKey}, 2, "own.dll", "kernel32.dll"},
        {{empty, std::nullopt}, 0, "", "kernel32.dll"},
        {{std::nullopt, withKey}, 2, "kernel32.dll|mine.dll", "ole32.dll|c:\\x"},
        {{std::nullopt, noKey}, -1, "ole32.dll", "mine.dll"},
        {{std::nullopt, dir.File("absent.reg")}, -1, "ole32.dll", "mine.dll"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source.listFile.value_or("") + "+" + row.source.systemReg.value_or(""));
        CKnownDlls known;
        std::string error;
        ASSERT_TRUE(LoadKnownDlls(platform, row.source, known, error)) << error;
        EXPECT_EQ(known.size(), row.count < 0 ? BuiltInKnownDlls().size() : size_t(row.count));
        EXPECT_FALSE(known.Source().empty());
        for (const auto& [names, expected] : {std::pair{row.known, true}, {row.unknown, false}}) {
            std::istringstream in(names);
            for (std::string name; std::getline(in, name, '|');)
                EXPECT_EQ(known.Contains(name), expected) << name;
        }
    }
    CKnownDlls known;
    std::string error;
    EXPECT_FALSE(LoadKnownDlls(platform, {dir.File("absent.txt"), std::nullopt}, known, error));
    EXPECT_NE(error.find("absent.txt"), std::string::npos);
}

// The folders a module is given: by its machine type (syswow64 as the prefix
// names it, where it has one), the given ones kept.
TEST(LoaderFolders, PrefixAndWow64) {
    struct Wow64Platform : test::FakePlatform {
        std::string Wow64SystemDirectory() override { return "W"; }
    } platform;
    test::TempDir dir;
    const std::string exe32 = dir.Write("app32.exe", test::PeImporting("k.dll"));
    const std::string exe64 = dir.Write("app64.exe", test::PeImporting("+64 k.dll"));
    dir.MakeDir("pfx/drive_c/windows/SysWOW64");
    dir.MakeDir("pfx32/drive_c/windows/system32");  // a 32-bit prefix has none
    const std::string windows = dir.File("pfx/drive_c/windows");
    const std::string windows32 = dir.File("pfx32/drive_c/windows");
    const char sep = platform.PathSeparator();
    struct Row {
        const std::string& module;
        const char* prefix;  // or null
        bool wow64;
        const char* given;            // --system-dir, or null
        std::string system, windows;  // "" for unset
    } rows[] = {
        {exe32, "pfx", false, nullptr, windows + sep + "SysWOW64", windows},
        {exe64, "pfx", true, nullptr, windows + sep + "system32", windows},
        {exe32, "pfx32", false, nullptr, windows32 + sep + "system32", windows32},
        {exe32, "pfx", false, "S", "S", windows},
        {exe32, nullptr, true, nullptr, "W", ""},
        {exe32, nullptr, true, "S", "S", ""},
        {exe64, nullptr, true, nullptr, "", ""},
        {exe32, nullptr, false, nullptr, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.module + " " + row.system);
        LoaderFolderOptions options;
        if (row.prefix) options.winePrefix = dir.File(row.prefix);
        options.wow64 = row.wow64;
        PlatformOverrides overrides;
        if (row.given) overrides.systemDirectory = row.given;
        KnownDllsSource known;
        ApplyLoaderFolders(platform, row.module, options, overrides, known);
        EXPECT_EQ(overrides.systemDirectory.value_or(""), row.system);
        EXPECT_EQ(overrides.windowsDirectory.value_or(""), row.windows);
        EXPECT_EQ(known.systemReg.has_value(), row.prefix != nullptr);
    }
}

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
        test::PutU32(section, damage.at, damage.value);
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
