// Side-by-side lookup: the resource directory walk that finds a module's
// manifest, and the assembly a dependency resolves to in a scripted
// application folder and WinSxS store.
#include "side_by_side.h"

#include <gtest/gtest.h>

#include <sstream>

#include "fake_platform.h"
#include "resource_directory.h"
#include "resource_writer.h"

namespace kivrel {
namespace {

using Bytes = std::vector<uint8_t>;
using test::PutU32;

std::string Found(const Bytes& image, uint16_t type, uint16_t id) {
    ResourceData data;
    const ResourceLookup result = FindResourceData(test::InMemory(image), type, id, data);
    if (result != RESOURCE_FOUND) return result == RESOURCE_ABSENT ? "absent" : "damaged";
    return std::string(reinterpret_cast<const char*>(image.data()) + data.offset, data.size);
}

// Two manifests (IDs 1 and 2). File offsets in the section at 0x400: the
// root's type entry at 0x410, the ID table at 0x418 with its entries at 0x428
// and 0x430, ID 1's language table at 0x438 and its data entry at 0x468.
TEST(ResourceDirectory, FindsOrRefusesDamage) {
    const Bytes good = test::PeWithResources({{24, 1, "one"}, {24, 2, "two"}});
    auto patched = [&](uint32_t at, uint32_t value) {
        Bytes bytes = good;
        PutU32(bytes, at, value);
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
        {"an empty resource directory", test::PeWithResources({}), 1, "absent"},
        {"a size past the section", patched(0x46C, 0x10000), 1, "damaged"},
        {"a size of 4 GiB", patched(0x46C, 0xFFFFFFFF), 1, "damaged"},
        {"data outside the image", patched(0x468, 0x7FFFFFF0), 1, "damaged"},
        {"a table outside the image", patched(typeEntry + 4, 0x8FFFFFF0), 1, "damaged"},
        {"a table that is its own entry", patched(typeEntry + 4, 0x80000000), 1, "absent"},
        {"every level the root", patched(typeEntry + 4, 0x80000000), 24, "damaged"},
        {"an ID count past the section", patched(0x418 + 12, 0xFFFF0000), 9, "damaged"},
        {"an ID count past the section, ID found first", patched(0x418 + 12, 0xFFFF0000), 1, "one"},
    };
    for (const auto& row : rows) EXPECT_EQ(Found(row.image, 24, row.id), row.result) << row.what;
}

// A store in W:\ (a listed file "gone.dll" is not in its folder) and an
// application folder A:\ with two private assemblies and one of the wrong version.
TEST(SideBySideTest, ChoosesTheAssemblyTheLoaderWould) {
    const std::string kStore = "W:\\winsxs\\", kManifests = kStore + "Manifests\\";
    test::FakePlatform platform{'\\'};
    CSideBySideStore store{platform};
    auto entry = [&](const std::string& directory, const std::string& name) {
        platform.scripts[directory].push_back({name, ""});
    };
    auto install = [&](const std::string& key, const std::string& files, bool folder = true) {
        entry(kManifests, key + ".manifest");
        platform.files[kManifests + key + ".manifest"] = test::AssemblyText("", "", files);
        if (folder) entry(kStore, key);
        std::istringstream in(files);
        for (std::string file; in >> file;)
            if (folder && file != "gone.dll") entry(kStore + key + "\\", file);
    };
    platform.windowsDirectory = "W:";
    entry("W:\\", "winsxs");
    const std::string vc90 = "x86_microsoft.vc90.crt_1fc8b3b9a1e18e3b_",
                      vc80 = "x86_microsoft.vc80.";
    install(vc90 + "9.0.30729.1_none_aa", "msvcr90.dll");
    install(vc90 + "9.0.30729.6161_none_bb", "msvcr90.dll gone.dll msvcp90.dll");
    install(vc80 + "crt_1fc8b3b9a1e18e3b_8.0.50727.762_none_dd", "msvcr80.dll");
    install(vc80 + "crt_1fc8b3b9a1e18e3b_8.0.50727.4053_none_ee", "msvcr80.dll");
    install("x86_microsoft-windows-m..namespace-downlevel_31bf3856ad364e35_6.2.0.0_none_33",
            "x.dll");
    install("x86_microsoft.vc90.mfc_1fc8b3b9a1e18e3b_9.0.30729.1_none_44", "mfc90.dll", false);
    // Two policies for the CRT: the newer one decides.
    for (const auto& [name, version, to] : {std::tuple{"crt", "4053", "8.0.50727.762"},
                                            {"crt", "42", "8.0.50727.4053"},
                                            {"atl", "4053", "8.0.99.0"}}) {
        const std::string key = "x86_policy.8.0.microsoft.vc80." + std::string(name) +
                                "_1fc8b3b9a1e18e3b_8.0.50727." + version + "_none_ff.manifest";
        entry(kManifests, key);
        platform.files[kManifests + key] =
            "<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><dependency><dependentAssembly>"
            "<assemblyIdentity name='Microsoft.VC80." +
            std::string(name) +
            "'/><bindingRedirect oldVersion='8.0.0.0-8.0.50727.4053' newVersion='" + to +
            "'/></dependentAssembly></dependency></assembly>";
    }
    for (const char* name : {"Sub.Asm", "Old.Asm.manifest"}) entry("A:\\", name);
    for (const char* name : {"sub.asm.DLL", "sub.dll"}) entry("A:\\Sub.Asm\\", name);
    const Bytes dll =
        test::PeWithResources({{24, 1, test::AssemblyText("Sub.Asm", "1.0.0.0", "sub.dll")}});
    platform.files["A:\\Sub.Asm\\sub.asm.DLL"] = std::string(dll.begin(), dll.end());
    platform.files["A:\\Old.Asm.manifest"] = test::AssemblyText("Old.Asm", "2.0.0.0", "");
    entry(kStore, "Manifests");

    // "VERSION FOLDER: FILES" (the folder's last part), or "- NOTE"; "" is the CRT's token.
    auto resolve = [&](const std::string& name, const std::string& version,
                       const std::string& token = "") {
        AssemblyDependency dependency;
        dependency.identity = {"", name, version, "x86", token.empty() ? "1fc8b3b9a1e18e3b" : token,
                               ""};
        const ResolvedAssembly& found = store.Find(dependency, "A:\\", 0x14C);
        if (!found.found) return "- " + found.note;
        const std::string folder = found.folder.substr(0, found.folder.size() - 1);
        std::string text = found.version + " " + folder.substr(folder.rfind('\\') + 1) + ":";
        for (const auto& [listed, path] : found.files)
            text += " " + path.substr(found.folder.size());
        return text;
    };
    const std::string crt = "Microsoft.VC90.CRT";
    const struct {
        std::string name, version, token, result;
    } rows[] = {
        {crt, "9.0.30729.1", "1FC8B3B9A1E18E3B",
         "9.0.30729.1 " + vc90 + "9.0.30729.1_none_aa: msvcr90.dll"},
        {crt, "9.0.21022.8", "",
         "9.0.30729.6161 " + vc90 + "9.0.30729.6161_none_bb: msvcr90.dll msvcp90.dll"},
        {"Microsoft.VC80.CRT", "8.0.50608.0", "",
         "8.0.50727.762 x86_microsoft.vc80.crt_1fc8b3b9a1e18e3b_8.0.50727.762_none_dd: "
         "msvcr80.dll"},
        {"Microsoft.VC80.ATL", "8.0.50608.0", "",
         "- a publisher policy redirects it to 8.0.99.0, which is not installed"},
        {crt, "9.1.0.0", "", "- not installed"},
        {crt, "9.0.30729.1", "0000000000000000", "- not installed"},
        {"Microsoft-Windows-MinWin-Namespace-Downlevel", "6.2.0.0", "31bf3856ad364e35",
         "6.2.0.0 x86_microsoft-windows-m..namespace-downlevel_31bf3856ad364e35_6.2.0.0_none_33: "
         "x.dll"},
        {"Microsoft.VC90.MFC", "9.0.30729.1", "", "- the version asked for; its folder is missing"},
        {"sub.asm", "1.0.0.0", "", "1.0.0.0 Sub.Asm: sub.dll"},
        {"Old.Asm", "1.0.0.0", "", "- not installed"},
        {"..\\Windows", "1.0.0.0", "", "- refused: not a plain name and four-part version"},
    };
    for (const auto& row : rows) EXPECT_EQ(resolve(row.name, row.version, row.token), row.result);
    // The store is listed once per scan; nothing is looked for outside the folders named.
    auto listings = [&] {
        size_t count = 0;
        for (const auto& [directory, pattern] : platform.findCalls) {
            count += directory == kManifests && pattern == "*.manifest";
            EXPECT_TRUE(directory[0] == 'A' || directory[0] == 'W') << directory;
        }
        return count;
    };
    EXPECT_EQ(listings(), 1u);
    store.BeginScan();
    resolve(crt, "9.0.30729.1");
    EXPECT_EQ(listings(), 2u);
}

// Only the resource of the ID asked for is a manifest; one in a damaged
// directory is there, but not read. Read ones are the scans' (assemblies, .local).
TEST(ModuleManifest, OnlyTheIdAskedForAndADamagedOneIsNotRead) {
    Bytes damaged = test::PeWithResources({{24, 1, test::AssemblyText("A", "1.0.0.0", "a.dll")}});
    ModuleManifest found;
    ReadManifestResource(test::InMemory(damaged), 2, found);
    EXPECT_EQ(found.source, "");
    PutU32(damaged, 0x400 + 20, 0x8FFFFFF0);
    ReadManifestResource(test::InMemory(damaged), 1, found);
    EXPECT_EQ((found.read ? "" : "!") + found.source, "!resource 1");
}

}  // namespace
}  // namespace kivrel
