// Read-only access to one executable file: its classification and, for a PE
// image, its data directory and the translation of RVAs into the mapped file.
// Nothing outside the mapped bytes is ever read; data that would lie outside
// is treated as absent or untranslatable. One image is read by one thread at
// a time (translation remembers the last section it used).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "byte_reader.h"
#include "mapped_file.h"

namespace kivrel {

enum ImageType : int {
    IMAGE_NONE = 0,  // not an executable, or unreadable
    IMAGE_DOS = 1,   // plain DOS program
    IMAGE_NE = 2,
    IMAGE_LE = 3,
    IMAGE_XE = 4,  // new header beginning with the bytes 'X' 'E'
    IMAGE_PE = 5,
};

constexpr unsigned kDirectoryEntryCount = 16;
constexpr unsigned kImportDirectory = 1;
constexpr unsigned kResourceDirectory = 2;
constexpr uint32_t kNoFileOffset = 0xFFFFFFFF;

class CMappedImage {
public:
    // Maps the named file and classifies it; the outcome is in the accessors.
    explicit CMappedImage(const char* path);
    // Classifies bytes already in memory (open error 0); the caller keeps them alive.
    CMappedImage(const uint8_t* data, uint32_t size);
    CMappedImage(const CMappedImage&) = delete;
    CMappedImage& operator=(const CMappedImage&) = delete;

    int OpenError() const { return m_nOpenError; }
    uint32_t FileSize() const { return m_bytes.Size(); }
    const uint8_t* View() const { return m_bytes.Data(); }
    int32_t NewHeaderOffset() const { return m_nNewHeaderOffset; }
    int ImageType() const { return m_nImageType; }
    // View + new-header offset for a PE image, else null.
    const uint8_t* PeHeaders() const { return m_pPeHeaders; }
    bool IsPe32Plus() const { return m_bPe32Plus; }

    // For index 16 or more: the all-ones pointer (BadIndexPointer()).
    const uint8_t* GetDirectoryEntryPointer(unsigned index) const;
    // For index 16 or more: 0xFFFFFFFF. An entry outside the file reads as 0.
    uint32_t GetDirectoryEntrySize(unsigned index) const;
    // The entry's RVA as it stands; 0 for index 16 or more or outside the file.
    uint32_t GetDirectoryEntryRva(unsigned index) const;
    // The file offset that the entry's RVA translates to: kNoFileOffset when
    // the RVA is 0 or does not translate to a byte inside the file, or for
    // index 16 or more.
    uint32_t GetDirectoryEntryOffset(unsigned index) const;
    // Null when the RVA does not translate to a byte inside the file.
    const uint8_t* RvaToPointer(uint32_t rva) const;
    // kNoFileOffset when no section holds the RVA.
    uint32_t RvaToFileOffset(uint32_t rva) const {
        // Inline for the common case, an RVA in the section of the last one.
        const SectionRun& last = m_lastSection;
        if (rva >= last.virtualAddress && rva - last.virtualAddress < last.extent) {
            const uint64_t offset = uint64_t(last.rawPointer) + (rva - last.virtualAddress);
            return offset < kNoFileOffset ? static_cast<uint32_t>(offset) : kNoFileOffset;
        }
        uint32_t contiguous = 0;
        return RvaToFileOffset(rva, contiguous);
    }
    // The same; `contiguous` receives how many bytes from there on are file
    // data of that one section (cut to the file), so that a range can be
    // checked with one translation.
    uint32_t RvaToFileOffset(uint32_t rva, uint32_t& contiguous) const;
    // The raw bytes of the first section called `name` (at most 8 characters),
    // cut to the file: false when there is none or it holds no byte of the file.
    bool FindSection(std::string_view name, uint32_t& offset, uint32_t& size) const;

    // The optional header's ImageBase (64-bit in PE32+); 0 when unreadable.
    uint64_t ImageBase() const;
    // The file header's Machine field (0x14C i386, 0x8664 x86-64); 0 when unreadable.
    uint16_t Machine() const;
    // The file header's IMAGE_FILE_DLL flag.
    bool IsDll() const;

    // Bounded access for callers that walk the data at a file offset.
    const ByteReader& Bytes() const { return m_bytes; }

    static const uint8_t* BadIndexPointer() {
        return reinterpret_cast<const uint8_t*>(~static_cast<uintptr_t>(0));
    }

private:
    void Classify();
    void LocatePeHeaders();
    bool ReadDirectoryEntry(unsigned index, uint32_t& rva, uint32_t& size) const;
    // Calls `visit(entryOffset)` for each section-table entry inside the file,
    // in table order, until it returns false.
    template <typename Visit>
    void ForEachSection(Visit visit) const;

    // The section the last translated RVA lay in, when no earlier section of
    // the table overlaps it (so it is the one the walk would find again): a
    // table's thunks and names mostly lie in one section.
    struct SectionRun {
        uint32_t virtualAddress = 0, rawPointer = 0;
        uint64_t extent = 0;  // 0: nothing remembered
    };
    mutable SectionRun m_lastSection;

    std::unique_ptr<CMappedFile> m_pFile;  // null for an in-memory image
    ByteReader m_bytes{nullptr, 0};
    int m_nOpenError = MAP_OK;
    int32_t m_nNewHeaderOffset = -1;
    int m_nImageType = IMAGE_NONE;
    const uint8_t* m_pPeHeaders = nullptr;
    bool m_bPe32Plus = false;
};

}  // namespace kivrel
