// Side-by-side lookup: the resource directory walk that finds a module's
// manifest, and the assembly a dependency resolves to in a scripted
// application folder and WinSxS store.
#include "side_by_side.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "mapped_image.h"
#include "pe_writer.h"
#include "resource_directory.h"
#include "resource_writer.h"

namespace kivrel {
namespace {

using Bytes = std::vector<uint8_t>;
using test::PutU32;

std::string Found(const Bytes& image, uint16_t type, uint16_t id) {
    const CMappedImage mapped(image.data(), uint32_t(image.size()));
    ResourceData data;
    switch (FindResourceData(mapped, type, id, data)) {
        case RESOURCE_ABSENT:
            return "absent";
        case RESOURCE_DAMAGED:
            return "damaged";
        case RESOURCE_FOUND:
            break;
    }
    return std::string(reinterpret_cast<const char*>(image.data()) + data.offset, data.size);
}

// Two manifests (IDs 1 and 2). File offsets in the section at 0x400: the
// root's type entry at 0x410, the ID table at 0x418 with its entries at 0x428
// and 0x430, ID 1's language table at 0x438 and its data entry at 0x468.
TEST(ResourceDirectory, FindsOrRefusesDamage) {
    const Bytes good = test::PeWithResources({{24, 1, "one"}, {24, 2, "two"}});
    auto patched = [&](std::vector<std::pair<uint32_t, uint32_t>> patches) {
        Bytes bytes = good;
        for (const auto& [at, value] : patches) PutU32(bytes, at, value);
        return bytes;
    };
    const uint32_t typeEntry = 0x410;
    const struct {
        const char* what;
        Bytes image;
        uint16_t id;
        const char* result;
    } rows[] = {
        {"ID 1", good, 1, "one"},
        {"ID 2", good, 2, "two"},
        {"no ID 3", good, 3, "absent"},
        {"no resources", test::PeImporting("a.dll"), 1, "absent"},
        {"a size past the section", patched({{0x46C, 0x10000}}), 1, "damaged"},
        {"a size of 4 GiB", patched({{0x46C, 0xFFFFFFFF}}), 1, "damaged"},
        {"data outside the image", patched({{0x468, 0x7FFFFFF0}}), 1, "damaged"},
        {"a table outside the image", patched({{typeEntry + 4, 0x8FFFFFF0}}), 1, "damaged"},
        {"a table that is its own entry", patched({{typeEntry + 4, 0x80000000}}), 1, "absent"},
        {"every level the root", patched({{typeEntry + 4, 0x80000000}}), 24, "damaged"},
        {"an ID count past the section", patched({{0x418 + 12, 0xFFFF0000}}), 9, "damaged"},
        {"an ID count past the section, ID found first", patched({{0x418 + 12, 0xFFFF0000}}), 1,
         "one"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Found(row.image, 24, row.id), row.result);
    }
}

std::vector<test::ScriptedEntry> Names(std::initializer_list<std::string> names) {
    std::vector<test::ScriptedEntry> entries;
    for (const std::string& name : names) entries.push_back({name, ""});
    return entries;
}

std::string AssemblyText(const std::string& name, const std::string& version,
                         const std::string& files) {
    std::string text =
        "<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><assemblyIdentity name='" + name +
        "' version='" + version + "'/>";
    for (size_t at = 0; at < files.size();) {
        const size_t end = files.find(' ', at);
        text += "<file name='" + files.substr(at, end - at) + "'/>";
        at = end == std::string::npos ? files.size() : end + 1;
    }
    return text + "</assembly>";
}

std::string PolicyText(const std::string& name, const std::string& from, const std::string& to) {
    return "<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><dependency><dependentAssembly>"
           "<assemblyIdentity name='" +
           name + "'/><bindingRedirect oldVersion='" + from + "' newVersion='" + to +
           "'/></dependentAssembly></dependency></assembly>";
}

// A Windows directory whose store holds: VC90 CRT 9.0.30729.1 and .6161 (x86)
// and .6161 (amd64); VC80 CRT .762 and .4053 with a policy to .762; VC80 ATL
// only with a policy to a version not installed; common controls 6.0.2600; a
// long name cut in its key; a manifest whose folder is gone. An application
// folder with two private assemblies and one of the wrong version.
class SideBySideTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.windowsDirectory = "C:\\Windows";
        platform.scripts["C:\\Windows\\"] = Names({"winsxs"});
        const std::string vc90 = "_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.",
                          vc80 = "x86_microsoft.vc80.crt_1fc8b3b9a1e18e3b_8.0.50727.";
        Install("x86" + vc90 + "1_none_aa", "Microsoft.VC90.CRT", "9.0.30729.1", "msvcr90.dll");
        Install("x86" + vc90 + "6161_none_bb", "Microsoft.VC90.CRT", "9.0.30729.6161",
                "msvcr90.dll msvcp90.dll gone.dll");
        Install("amd64" + vc90 + "6161_none_cc", "Microsoft.VC90.CRT", "9.0.30729.6161",
                "msvcr90.dll");
        Install(vc80 + "762_none_dd", "Microsoft.VC80.CRT", "8.0.50727.762", "msvcr80.dll");
        Install(vc80 + "4053_none_ee", "Microsoft.VC80.CRT", "8.0.50727.4053", "msvcr80.dll");
        Install("x86_policy.8.0.microsoft.vc80.crt_1fc8b3b9a1e18e3b_8.0.50727.4053_none_ff", "", "",
                "",
                PolicyText("Microsoft.VC80.CRT", "8.0.41204.256-8.0.50727.4053", "8.0.50727.762"));
        Install("x86_policy.8.0.microsoft.vc80.atl_1fc8b3b9a1e18e3b_8.0.50727.4053_none_11", "", "",
                "", PolicyText("Microsoft.VC80.ATL", "8.0.0.0-8.0.65535.65535", "8.0.99.0"));
        Install("x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0.2600.2982_none_22",
                "Microsoft.Windows.Common-Controls", "6.0.2600.2982", "comctl32.dll");
        Install("x86_microsoft-windows-m..namespace-downlevel_31bf3856ad364e35_6.2.0.0_none_33",
                "Microsoft-Windows-MinWin-Namespace-Downlevel", "6.2.0.0", "x.dll");
        Install("x86_microsoft.vc90.mfc_1fc8b3b9a1e18e3b_9.0.30729.1_none_44", "Microsoft.VC90.MFC",
                "9.0.30729.1", "mfc90.dll", "", false);
        platform.scripts["C:\\App\\"] =
            Names({"Kivrel.Private.manifest", "kp.dll", "Sub.Asm", "Old.Asm.manifest"});
        platform.files["C:\\App\\Kivrel.Private.manifest"] =
            AssemblyText("Kivrel.Private", "1.0.0.0", "KP.DLL missing.dll");
        platform.files["C:\\App\\Old.Asm.manifest"] = AssemblyText("Old.Asm", "2.0.0.0", "kp.dll");
        platform.scripts["C:\\App\\Sub.Asm\\"] = Names({"sub.asm.DLL", "sub.dll"});
        const Bytes dll = test::PeWithResources(
            {{24, 1, AssemblyText("Sub.Asm", "1.0.0.0", "sub.asm.dll sub.dll")}});
        platform.files["C:\\App\\Sub.Asm\\sub.asm.DLL"] = std::string(dll.begin(), dll.end());
    }

