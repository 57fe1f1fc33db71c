// Writes the PE writer's seed inputs for the fuzz targets into a directory:
// well-formed PE32 and PE32+ images and one of each malformed kind the writer
// knows. The saved corpus is these and a few Wine modules, minimised by
// libFuzzer's -merge=1.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
        return 2;
    }
    for (const auto& [name, bytes] : Seeds()) {
        const std::string path = std::string(argv[1]) + "/" + name;
        if (!kivrel::test::WriteFileBytes(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
