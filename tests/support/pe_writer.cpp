#include "pe_writer.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kivrel::test {

namespace {
constexpr uint32_t kPeOffset = 0x40, kFileAlignment = 0x200, kSectionAlignment = 0x1000;
constexpr uint32_t kImportSectionRva = 0x1000, kDescriptorSize = 20, kSectionEntrySize = 40;
constexpr uint32_t kDirectoryEntries = 16;

uint32_t AlignUp(uint64_t value, uint32_t alignment) {
    return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

// The low `size` bytes of `value`, little-endian.
void PutLE(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t size) {
    if (bytes.size() < offset + size) bytes.resize(offset + size);
    for (size_t i = 0; i < size; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
}  // namespace

void PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    PutLE(bytes, offset, value, 2);
}
void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    PutLE(bytes, offset, value, 4);
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    return file.write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()))
        .flush()
        .good();
}

std::vector<uint8_t> DosStub(size_t size, uint16_t relocationOffset, uint32_t newHeaderOffset) {
    std::vector<uint8_t> bytes(size, 0);
    if (size >= 2) bytes[0] = 'M', bytes[1] = 'Z';
    if (size >= 26) PutU16(bytes, 24, relocationOffset);
    if (size >= 64) PutU32(bytes, 60, newHeaderOffset);
    return bytes;
}

std::vector<uint8_t> PeImporting(const std::string& names) {
    PeBuilder pe;
    std::istringstream in(names);
    for (std::string name; in >> name;) {
        if (name == "+64")
            pe.Pe32Plus();
        else if (name[0] == '~')
            pe.DelayImport(name.substr(1));
        else
            pe.Import(name);
    }
    return pe.Build();
}