    void Install(const std::string& key, const std::string& name, const std::string& version,
                 const std::string& files, const std::string& text = "", bool folder = true) {
        platform.scripts[kManifests].push_back({key + ".manifest", ""});
        platform.files[kManifests + key + ".manifest"] =
            text.empty() ? AssemblyText(name, version, files) : text;
        if (!folder || !text.empty()) return;
        platform.scripts[kStore].push_back({key, ""});
        auto& entries = platform.scripts[kStore + key + "\\"];
        for (size_t at = 0; at < files.size();) {
            const size_t end = files.find(' ', at);
            const std::string file = files.substr(at, end - at);
            if (file != "gone.dll") entries.push_back({file, ""});
            at = end == std::string::npos ? files.size() : end + 1;
        }
    }

    // "version folder-tail: files" or "- note".
    std::string Resolve(const AssemblyIdentity& identity, uint16_t machine = 0x14C) {
        AssemblyDependency dependency;
        dependency.identity = identity;
        const ResolvedAssembly& found = store.Find(dependency, "C:\\App\\", machine);
        if (!found.found) return "- " + found.note;
        std::string text =
            found.version + " " + found.folder.substr(found.folder.size() > 20 ? 11 : 0) + ":";
        for (const auto& [name, path] : found.files) text += " " + path.substr(found.folder.size());
        return text;
    }

    const std::string kStore = "C:\\Windows\\winsxs\\", kManifests = kStore + "Manifests\\";
    test::FakePlatform platform{'\\'};
    CSideBySideStore store{platform};
};

