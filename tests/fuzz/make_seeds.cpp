// Writes the PE writer's seed inputs for the fuzz targets into a directory:
// well-formed PE32 and PE32+ images and one of each malformed kind the writer
// knows. The saved corpus is these and a few Wine modules, minimised by
// libFuzzer's -merge=1.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "api_set_writer.h"
#include "pe_writer.h"

using kivrel::test::DosStub;
using kivrel::test::PeBuilder;
using kivrel::test::SectionSpec;

namespace {

PeBuilder TwoImports() { return PeBuilder().Import("KERNEL32.dll").Import("user32"); }

std::vector<std::pair<std::string, std::vector<uint8_t>>> Seeds() {
    const std::string stem255(255, 'n');
    SectionSpec overlapping{".over", 0x2000, 0x800, 0x400, 0x200, {}};
    SectionSpec zeroVirtual{".zero", 0, 0x1000, 0x200, 0x200, {}};
    return {
        {"pe32-imports", TwoImports().Build()},
        {"pe32plus-imports", TwoImports().Pe32Plus().Dll().Build()},
        {"pe32-no-imports", PeBuilder().Build()},
        {"pe32-name-259", PeBuilder().Import(stem255 + ".dll").Build()},
        {"pe32-name-260", PeBuilder().Import(stem255 + "x.dll").Import("a.dll").Build()},
        {"pe32-self-prefix", PeBuilder().Import("a").Import("a.dll").Import("A.DLL.X").Build()},
        {"pe32-wildcard-names", PeBuilder().Import("*.dll").Import("..").Import("c:x.dll").Build()},
        {"pe32-unterminated", TwoImports().UnterminatedLastName().Build()},
        {"pe32-truncated", TwoImports().Truncate(0x210).Build()},
        {"pe32-name-rva-zero", TwoImports().ImportNameRva(1, 0).Build()},
        {"pe32-name-rva-outside", TwoImports().ImportNameRva(0, 0x7FFFF000).Build()},
        {"pe32-import-rva-zero", TwoImports().ImportDirectoryRva(0).Build()},
        {"pe32-import-size-zero", TwoImports().ImportDirectorySize(0).Build()},
        {"pe32-raw-size-short", TwoImports().ImportSectionRawSize(0x10).Build()},
        {"pe32-section-count-max", TwoImports().SectionCountField(0xFFFF).Build()},
        {"pe32-optional-header-huge", TwoImports().SizeOfOptionalHeaderField(0xFFFF).Build()},
        {"pe32-overlapping", TwoImports().SectionBeforeImports(overlapping).Build()},
        {"pe32-zero-virtual", TwoImports().SectionBeforeImports(zeroVirtual).Build()},
        {"pe32plus-magic-as-pe32", TwoImports().Pe32Plus().OptionalHeaderMagic(0x10B).Build()},
        {"new-header-past-end", TwoImports().NewHeaderOffset(0x7FFFFFF0).Build()},
        {"ne-signature", PeBuilder().NewHeaderSignature("NE").Build()},
        {"le-signature", PeBuilder().NewHeaderSignature("LE").Build()},
        {"xe-signature", PeBuilder().NewHeaderSignature("XE").Build()},
        {"dos-program", DosStub(64, 0x1C, 0)},
        {"dos-63-bytes", DosStub(63, 0x40, 0x40)},
        {"dos-new-header-at-end", DosStub(64, 0x40, 64)},
    };
}

// Sections for the schema reader: one schema of each layout.
std::vector<std::pair<std::string, std::vector<uint8_t>>> SchemaSeeds() {
    using kivrel::test::ApiSetEntrySpec;
    auto entries = [](const std::string& prefix) {
        return std::vector<ApiSetEntrySpec>{
            {prefix + "ms-win-core-synch-l1-2-1", {"kernelbase.dll"}},
            {prefix + "ms-win-core-com-l1-1-0", {"combase.dll", "ole32.dll"}},
            {prefix + "ms-win-gone-l1-1-0", {}}};
    };
    return {
        {"apiset-v2", kivrel::test::BuildApiSetSection(2, entries(""))},
        {"apiset-v4", kivrel::test::BuildApiSetSection(4, entries("api-"))},
        {"apiset-v6", kivrel::test::BuildApiSetSection(6, entries("api-"))},
    };
}

bool WriteSeeds(const std::string& directory,
                const std::vector<std::pair<std::string, std::vector<uint8_t>>>& seeds) {
    for (const auto& [name, bytes] : seeds) {
        const std::string path = directory + "/" + name;
        if (!kivrel::test::WriteFileBytes(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_seeds DIRECTORY [SCHEMA-DIRECTORY]\n");
        return 2;
    }
    if (!WriteSeeds(argv[1], Seeds())) return 1;
    if (argc == 3 && !WriteSeeds(argv[2], SchemaSeeds())) return 1;
    return 0;
}
