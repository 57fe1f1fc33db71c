// Writes the PE writer's seed inputs for the fuzz targets: well-formed PE32
// and PE32+ images and one of each malformed kind the writer knows into
// DIRECTORY, and an API set schema of each layout into SCHEMA-DIRECTORY if
// given. The saved corpus is these and a few Wine modules, minimised by
// libFuzzer's -merge=1.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "api_set_writer.h"
#include "pe_writer.h"

using namespace kivrel::test;

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3)
        return std::fprintf(stderr, "usage: make_seeds DIRECTORY [SCHEMA-DIRECTORY]\n"), 2;
    auto two = [] { return PeBuilder().Import("KERNEL32.dll").Import("user32"); };
    const std::string stem255(255, 'n');
    const SectionSpec overlapping{".over", 0x2000, 0x800, 0x400, 0x200, {}};
    const SectionSpec zeroVirtual{".zero", 0, 0x1000, 0x200, 0x200, {}};
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"pe32-imports", two().Build()},
        {"pe32plus-imports", two().Pe32Plus().Dll().Build()},
        {"pe32-no-imports", PeBuilder().Build()},
        {"pe32-name-259", PeBuilder().Import(stem255 + ".dll").Build()},
        {"pe32-name-260", PeBuilder().Import(stem255 + "x.dll").Import("a.dll").Build()},
        {"pe32-self-prefix", PeBuilder().Import("a").Import("a.dll").Import("A.DLL.X").Build()},
        {"pe32-wildcard-names", PeBuilder().Import("*.dll").Import("..").Import("c:x.dll").Build()},
        {"pe32-unterminated", two().UnterminatedLastName().Build()},
        {"pe32-truncated", two().Truncate(0x210).Build()},
        {"pe32-name-rva-zero", two().Patch(PeBuilder::NameRva(1), 0).Build()},
        {"pe32-name-rva-outside", two().Patch(PeBuilder::NameRva(0), 0x7FFFF000).Build()},
        {"pe32-import-rva-zero", two().Patch(PeBuilder::kImportRva, 0).Build()},
        {"pe32-import-size-zero", two().Patch(PeBuilder::kImportSize, 0).Build()},
        {"pe32-raw-size-short", two().Patch(PeBuilder::kFirstRawSize, 0x10).Build()},
        {"pe32-section-count-max", two().Patch(PeBuilder::kSectionCount, 0xFFFF, 2).Build()},
        {"pe32-optional-header-huge",
         two().Patch(PeBuilder::kOptionalHeaderSize, 0xFFFF, 2).Build()},
        {"pe32-overlapping", two().SectionBeforeImports(overlapping).Build()},
        {"pe32-zero-virtual", two().SectionBeforeImports(zeroVirtual).Build()},
        {"pe32plus-magic-as-pe32", two().Pe32Plus().Patch(PeBuilder::kMagic, 0x10B, 2).Build()},
        {"new-header-past-end", two().Patch(PeBuilder::kNewHeaderField, 0x7FFFFFF0).Build()},
        {"ne-signature", PeBuilder().Patch(PeBuilder::kSignature, 'N' | 'E' << 8).Build()},
        {"le-signature", PeBuilder().Patch(PeBuilder::kSignature, 'L' | 'E' << 8).Build()},
        {"xe-signature", PeBuilder().Patch(PeBuilder::kSignature, 'X' | 'E' << 8).Build()},
        {"dos-program", DosStub(64, 0x1C, 0)},
        {"dos-63-bytes", DosStub(63, 0x40, 0x40)},
        {"dos-new-header-at-end", DosStub(64, 0x40, 64)},
    };
    for (auto& file : files) file.first = std::string(argv[1]) + "/" + file.first;
    for (const uint32_t version : {2u, 4u, 6u}) {
        if (argc != 3) break;
        const std::string prefix = version == 2 ? "" : "api-";
        files.emplace_back(
            std::string(argv[2]) + "/apiset-v" + std::to_string(version),
            BuildApiSetSection(version,
                               {{prefix + "ms-win-core-synch-l1-2-1", {"kernelbase.dll"}},
                                {prefix + "ms-win-core-com-l1-1-0", {"combase.dll", "ole32.dll"}},
                                {prefix + "ms-win-gone-l1-1-0", {}}}));
    }
    for (const auto& [path, bytes] : files)
        if (!WriteFileBytes(path, bytes))
            return std::fprintf(stderr, "cannot write %s\n", path.c_str()), 1;
    return 0;
}