TEST_F(SideBySideTest, ChoosesTheAssemblyTheLoaderWould) {
    platform.scripts[kStore].push_back({"Manifests", ""});
    const std::string crt = "1fc8b3b9a1e18e3b";
    const struct {
        const char* what;
        AssemblyIdentity identity;
        uint16_t machine;
        const char* result;
    } rows[] = {
        {"exact",
         {"", "Microsoft.VC90.CRT", "9.0.30729.1", "x86", crt, ""},
         0x14C,
         "9.0.30729.1 winsxs\\x86_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.1_none_aa\\: "
         "msvcr90.dll"},
        {"older: the highest of 9.0, files that are there",
         {"", "microsoft.vc90.crt", "9.0.21022.8", "x86", "1FC8B3B9A1E18E3B", "*"},
         0x14C,
         "9.0.30729.6161 winsxs\\x86_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.6161_none_bb\\: "
         "msvcr90.dll msvcp90.dll"},
        {"'*' is the module's architecture",
         {"", "Microsoft.VC90.CRT", "9.0.21022.8", "*", crt, ""},
         0x8664,
         "9.0.30729.6161 "
         "winsxs\\amd64_microsoft.vc90.crt_1fc8b3b9a1e18e3b_9.0.30729.6161_none_cc\\: "
         "msvcr90.dll"},
        {"a policy, not the highest",
         {"", "Microsoft.VC80.CRT", "8.0.50608.0", "x86", crt, ""},
         0x14C,
         "8.0.50727.762 winsxs\\x86_microsoft.vc80.crt_1fc8b3b9a1e18e3b_8.0.50727.762_none_dd\\: "
         "msvcr80.dll"},
        {"a policy to a version not installed",
         {"", "Microsoft.VC80.ATL", "8.0.50608.0", "x86", crt, ""},
         0x14C,
         "- a publisher policy redirects it to 8.0.99.0, which is not installed"},
        {"no version of its major.minor",
         {"", "Microsoft.VC90.CRT", "9.1.0.0", "x86", crt, ""},
         0x14C,
         "- not installed"},
        {"another token",
         {"", "Microsoft.VC90.CRT", "9.0.30729.1", "x86", "0000000000000000", ""},
         0x14C,
         "- not installed"},
        {"another language",
         {"", "Microsoft.VC90.CRT", "9.0.30729.1", "x86", crt, "de-de"},
         0x14C,
         "- not installed"},
        {"a name cut in its key",
         {"", "Microsoft-Windows-MinWin-Namespace-Downlevel", "6.2.0.0", "x86", "31bf3856ad364e35",
          ""},
         0x14C,
         "6.2.0.0 "
         "winsxs\\x86_microsoft-windows-m..namespace-downlevel_31bf3856ad364e35_6.2.0.0_none_33\\"
         ": x.dll"},
        {"its folder is gone",
         {"", "Microsoft.VC90.MFC", "9.0.30729.1", "x86", crt, ""},
         0x14C,
         "- the version asked for; its folder is missing"},
        {"private: NAME.manifest",
         {"", "Kivrel.Private", "1.0.0.0", "", "", ""},
         0x14C,
         "1.0.0.0 C:\\App\\: kp.dll"},
        {"private: NAME\\NAME.dll",
         {"", "sub.asm", "1.0.0.0", "", "", ""},
         0x14C,
         "1.0.0.0 C:\\App\\Sub.Asm\\: sub.asm.DLL sub.dll"},
        {"private of another version",
         {"", "Old.Asm", "1.0.0.0", "", "", ""},
         0x14C,
         "- not installed"},
        {"a path for a name",
         {"", "..\\Windows", "1.0.0.0", "", "", ""},
         0x14C,
         "- refused: not a plain name and four-part version"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Resolve(row.identity, row.machine), row.result);
    }
    // The store is listed once per scan; nothing is looked for outside the folders named.
    auto listings = [&] {
        size_t count = 0;
        for (const auto& [directory, pattern] : platform.findCalls) {
            count += directory == kManifests && pattern == "*.manifest";
            EXPECT_TRUE(directory.rfind("C:\\App\\", 0) == 0 ||
                        directory.rfind("C:\\Windows\\", 0) == 0)
                << directory;
        }
        return count;
    };
    EXPECT_EQ(listings(), 1u);
    store.BeginScan();
    Resolve({"", "Microsoft.VC90.CRT", "9.0.30729.1", "x86", crt, ""});
    EXPECT_EQ(listings(), 2u);
}

TEST_F(SideBySideTest, NoStoreAndModuleManifests) {
    EXPECT_EQ(Resolve({"", "Microsoft.VC90.CRT", "9.0.30729.1", "x86", "1fc8b3b9a1e18e3b", ""}),
              "- no side-by-side store");

    // The resource of the ID asked for; for an EXE without one the file beside it.
    const std::string text = AssemblyText("A", "1.0.0.0", "a.dll");
    const Bytes withOne = test::PeWithResources({{24, 1, text}});
    const Bytes withTwo = test::PeWithResources({{24, 2, text}});
    Bytes damaged = withOne;
    PutU32(damaged, 0x400 + 20, 0x8FFFFFF0);
    platform.files["C:\\App\\b.exe.manifest"] = text;
    const struct {
        const Bytes* image;  // null: the file beside "C:\\App\\b.exe"
        uint16_t id;
        const char* source;  // "" with no manifest, "!" + source when refused
    } rows[] = {
        {&withOne, 1, "resource 1"}, {&withTwo, 2, "resource 2"}, {&withOne, 2, ""},
        {&damaged, 1, "!resource 1"}, {nullptr, 1, "C:\\App\\b.exe.manifest"},
    };
    for (const auto& row : rows) {
        ModuleManifest found;
        if (row.image != nullptr) {
            const CMappedImage image(row.image->data(), uint32_t(row.image->size()));
            ReadManifestResource(image, row.id, found);
        } else {
            ReadManifestBeside(platform, "C:\\App\\b.exe", found);
        }
        EXPECT_EQ((found.read || found.source.empty() ? "" : "!") + found.source, row.source)
            << found.error;
        if (found.read) {
            EXPECT_EQ(found.manifest.files, std::vector<std::string>{"a.dll"});
        }
    }
}

}  // namespace
}  // namespace kivrel
