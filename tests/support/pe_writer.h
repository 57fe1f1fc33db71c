// A small PE writer for tests, fuzz seeds and benchmarks: synthesises PE32 and
// PE32+ images in memory, well-formed by default, with knobs for the malformed
// variants the scan must survive.
//
//   std::vector<uint8_t> image =
//       PeBuilder().Pe32Plus().Import("KERNEL32.dll").Import("user32").Build();
//
// Default layout: DOS header (e_lfanew 0x40), "PE\0\0", file header, optional
// header with 16 data-directory entries, the section table, headers padded to
// 0x200; then, when there are imports, one section ".idata" at RVA 0x1000 and
// file offset 0x200 holding the import descriptors (20 bytes each, a zero
// record at the end), one ordinal thunk list per descriptor (so objdump and
// pefile accept the image) and the zero-terminated names. Extra sections add
// their own bytes wherever they say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kivrel::test {

// Little-endian helpers for patching an image after Build(); the vector grows
// when the write extends past its end.
void PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
uint16_t GetU16(const std::vector<uint8_t>& bytes, size_t offset);
uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset);

// Writes `bytes` to `path` (created or truncated); false on any failure.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

struct SectionSpec {
    std::string name;  // at most 8 characters are written
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t sizeOfRawData = 0;
    uint32_t pointerToRawData = 0;
    std::vector<uint8_t> data;  // written at pointerToRawData; the file grows to hold it
};

// Where things ended up in the last image built, for tests that patch it.
struct PeLayout {
    uint32_t peOffset = 0;              // where "PE\0\0" was written
    uint32_t optionalHeaderOffset = 0;  // peOffset + 24
    uint32_t dataDirectoryOffset = 0;   // optional header + 96 (PE32) or + 112 (PE32+)
    uint32_t sectionTableOffset = 0;
    uint32_t importSectionRva = 0;  // 0 when there is no import section
    uint32_t importSectionOffset = 0;
    std::vector<uint32_t> descriptorOffsets;  // file offsets, terminator record excluded
    std::vector<uint32_t> nameRvas;
    std::vector<uint32_t> nameOffsets;
    std::vector<uint32_t> delayDescriptorOffsets;  // file offsets, terminator excluded
    size_t fileSize = 0;
};

class PeBuilder {
public:
    // --- Well-formed content ---------------------------------------------
    PeBuilder& Pe32();      // the default: magic 0x10B, machine i386
    PeBuilder& Pe32Plus();  // magic 0x20B, machine x86-64, directory at optional header + 112
    PeBuilder& Dll();       // sets IMAGE_FILE_DLL in the file header's characteristics
    // Appends an import descriptor naming `name` (any bytes but NUL).
    PeBuilder& Import(std::string name);
    // A section placed in the table after the import section (or before it).
    PeBuilder& Section(SectionSpec section);
    PeBuilder& SectionBeforeImports(SectionSpec section);
    // Appends a delay-load descriptor naming `name`, in a section ".didat"
    // placed after every other section; data-directory entry 13 covers the
    // descriptors. `rvaBased` false writes the older layout: attributes 0 and
    // the name as a virtual address (image base + RVA, low 32 bits).
    PeBuilder& DelayImport(std::string name, bool rvaBased = true);

    // --- Header fields written with other values --------------------------
    PeBuilder& DosRelocationOffset(uint16_t value);  // word at 24; below 64 means plain DOS
    PeBuilder& NewHeaderOffset(uint32_t value);      // e_lfanew as written (e.g. past the end)
    // The bytes at the new header instead of "PE\0\0" (e.g. "NE", "LE", "XE"):
    // up to 4 bytes, the rest zero.
    PeBuilder& NewHeaderSignature(std::string bytes);
    PeBuilder& OptionalHeaderMagic(uint16_t value);
    PeBuilder& MachineField(uint16_t value);               // file header Machine as written
    PeBuilder& SectionCountField(uint16_t value);          // NumberOfSections as written
    PeBuilder& SizeOfOptionalHeaderField(uint16_t value);  // as written; the table stays put
    PeBuilder& DataDirectory(unsigned index, uint32_t rva, uint32_t size);
    PeBuilder& ImportDirectoryRva(uint32_t rva);  // e.g. 0, or an RVA no section holds
    PeBuilder& ImportDirectorySize(uint32_t size);
    PeBuilder& ImportSectionVirtualSize(uint32_t value);  // header field only
    PeBuilder& ImportSectionRawSize(uint32_t value);      // header field only
    // The name RVA of descriptor `index` as written (0 ends the walk there; an
    // RVA no section holds is untranslatable).
    PeBuilder& ImportNameRva(size_t index, uint32_t rva);

    // --- Damage to the file as a whole ------------------------------------
    // The last import name is the last thing in the file, without its NUL.
    PeBuilder& UnterminatedLastName();
    PeBuilder& Truncate(size_t size);  // cut the finished image at `size` bytes

    std::vector<uint8_t> Build(PeLayout* layout = nullptr) const;

private:
    bool m_bPe32Plus = false;
    bool m_bDll = false;
    bool m_bUnterminatedLastName = false;
    std::vector<std::string> m_imports;
    std::vector<std::pair<std::string, bool>> m_delayImports;  // name, RVA-based
    std::optional<uint16_t> m_machine;
    std::vector<SectionSpec> m_sectionsBefore;
    std::vector<SectionSpec> m_sectionsAfter;
    std::optional<uint16_t> m_dosRelocationOffset;
    std::optional<uint32_t> m_newHeaderOffset;
    std::optional<std::string> m_signature;
    std::optional<uint16_t> m_magic;
    std::optional<uint16_t> m_sectionCount;
    std::optional<uint16_t> m_optionalHeaderSize;
    std::map<unsigned, std::pair<uint32_t, uint32_t>> m_directories;
    std::optional<uint32_t> m_importRva;
    std::optional<uint32_t> m_importSize;
    std::optional<uint32_t> m_importVirtualSize;
    std::optional<uint32_t> m_importRawSize;
    std::map<size_t, uint32_t> m_nameRvas;
    std::optional<size_t> m_truncate;
};

// A DOS-style file of `size` bytes beginning with "MZ" whose word at 24 is
// `relocationOffset` and whose dword at 60 is `newHeaderOffset` (when the file
// is long enough to hold them); the rest is zero.
std::vector<uint8_t> DosStub(size_t size, uint16_t relocationOffset, uint32_t newHeaderOffset);

}  // namespace kivrel::test
