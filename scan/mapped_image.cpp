#include "mapped_image.h"

#include <algorithm>

namespace kivrel {

namespace {
// Offsets within the DOS header.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kDosRelocationOffset = 24;
constexpr uint32_t kDosNewHeaderOffset = 60;
// Offsets from the PE signature.
constexpr uint32_t kPeSectionCount = 6;
constexpr uint32_t kPeOptionalHeaderSize = 20;
constexpr uint32_t kPeOptionalHeader = 24;
constexpr uint32_t kPe32DataDirectory = kPeOptionalHeader + 96;
constexpr uint32_t kPe32PlusDataDirectory = kPeOptionalHeader + 112;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kSectionEntrySize = 40;
}  // namespace

CMappedImage::CMappedImage(const char* path) : m_pFile(std::make_unique<CMappedFile>(path)) {
    m_nOpenError = m_pFile->OpenError();
    if (m_nOpenError == MAP_OK) m_bytes = ByteReader(m_pFile->View(), m_pFile->Size());
    Classify();
    LocatePeHeaders();
}

CMappedImage::CMappedImage(const uint8_t* data, uint32_t size) : m_bytes(data, size) {
    Classify();
    LocatePeHeaders();
}

void CMappedImage::Classify() {
    m_nNewHeaderOffset = -1;
    m_nImageType = IMAGE_NONE;
    if (m_nOpenError != MAP_OK || m_bytes.Size() < kDosHeaderSize) return;

    uint16_t word = 0;
    m_bytes.ReadU16(0, word);
    if (word != 0x5A4D) return;  // "MZ"
    m_bytes.ReadU16(kDosRelocationOffset, word);
    if (word < 64) {
        m_nImageType = IMAGE_DOS;
        return;
    }
    uint32_t offset = 0;
    m_bytes.ReadU32(kDosNewHeaderOffset, offset);
    // An offset equal to the file size is accepted; the signature reads below
    // then simply do not fit and match nothing.
    if (offset > m_bytes.Size() || offset > 0x7FFFFFFF) return;
    m_nNewHeaderOffset = static_cast<int32_t>(offset);

    if (m_bytes.ReadU16(offset, word)) {
        if (word == 0x454C)
            m_nImageType = IMAGE_LE;
        else if (word == 0x454E)
            m_nImageType = IMAGE_NE;
        else if (word == 0x4558)
            m_nImageType = IMAGE_XE;
    }
    uint32_t signature = 0;
    if (m_bytes.ReadU32(offset, signature) && signature == 0x00004550) m_nImageType = IMAGE_PE;
}

void CMappedImage::LocatePeHeaders() {
    if (m_nImageType != IMAGE_PE) return;
    m_pPeHeaders = m_bytes.Data() + m_nNewHeaderOffset;
    uint16_t magic = 0;
    m_bPe32Plus = m_bytes.ReadU16(uint64_t(m_nNewHeaderOffset) + kPeOptionalHeader, magic) &&
                  magic == kPe32PlusMagic;
}

bool CMappedImage::ReadDirectoryEntry(unsigned index, uint32_t& rva, uint32_t& size) const {
    const uint64_t directory =
        uint64_t(m_nNewHeaderOffset) + (m_bPe32Plus ? kPe32PlusDataDirectory : kPe32DataDirectory);
    const uint64_t entry = directory + 8ull * index;
    return m_bytes.ReadU32(entry, rva) && m_bytes.ReadU32(entry + 4, size);
}

const uint8_t* CMappedImage::GetDirectoryEntryPointer(unsigned index) const {
    if (index >= kDirectoryEntryCount) return BadIndexPointer();
    const uint32_t offset = GetDirectoryEntryOffset(index);
    return offset == kNoFileOffset ? nullptr : m_bytes.Data() + offset;
}

uint32_t CMappedImage::GetDirectoryEntryOffset(unsigned index) const {
    uint32_t rva = 0, size = 0;
    if (index >= kDirectoryEntryCount || m_pPeHeaders == nullptr ||
        !ReadDirectoryEntry(index, rva, size) || rva == 0) {
        return kNoFileOffset;
    }
    const uint32_t offset = RvaToFileOffset(rva);
    return m_bytes.Fits(offset, 1) ? offset : kNoFileOffset;
}

uint64_t CMappedImage::ImageBase() const {
    if (m_pPeHeaders == nullptr) return 0;
    const uint64_t optional = uint64_t(m_nNewHeaderOffset) + kPeOptionalHeader;
    uint32_t low = 0, high = 0;
    if (m_bPe32Plus) {
        if (!m_bytes.ReadU32(optional + 24, low) || !m_bytes.ReadU32(optional + 28, high)) return 0;
        return (uint64_t(high) << 32) | low;
    }
    return m_bytes.ReadU32(optional + 28, low) ? low : 0;
}

uint16_t CMappedImage::Machine() const {
    uint16_t machine = 0;
    if (m_pPeHeaders != nullptr) m_bytes.ReadU16(uint64_t(m_nNewHeaderOffset) + 4, machine);
    return machine;
}

bool CMappedImage::IsDll() const {
    constexpr uint16_t kDllFlag = 0x2000;
    uint16_t characteristics = 0;
    if (m_pPeHeaders != nullptr)
        m_bytes.ReadU16(uint64_t(m_nNewHeaderOffset) + 22, characteristics);
    return (characteristics & kDllFlag) != 0;
}

uint32_t CMappedImage::GetDirectoryEntrySize(unsigned index) const {
    if (index >= kDirectoryEntryCount) return 0xFFFFFFFF;
    uint32_t rva = 0, size = 0;
    if (m_pPeHeaders == nullptr || !ReadDirectoryEntry(index, rva, size)) return 0;
    return size;
}

uint32_t CMappedImage::GetDirectoryEntryRva(unsigned index) const {
    uint32_t rva = 0, size = 0;
    if (index >= kDirectoryEntryCount || m_pPeHeaders == nullptr ||
        !ReadDirectoryEntry(index, rva, size)) {
        return 0;
    }
    return rva;
}

const uint8_t* CMappedImage::RvaToPointer(uint32_t rva) const {
    const uint32_t offset = RvaToFileOffset(rva);
    if (offset == kNoFileOffset || !m_bytes.Fits(offset, 1)) return nullptr;
    return m_bytes.Data() + offset;
}

template <typename Visit>
void CMappedImage::ForEachSection(Visit visit) const {
    if (m_pPeHeaders == nullptr) return;
    const uint64_t pe = uint64_t(m_nNewHeaderOffset);
    uint16_t sectionCount = 0, optionalHeaderSize = 0;
    if (!m_bytes.ReadU16(pe + kPeSectionCount, sectionCount) ||
        !m_bytes.ReadU16(pe + kPeOptionalHeaderSize, optionalHeaderSize)) {
        return;
    }
    const uint64_t table = pe + kPeOptionalHeader + optionalHeaderSize;
    // The count is a 16-bit field and every entry must lie inside the file, so
    // this loop is bounded by both 65,535 and the file size.
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint64_t entry = table + uint64_t(kSectionEntrySize) * i;
        if (!m_bytes.Fits(entry, kSectionEntrySize) || !visit(entry)) return;
    }
}