std::vector<uint8_t> PeBuilder::Build(PeLayout* layoutOut) const {
    PeLayout layout;
    const uint32_t optionalHeaderSize = m_bPe32Plus ? 240 : 224;
    const uint32_t directoryOffset = m_bPe32Plus ? 112 : 96;
    const bool hasImports = !m_imports.empty();
    const bool hasDelayImports = !m_delayImports.empty();
    const size_t sectionCount =
        m_sections.size() + (hasImports ? 1 : 0) + (hasDelayImports ? 1 : 0);
    const uint64_t imageBase = m_bPe32Plus ? 0x140000000ull : 0x400000;

    const uint32_t opt = kPeOffset + 24;  // the optional header
    layout.dataDirectoryOffset = opt + directoryOffset;
    const uint32_t sectionTable = opt + optionalHeaderSize;
    const uint32_t headersEnd =
        AlignUp(sectionTable + kSectionEntrySize * sectionCount, kFileAlignment);

    // The import section: descriptors, then per descriptor two ordinal thunk
    // lists (lookup table and address table), then the names.
    SectionSpec imports;
    if (hasImports) {
        const uint32_t thunkSize = m_bPe32Plus ? 8 : 4;
        const uint32_t count = static_cast<uint32_t>(m_imports.size());
        const uint32_t thunksStart = kDescriptorSize * (count + 1);
        const uint32_t namesStart = thunksStart + count * 4 * thunkSize;
        std::vector<uint8_t> data(namesStart, 0);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t lookup = thunksStart + i * 4 * thunkSize;
            const uint32_t address = lookup + 2 * thunkSize;
            const uint64_t ordinal1 = m_bPe32Plus ? (1ull << 63) | 1 : (1ull << 31) | 1;
            // Each list: one import by ordinal, then the zero entry (the upper
            // half of the 64-bit write in PE32).
            PutLE(data, lookup, ordinal1, 8);
            PutLE(data, address, ordinal1, 8);
            const uint32_t nameRva = kImportSectionRva + static_cast<uint32_t>(data.size());
            layout.nameOffsets.push_back(headersEnd + static_cast<uint32_t>(data.size()));
            const std::string& name = m_imports[i];
            data.insert(data.end(), name.begin(), name.end());
            if (!(m_bUnterminatedLastName && i + 1 == count)) data.push_back(0);

            const uint32_t descriptor = i * kDescriptorSize;
            layout.descriptorOffsets.push_back(headersEnd + descriptor);
            PutU32(data, descriptor + 0, kImportSectionRva + lookup);
            PutU32(data, descriptor + 12, nameRva);
            PutU32(data, descriptor + 16, kImportSectionRva + address);
        }
        imports.name = ".idata";
        imports.virtualAddress = kImportSectionRva;
        imports.pointerToRawData = headersEnd;
        imports.virtualSize = static_cast<uint32_t>(data.size());
        imports.sizeOfRawData = m_bUnterminatedLastName ? static_cast<uint32_t>(data.size())
                                                        : AlignUp(data.size(), kFileAlignment);
        data.resize(imports.sizeOfRawData, 0);
        imports.data = std::move(data);
    }

    std::vector<const SectionSpec*> sections;
    if (hasImports) sections.push_back(&imports);
    for (const SectionSpec& s : m_sections) sections.push_back(&s);
    uint64_t rvaEnd = kImportSectionRva, fileEnd = headersEnd;
    for (const SectionSpec* s : sections) {
        rvaEnd = std::max(rvaEnd, uint64_t(s->virtualAddress) + s->virtualSize);
        fileEnd = std::max(fileEnd, uint64_t(s->pointerToRawData) + s->data.size());
    }

    // The delay-load section goes after everything else, in memory and in
    // the file: descriptors of 32 bytes, a zero record, then the names.
    SectionSpec delay;
    if (hasDelayImports) {
        delay.name = ".didat";
        delay.virtualAddress = AlignUp(rvaEnd, kSectionAlignment);
        delay.pointerToRawData = AlignUp(fileEnd, kFileAlignment);
        const uint32_t count = static_cast<uint32_t>(m_delayImports.size());
        std::vector<uint8_t> data(32 * (count + 1), 0);
        for (uint32_t i = 0; i < count; ++i) {
            const auto& [name, rvaBased] = m_delayImports[i];
            const uint32_t nameRva = delay.virtualAddress + static_cast<uint32_t>(data.size());
            data.insert(data.end(), name.begin(), name.end());
            data.push_back(0);
            PutU32(data, 32 * i, rvaBased ? 1 : 0);
            PutU32(data, 32 * i + 4,
                   rvaBased ? nameRva : static_cast<uint32_t>(imageBase + nameRva));
            layout.delayDescriptorOffsets.push_back(delay.pointerToRawData + 32 * i);
        }
        delay.virtualSize = static_cast<uint32_t>(data.size());
        data.resize(AlignUp(data.size(), kFileAlignment), 0);
        delay.sizeOfRawData = static_cast<uint32_t>(data.size());
        delay.data = std::move(data);
        sections.push_back(&delay);
        rvaEnd = delay.virtualAddress + delay.virtualSize;
    }

    std::vector<uint8_t> bytes = DosStub(headersEnd, 0x40, kPeOffset);

    // Signature and file header.
    bytes[kPeOffset] = 'P', bytes[kPeOffset + 1] = 'E';
    const uint32_t fileHeader = kPeOffset + 4;
    PutU16(bytes, fileHeader + 0, m_bPe32Plus ? 0x8664 : 0x014C);
    PutU16(bytes, fileHeader + 2, static_cast<uint16_t>(sectionCount));
    PutU16(bytes, fileHeader + 16, static_cast<uint16_t>(optionalHeaderSize));
    uint16_t characteristics = 0x0002 | (m_bPe32Plus ? 0x0020 : 0x0100);
    if (m_bDll) characteristics |= 0x2000;
    PutU16(bytes, fileHeader + 18, characteristics);

    // Optional header: the fields from offset 32 on sit alike in both layouts.
    PutU16(bytes, opt + 0, m_bPe32Plus ? 0x20B : 0x10B);
    PutLE(bytes, opt + (m_bPe32Plus ? 24 : 28), imageBase, m_bPe32Plus ? 8 : 4);
    PutU32(bytes, opt + 32, kSectionAlignment);
    PutU32(bytes, opt + 36, kFileAlignment);
    PutU32(bytes, opt + 56, AlignUp(rvaEnd, kSectionAlignment));
    PutU32(bytes, opt + 60, headersEnd);
    PutU16(bytes, opt + 68, 3);  // console subsystem
    PutU32(bytes, layout.dataDirectoryOffset - 4, kDirectoryEntries);

    // Data directory: the tables written, then the entries asked for.
    auto directory = [&](unsigned index, uint32_t rva, uint32_t size) {
        PutU32(bytes, layout.dataDirectoryOffset + 8 * index, rva);
        PutU32(bytes, layout.dataDirectoryOffset + 8 * index + 4, size);
    };
    if (hasImports)
        directory(1, kImportSectionRva, kDescriptorSize * uint32_t(m_imports.size() + 1));
    if (hasDelayImports)
        directory(13, delay.virtualAddress, 32 * uint32_t(m_delayImports.size() + 1));
    for (const auto& [index, rva, size] : m_directories) directory(index, rva, size);

    // Section table and section bytes.
    for (size_t i = 0; i < sections.size(); ++i) {
        const SectionSpec& s = *sections[i];
        const size_t at = sectionTable + kSectionEntrySize * i;
        std::copy_n(s.name.begin(), std::min<size_t>(8, s.name.size()), bytes.begin() + long(at));
        PutU32(bytes, at + 8, s.virtualSize);
        PutU32(bytes, at + 12, s.virtualAddress);
        PutU32(bytes, at + 16, s.sizeOfRawData);
        PutU32(bytes, at + 20, s.pointerToRawData);
        PutU32(bytes, at + 36, 0xC0000040);  // initialised data, readable, writable
    }
    for (const SectionSpec* s : sections) {
        if (s->data.empty()) continue;
        bytes.resize(std::max(bytes.size(), s->pointerToRawData + s->data.size()));
        std::copy(s->data.begin(), s->data.end(), bytes.begin() + long(s->pointerToRawData));
    }

    for (const auto& [at, value, size] : m_patches) PutLE(bytes, at, value, size_t(size));
    if (layoutOut != nullptr) *layoutOut = std::move(layout);
    return bytes;
}

}  // namespace kivrel::test
