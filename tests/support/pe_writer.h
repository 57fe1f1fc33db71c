// A PE writer for tests and benchmarks: PE32 and PE32+ images in memory,
// well-formed by default (objdump and pefile accept them), with knobs for
// malformed ones. Layout: DOS header, "PE\0\0" at 0x40, headers padded to 0x200;
// imports in a section ".idata" at RVA 0x1000 (descriptors, their thunk lists,
// hint/name entries, the names); extra sections wherever they say; then
// ".edata" and ".didat" after everything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "mapped_image.h"

namespace kivrel::test {

// Little-endian writes of the low `size` bytes of `value` (a list: one dword
// after the other); the vector grows when the write extends past its end.
void PutLE(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t size);
inline void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t value) { PutLE(b, at, value, 2); }
inline void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t value) { PutLE(b, at, value, 4); }
void PutU32(std::vector<uint8_t>& bytes, size_t offset, std::initializer_list<uint32_t> values);
// Writes `bytes` to `path` (created or truncated); false on any failure.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

struct SectionLayout {
    std::string name;  // at most 8 characters are written
    uint32_t virtualSize = 0, virtualAddress = 0, sizeOfRawData = 0, pointerToRawData = 0;
    std::vector<uint8_t> data;  // written at pointerToRawData
};

// File offsets of what was written, for tests that patch it.
struct PeLayout {
    uint32_t dataDirectoryOffset = 0;
    std::vector<uint32_t> descriptorOffsets, nameOffsets, delayDescriptorOffsets;
    std::vector<uint32_t> thunkOffsets;  // each descriptor's lookup table, imports then delay-load
    uint32_t exportDirectoryOffset = 0;  // the export directory's fields follow from here
    uint32_t exportAddressesOffset = 0, exportNamesOffset = 0, exportOrdinalsOffset = 0;
};

class PeBuilder {
public:
    PeBuilder& Pe32Plus() { return m_bPe32Plus = true, *this; }  // default PE32, i386
    PeBuilder& Dll() { return m_bDll = true, *this; }
    // `functions`: "Name" (hint 0), "Name/7" (hint 7) or "#12" (by ordinal);
    // none writes one import of ordinal 1.
    PeBuilder& Import(std::string name, std::vector<std::string> functions = {}) {
        return m_imports.push_back({std::move(name), std::move(functions)}), *this;
    }
    PeBuilder& Section(SectionLayout s) { return m_sections.push_back(std::move(s)), *this; }
    // A delay-load descriptor in a section ".didat" after every other one;
    // `rvaBased` false writes the older layout (attributes 0, the name as a
    // virtual address: image base + RVA, low 32 bits).
    PeBuilder& DelayImport(std::string name, bool rvaBased = true,
                           std::vector<std::string> functions = {}) {
        return m_delayImports.push_back({{std::move(name), std::move(functions)}, rvaBased}), *this;
    }
    // An export directory in ".edata" whose address table has one entry for
    // each of `entries`, from ordinal `base`: "Name" exports code by name,
    // "Name=MOD.Func" forwards, "#" and "#=MOD.Func" do so without a name, ""
    // leaves the entry 0. The name table holds the names in the order given.
    PeBuilder& Exports(std::vector<std::string> entries, uint32_t base = 1) {
        return m_exports = std::move(entries), m_nExportBase = base, *this;
    }

    // `size` bytes of `value` written at file offset `at` once the image is built.
    PeBuilder& Patch(uint32_t at, uint32_t value, int size = 4) {
        return m_patches.emplace_back(at, value, size), *this;
    }
    PeBuilder& DataDirectory(unsigned i, uint32_t rva, uint32_t size) {
        return m_directories.emplace_back(i, rva, size), *this;
    }
    // The last import name is the last thing in the file, without its NUL.
    PeBuilder& UnterminatedLastName() { return m_bUnterminatedLastName = true, *this; }

    std::vector<uint8_t> Build(PeLayout* layout = nullptr) const;

    // File offsets of header fields in every image built (the import directory: in PE32 only).
    static constexpr uint32_t kSignature = 0x40, kSectionCount = 0x46, kOptionalHeaderSize = 0x54,
                              kMagic = 0x58, kImportRva = 0xC0, kImportSize = 0xC4;
    // The name RVA of import descriptor `i` (with at most twelve sections).
    static constexpr uint32_t NameRva(uint32_t i) { return 0x200 + 20 * i + 12; }

private:
    struct ImportedDll {
        std::string name;
        std::vector<std::string> functions;
    };
    // Thunks of one list, its zero included.
    static uint32_t ThunkCount(const ImportedDll& dll) {
        return static_cast<uint32_t>(dll.functions.empty() ? 2 : dll.functions.size() + 1);
    }
    // Writes the thunks of `dll` at `lookup` (and at `address` unless 0) in
    // the section at `sectionRva` held by `data`, its hint/name entries
    // appended; `vaBase` is added to their RVAs.
    void WriteThunks(std::vector<uint8_t>& data, uint32_t sectionRva, const ImportedDll& dll,
                     uint32_t lookup, uint32_t address, uint32_t vaBase) const;
    bool m_bPe32Plus = false, m_bDll = false, m_bUnterminatedLastName = false;
    std::vector<ImportedDll> m_imports;
    std::vector<std::pair<ImportedDll, bool>> m_delayImports;  // RVA-based
    std::vector<std::string> m_exports;
    uint32_t m_nExportBase = 1;
    std::vector<SectionLayout> m_sections;
    std::vector<std::tuple<uint32_t, uint32_t, int>> m_patches;           // offset, value, size
    std::vector<std::tuple<unsigned, uint32_t, uint32_t>> m_directories;  // index, RVA, size
};

// A module importing the space-separated `names`: "+64" makes it PE32+,
// "~name" delay-loads a name.
std::vector<uint8_t> PeImporting(const std::string& names = "");

// An image of `bytes`, which must outlive it.
inline CMappedImage InMemory(const std::vector<uint8_t>& bytes) {
    return CMappedImage(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// A DOS-style file of `size` bytes: "MZ", the word at 24 and the dword at 60
// (where the file holds them), the rest zero.
std::vector<uint8_t> DosStub(size_t size, uint16_t relocationOffset, uint32_t newHeaderOffset);

}  // namespace kivrel::test
