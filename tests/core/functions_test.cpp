// The function level of an image: its export table as the loader binds
// names and ordinals in it, forwarder texts, and the functions it imports.
#include <gtest/gtest.h>

#include "export_table.h"
#include "function_check.h"
#include "import_thunks.h"
#include "pe_writer.h"

namespace kivrel {
namespace {

using test::InMemory;
using test::PeBuilder;
using test::PeLayout;
using Bytes = std::vector<uint8_t>;

// "@index", "@index->forwarder" or "!reason".
std::string Describe(const ExportMatch& m) {
    if (!m.found) return std::string("!") + m.reason;
    return "@" + std::to_string(m.index) + (m.forwarder.empty() ? "" : "->") +
           std::string(m.forwarder);
}

TEST(ExportTable, LookupsAsTheLoaderBinds) {
    const std::vector<std::string> sorted = {"Alpha", "Beta", "Gamma", "#", "", "Zed=lib.Real"};
    PeLayout layout;
    const Bytes good = PeBuilder().Dll().Exports(sorted, 5).Build(&layout);
    const Bytes unsorted = PeBuilder().Exports({"Gamma", "Alpha", "Beta", "Delta"}).Build();
    auto patched = [&](uint32_t at, uint32_t value, int size = 4) {
        return PeBuilder().Dll().Exports(sorted, 5).Patch(at, value, size).Build();
    };
    // The last name, cut by the end of the file before its zero.
    Bytes cut = PeBuilder().Exports({"Alpha", "Omega"}).Build();
    cut.resize(std::string(cut.begin(), cut.end()).rfind("Omega") + 5);
    const uint32_t dir = layout.exportDirectoryOffset;
    // The first RVA past the export directory: code, however close.
    const uint32_t end =
        InMemory(good).GetDirectoryEntryRva(0) + InMemory(good).GetDirectoryEntrySize(0);
    const struct {
        const char* name;
        Bytes bytes;
        std::string query;  // a name, "name/hint" or "#ordinal"
        std::string expected;
    } cases[] = {
        // clang-format off
        {"binary search", good, "Gamma", "@2"},
        {"the hint first", good, "Beta/1", "@1"},
        {"a wrong hint falls back to the search", good, "Beta/2", "@1"},
        {"case-sensitive", good, "gamma", "!not exported"},
        {"forwarder", good, "Zed", "@5->lib.Real"},
        {"ordinal", good, "#6", "@1"},
        {"ordinal below the base", good, "#4", "!its ordinal lies below the export base"},
        {"ordinal past the table", good, "#11", "!its ordinal lies beyond the export address table"},
        {"address entry 0", good, "#9", "!its export address table entry is 0"},
        {"unsorted: the hint still binds", unsorted, "Alpha/1", "@1"},
        {"unsorted: the search misses it", unsorted, "Gamma", "!exported, but the export name table is not sorted and the loader's search does not reach it"},
        {"counts far beyond the file", patched(dir + 20, 0x7FFFFFFF), "Gamma", "@2"},
        {"names far beyond the file", patched(dir + 24, 0x7FFFFFFF), "#8", "@3"},
        {"name RVA in no section", patched(layout.exportNamesOffset + 4, 0x7FFF0000), "Beta", "!not exported"},
        {"ordinal table past the address table", patched(layout.exportOrdinalsOffset, 0x7777, 2), "Alpha", "!its ordinal lies beyond the export address table"},
        {"address table in no section", patched(dir + 28, 0x7FFF0000), "Alpha", "!its ordinal lies beyond the export address table"},
        {"address just past the directory", patched(layout.exportAddressesOffset, end), "Alpha", "@0"},
        {"no terminator before the end", cut, "Omega", "!not exported"},
        {"no export table", PeBuilder().Build(), "Alpha", "!the module exports nothing"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CExportTable table = CExportTable::Read(InMemory(c.bytes));
        const size_t slash = c.query.find('/');
        const ExportMatch match =
            c.query[0] == '#' ? table.FindOrdinal(std::stoul(c.query.substr(1)))
            : slash == std::string::npos
                ? table.FindName(c.query, 0xFFFF)
                : table.FindName(c.query.substr(0, slash), std::stoi(c.query.substr(slash + 1)));
        EXPECT_EQ(Describe(match), c.expected);
    }
}

// "module!name" or "module!#ordinal"; "" when refused (a module of 256 with
// ".dll" is no longer a path).
TEST(ExportTable, ForwarderTexts) {
    std::vector<std::pair<std::string, std::string>> cases = {
        {"NTDLL.RtlAllocateHeap", "NTDLL.dll!RtlAllocateHeap"},
        {"lib.dll.#12", "lib.dll!#12"},
        {"api-ms-win-core-synch-l1-2-0.Sleep", "api-ms-win-core-synch-l1-2-0.dll!Sleep"},
        {"lib.#65535", "lib.dll!#65535"},
        {std::string(256, 'm') + ".F", ""},
        {std::string(300, 'x') + ".dll.F", ""}};
    for (const char* refused :
         {"NoDot", ".Func", "lib.", "lib.#", "lib.#0", "lib.#65536", "lib.#1x"})
        cases.emplace_back(refused, "");
    for (const auto& [text, expected] : cases) {
        Forwarder f;
        std::string read;
        if (ParseForwarder(text, f))
            read = f.module + "!" +
                   (f.name.empty() ? "#" + std::to_string(f.ordinal) : std::string(f.name));
        EXPECT_EQ(read, expected) << text;
    }
}

// Each module as "name: function..." ("*" marks delay-load), modules joined by " | ".
std::string Imports(const Bytes& bytes) {
    std::string text;
    const ImportedFunctions imports = ReadImportedFunctions(InMemory(bytes), true);
    for (const ImportedModule& m : imports.modules) {
        text += (text.empty() ? "" : " | ") + std::string(imports.ModuleName(m)) +
                (m.delayLoad ? "*" : "") + ":";
        for (const ImportedFunction& f : imports.FunctionsOf(m))
            text +=
                " " + (f.byOrdinal ? "#" + std::to_string(f.hint)
                                   : std::string(imports.NameOf(f)) + "/" + std::to_string(f.hint));
    }
    return text;
}

TEST(ImportThunks, FunctionsOfEachDescriptor) {
    auto ab = [](bool plus = false) {
        PeBuilder pe;
        if (plus) pe.Pe32Plus();
        return pe.Import("a.dll", {"Foo/3", "#7", "Bar"}).Import("b.dll", {"Baz"});
    };
    PeLayout layout;
    ab().Build(&layout);
    const uint32_t thunk = layout.thunkOffsets[0], descriptor = layout.descriptorOffsets[0];
    // A thunk list running to the end of the file: ordinal thunks, no zero.
    Bytes endless(0x40, 0);
    for (uint32_t at = 0; at < endless.size(); at += 4) test::PutU32(endless, at, 0x80000009);
    const struct {
        const char* name;
        Bytes bytes;
        std::string expected;
    } cases[] = {
        // clang-format off
        {"by name and by ordinal", ab().Build(), "a.dll: Foo/3 #7 Bar/0 | b.dll: Baz/0"},
        {"PE32+", ab(true).Build(), "a.dll: Foo/3 #7 Bar/0 | b.dll: Baz/0"},
        {"lookup table 0: the address table", ab().Patch(descriptor, 0).Build(), "a.dll: Foo/3 #7 Bar/0 | b.dll: Baz/0"},
        {"both tables 0", ab().Patch(descriptor, 0).Patch(descriptor + 16, 0).Build(), "a.dll: | b.dll: Baz/0"},
        {"hint/name RVA in no section", ab().Patch(thunk, 0x7FFF0000).Build(), "a.dll: #7 Bar/0 | b.dll: Baz/0"},
        {"a 64-bit thunk in a 32-bit image", ab().Patch(thunk + 4, 0x80000000).Build(), "a.dll: Foo/3 #0 Bar/0 | b.dll: Baz/0"},
        {"PE32+: a hint/name RVA of more than 31 bits", ab(true).Patch(thunk + 4, 1).Build(), "a.dll: #7 Bar/0 | b.dll: Baz/0"},
        {"no zero before the end of the file", ab().Section({".t", 0x40, 0x8000, 0x40, 0x400, endless}).Patch(descriptor, 0x8000).Build(), "a.dll: #9 #9 #9 #9 #9 #9 #9 #9 #9 #9 #9 #9 #9 #9 #9 #9 | b.dll: Baz/0"},
        {"delay-load, both layouts", PeBuilder().DelayImport("d.dll", true, {"Qux/2", "#3"}).DelayImport("e.dll", false, {"Old"}).Build(), "d.dll*: Qux/2 #3 | e.dll*: Old/0"},
        // clang-format on
    };
    for (const auto& c : cases) EXPECT_EQ(Imports(c.bytes), c.expected) << c.name;
}

// Descriptors that all name one list read it within a single budget: no
// more thunks in all than the file holds.
TEST(ImportThunks, SharedListsStayWithinTheFile) {
    PeBuilder pe;
    for (int i = 0; i < 64; ++i) pe.Import("m" + std::to_string(i) + ".dll");
    PeLayout layout;
    const auto end = static_cast<uint32_t>(pe.Build(&layout).size());
    Bytes endless(0x200, 0);
    for (uint32_t at = 0; at < endless.size(); at += 4) test::PutU32(endless, at, 0x80000009);
    pe.Section({".t", 0x200, 0x8000, 0x200, end, endless});
    for (const uint32_t descriptor : layout.descriptorOffsets) pe.Patch(descriptor, 0x8000);
    const Bytes bytes = pe.Build();
    const ImportedFunctions imports = ReadImportedFunctions(InMemory(bytes), false);
    EXPECT_EQ(imports.modules.size(), 64u);
    EXPECT_GT(imports.functions.size(), 0x200u / 4);
    EXPECT_LE(imports.functions.size(), bytes.size() / 4);
}

// Modules by lower-case name; a forwarder's module is pending until asked for once.
struct FakeSource : IFunctionSource {
    std::vector<std::string> names;
    std::vector<ModuleFunctions> modules;
    std::vector<std::string> held;  // forwarders' modules the scan holds

    void Add(const std::string& name, const Bytes& bytes) {
        names.push_back(name);
        modules.emplace_back(InMemory(bytes), true);
    }
    Resolution ByName(const std::string& name, ModuleId& module) const {
        std::string lower;
        for (char c : name) lower += char(std::tolower(static_cast<unsigned char>(c)));
        module = ModuleId(std::find(names.begin(), names.end(), lower) - names.begin());
        return module < names.size() ? RESOLVED : UNRESOLVED;
    }
    Resolution ResolveImport(ModuleId importer, size_t descriptor, ModuleId& module) override {
        const ImportedFunctions& imports = modules[importer].imports;
        return ByName(std::string(imports.ModuleName(imports.modules[descriptor])), module);
    }
    Resolution ResolveForwarder(ModuleId, const std::string& name, ModuleId& module) override {
        if (std::find(held.begin(), held.end(), name) != held.end()) return ByName(name, module);
        held.push_back(name);
        return PENDING;
    }
    const ModuleFunctions* Functions(ModuleId module) const override { return &modules[module]; }
};

TEST(FunctionCheck, ForwardersFollowedAsTheLoaderFollowsThem) {
    FakeSource source;
    std::vector<std::string> chain;  // C00 -> C01 -> ... -> C32, which is code
    for (int k = 0; k <= kMaxForwarderHops; ++k) {
        char entry[32];
        std::snprintf(entry, sizeof entry, k < kMaxForwarderHops ? "C%02d=chain.C%02d" : "C%02d", k,
                      k + 1);
        chain.push_back(entry);
    }
    source.Add("app.exe", PeBuilder()
                              .Import("LIB.dll", {"A", "B", "#12", "Ok", "Gone", "Self", "Far",
                                                  "Long", "Bad", "Lost", "Worse"})
                              .DelayImport("lib.dll", true, {"Late"})
                              .Import("nowhere.dll", {"X"})
                              .Build());
    source.Add("lib.dll",
               PeBuilder()
                   .Exports({"A", "Bad=NoDot", "Far=chain.C01", "Gone=other.Y", "Long=chain.C00",
                             "Lost=nowhere.Z", "Ok=other.X", "Self=lib.Self", "Worse=other.Z2"})
                   .Build());
    source.Add("other.dll", PeBuilder().Exports({"X", "Z2=NoDot"}).Build());
    source.Add("chain.dll", PeBuilder().Exports(chain).Build());

    std::vector<MissingFunction> missing;
    int passes = 1;
    while (!CheckFunctions(source, {{0, false}, {1, false}}, missing)) ++passes;
    EXPECT_EQ(passes, 2);  // every forwarder's module is asked for in the first
    std::string lines;
    for (const MissingFunction& m : missing) {
        lines += source.names[m.importer] + " -> " + m.module + "!" + FunctionText(m) +
                 (m.forwardedTo.empty() ? "" : " (forwarded to " + m.forwardedTo + ")") +
                 (m.delayLoadOnly ? " delay-load" : "") + ": " + m.reason + "\n";
    }
    EXPECT_EQ(lines,
              "app.exe -> LIB.dll!B: not exported\n"
              "app.exe -> LIB.dll!#12: its ordinal lies beyond the export address table\n"
              "app.exe -> LIB.dll!Gone (forwarded to other.dll!Y): not exported\n"
              "app.exe -> LIB.dll!Self (forwarded to lib.dll!Self): a loop of forwarders\n"
              "app.exe -> LIB.dll!Long (forwarded to chain.dll!C31): a chain of more than 32 "
              "forwarders\n"
              "app.exe -> LIB.dll!Bad: its forwarder \"NoDot\" cannot be followed\n"
              "app.exe -> LIB.dll!Worse (forwarded to other.dll!Z2): its forwarder \"NoDot\" "
              "cannot be followed\n"
              "app.exe -> lib.dll!Late delay-load: not exported\n");
}

}  // namespace
}  // namespace kivrel