uint32_t CMappedImage::RvaToFileOffset(uint32_t rva, uint32_t& contiguous) const {
    // The first section in table order that holds the RVA decides.
    auto translate = [&](const SectionRun& section) {
        contiguous = 0;
        const uint64_t offset = uint64_t(section.rawPointer) + (rva - section.virtualAddress);
        // An offset that does not fit 32 bits lies beyond any mapped file.
        if (offset >= kNoFileOffset) return kNoFileOffset;
        const uint64_t inSection = section.extent - (rva - section.virtualAddress);
        const uint64_t inFile = offset < m_bytes.Size() ? m_bytes.Size() - offset : 0;
        contiguous = static_cast<uint32_t>(std::min(inSection, inFile));
        return static_cast<uint32_t>(offset);
    };
    auto holds = [rva](const SectionRun& section) {
        return section.virtualAddress <= rva &&
               rva < uint64_t(section.virtualAddress) + section.extent;
    };
    if (holds(m_lastSection)) return translate(m_lastSection);

    auto read = [&](uint64_t entry) {
        uint32_t virtualSize = 0, rawSize = 0;
        SectionRun section;
        m_bytes.ReadU32(entry + 8, virtualSize);
        m_bytes.ReadU32(entry + 12, section.virtualAddress);
        m_bytes.ReadU32(entry + 16, rawSize);
        m_bytes.ReadU32(entry + 20, section.rawPointer);
        section.extent = virtualSize < rawSize ? virtualSize : rawSize;
        return section;
    };
    SectionRun found;
    ForEachSection([&](uint64_t entry) {
        const SectionRun section = read(entry);
        if (!holds(section)) return true;
        found = section;
        return false;
    });
    if (found.extent == 0) {
        contiguous = 0;
        return kNoFileOffset;
    }
    // Remembered only when no earlier section overlaps it: then every RVA it
    // holds translates through it.
    bool overlapped = false;
    ForEachSection([&](uint64_t entry) {
        const SectionRun earlier = read(entry);
        if (earlier.virtualAddress == found.virtualAddress && earlier.extent == found.extent &&
            earlier.rawPointer == found.rawPointer) {
            return false;
        }
        overlapped = overlapped || (earlier.virtualAddress < found.virtualAddress + found.extent &&
                                    found.virtualAddress < earlier.virtualAddress + earlier.extent);
        return !overlapped;
    });
    if (!overlapped) m_lastSection = found;
    return translate(found);
}

bool CMappedImage::FindSection(std::string_view name, uint32_t& offset, uint32_t& size) const {
    bool found = false;
    ForEachSection([&](uint64_t entry) {
        const char* entryName = reinterpret_cast<const char*>(m_bytes.Data() + entry);
        const std::string_view text(entryName,
                                    std::find(entryName, entryName + 8, '\0') - entryName);
        if (text != name) return true;
        uint32_t virtualSize = 0, rawSize = 0, rawPointer = 0;
        m_bytes.ReadU32(entry + 8, virtualSize);
        m_bytes.ReadU32(entry + 16, rawSize);
        m_bytes.ReadU32(entry + 20, rawPointer);
        // The bytes of the file that are also in memory; a virtual size of 0
        // (left so by some linkers) means the raw size.
        uint64_t extent = (virtualSize != 0 && virtualSize < rawSize) ? virtualSize : rawSize;
        if (rawPointer >= m_bytes.Size()) return false;
        if (extent > m_bytes.Size() - rawPointer) extent = m_bytes.Size() - rawPointer;
        offset = rawPointer;
        size = static_cast<uint32_t>(extent);
        found = extent != 0;
        return false;
    });
    return found;
}

}  // namespace kivrel
