#include "pe_writer.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kivrel::test {

namespace {
constexpr uint32_t kPeOffset = 0x40, kFileAlignment = 0x200, kSectionAlignment = 0x1000;
constexpr uint32_t kImportSectionRva = 0x1000, kDescriptorSize = 20, kSectionEntrySize = 40;

uint32_t AlignUp(uint64_t value, uint32_t alignment) {
    return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}
}  // namespace

void PutLE(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t size) {
    if (bytes.size() < offset + size) bytes.resize(offset + size);
    for (size_t i = 0; i < size; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
void PutU32(std::vector<uint8_t>& bytes, size_t offset, std::initializer_list<uint32_t> values) {
    for (const uint32_t value : values) {
        PutLE(bytes, offset, value, 4);
        offset += 4;
    }
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

void PeBuilder::WriteThunks(std::vector<uint8_t>& data, uint32_t sectionRva, const ImportedDll& dll,
                            uint32_t lookup, uint32_t address, uint32_t vaBase) const {
    const uint32_t thunkSize = m_bPe32Plus ? 8 : 4;
    const uint64_t ordinalFlag = m_bPe32Plus ? 1ull << 63 : 1ull << 31;
    const std::vector<std::string> functions =
        dll.functions.empty() ? std::vector<std::string>{"#1"} : dll.functions;
    for (size_t k = 0; k < functions.size(); ++k) {
        const std::string& f = functions[k];
        uint64_t value = 0;
        if (f[0] == '#') {
            value = ordinalFlag | std::stoul(f.substr(1));
        } else {
            if (data.size() % 2 != 0) data.push_back(0);
            value = vaBase + sectionRva + data.size();
            const size_t slash = f.find('/');
            const uint16_t hint =
                slash == std::string::npos ? 0 : uint16_t(std::stoul(f.substr(slash + 1)));
            const std::string name = f.substr(0, slash);
            PutU16(data, data.size(), hint);
            data.insert(data.end(), name.begin(), name.end());
            data.push_back(0);
        }
        PutLE(data, lookup + k * thunkSize, value, thunkSize);
        if (address != 0) PutLE(data, address + k * thunkSize, value, thunkSize);
    }
}

std::vector<uint8_t> PeBuilder::Build(PeLayout* layoutOut) const {
    PeLayout layout;
    const uint32_t optionalHeaderSize = m_bPe32Plus ? 240 : 224, thunkSize = m_bPe32Plus ? 8 : 4;
    const size_t sectionCount =
        m_sections.size() + !m_imports.empty() + !m_delayImports.empty() + !m_exports.empty();
    // The tables written, then the entries asked for (which may replace them).
    std::vector<std::tuple<unsigned, uint32_t, uint32_t>> directories;
    const uint64_t imageBase = m_bPe32Plus ? 0x140000000ull : 0x400000;
    const uint32_t opt = kPeOffset + 24;  // the optional header
    layout.dataDirectoryOffset = opt + (m_bPe32Plus ? 112 : 96);
    const uint32_t sectionTable = opt + optionalHeaderSize;
    const uint32_t headersEnd =
        AlignUp(sectionTable + kSectionEntrySize * sectionCount, kFileAlignment);

    // The import section: descriptors, then per descriptor its lookup table
    // and its address table (alike), then hint/name entries and names.
    SectionLayout imports{".idata", 0, kImportSectionRva, 0, headersEnd, {}};
    if (!m_imports.empty()) {
        const uint32_t count = static_cast<uint32_t>(m_imports.size());
        std::vector<uint32_t> lookups;
        uint32_t thunkEnd = kDescriptorSize * (count + 1);
        for (const ImportedDll& dll : m_imports) {
            lookups.push_back(thunkEnd);
            thunkEnd += 2 * ThunkCount(dll) * thunkSize;
        }
        std::vector<uint8_t>& data = imports.data;
        data.resize(thunkEnd, 0);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t lookup = lookups[i];
            const uint32_t address = lookup + ThunkCount(m_imports[i]) * thunkSize;
            WriteThunks(data, kImportSectionRva, m_imports[i], lookup, address, 0);
            layout.thunkOffsets.push_back(headersEnd + lookup);
            const uint32_t nameRva = kImportSectionRva + static_cast<uint32_t>(data.size());
            layout.nameOffsets.push_back(headersEnd + static_cast<uint32_t>(data.size()));
            const std::string& name = m_imports[i].name;
            data.insert(data.end(), name.begin(), name.end());
            if (!(m_bUnterminatedLastName && i + 1 == count)) data.push_back(0);
            layout.descriptorOffsets.push_back(headersEnd + i * kDescriptorSize);
            PutU32(data, i * kDescriptorSize, kImportSectionRva + lookup);
            PutU32(data, i * kDescriptorSize + 12, {nameRva, kImportSectionRva + address});
        }
        imports.virtualSize = static_cast<uint32_t>(data.size());
        imports.sizeOfRawData = m_bUnterminatedLastName ? static_cast<uint32_t>(data.size())
                                                        : AlignUp(data.size(), kFileAlignment);
        data.resize(imports.sizeOfRawData, 0);
    }

    std::vector<const SectionLayout*> sections;
    if (!m_imports.empty()) sections.push_back(&imports);
    for (const SectionLayout& s : m_sections) sections.push_back(&s);
    uint64_t rvaEnd = kImportSectionRva, fileEnd = headersEnd;
    for (const SectionLayout* s : sections) {
        rvaEnd = std::max(rvaEnd, uint64_t(s->virtualAddress) + s->virtualSize);
        fileEnd = std::max(fileEnd, uint64_t(s->pointerToRawData) + s->data.size());
    }
    // Sections after all others, in memory and in the file.
    auto placeLast = [&](SectionLayout& section, const char* name, std::vector<uint8_t> data) {
        const uint32_t size = static_cast<uint32_t>(data.size());
        data.resize(AlignUp(size, kFileAlignment), 0);
        section = {name,
                   size,
                   AlignUp(rvaEnd, kSectionAlignment),
                   uint32_t(data.size()),
                   AlignUp(fileEnd, kFileAlignment),
                   std::move(data)};
        sections.push_back(&section);
        rvaEnd = section.virtualAddress + section.virtualSize;
        fileEnd = section.pointerToRawData + section.sizeOfRawData;
    };

    // The export section: the directory, the address, name pointer and
    // ordinal tables, then the texts. Code exports get RVAs below 0x1000.
    SectionLayout exports;
    if (!m_exports.empty()) {
        const uint32_t rva = AlignUp(rvaEnd, kSectionAlignment);
        const uint32_t n = static_cast<uint32_t>(m_exports.size());
        std::vector<std::pair<std::string, uint32_t>> names;  // name, address index
        for (uint32_t i = 0; i < n; ++i) {
            const std::string& e = m_exports[i];
            if (!e.empty() && e[0] != '#') names.emplace_back(e.substr(0, e.find('=')), i);
        }
        const uint32_t m = static_cast<uint32_t>(names.size());
        const uint32_t addresses = 40, namePointers = addresses + 4 * n;
        const uint32_t ordinals = namePointers + 4 * m;
        std::vector<uint8_t> data(ordinals + 2 * m, 0);
        auto text = [&](const std::string& t) {
            const uint32_t at = rva + static_cast<uint32_t>(data.size());
            data.insert(data.end(), t.begin(), t.end());
            data.push_back(0);
            return at;
        };
        PutU32(data, 12,
               {text("test.dll"), m_nExportBase, n, m, rva + addresses, rva + namePointers,
                rva + ordinals});
        for (uint32_t k = 0; k < m; ++k) {
            PutU32(data, namePointers + 4 * k, text(names[k].first));
            PutU16(data, ordinals + 2 * k, static_cast<uint16_t>(names[k].second));
        }
        for (uint32_t i = 0; i < n; ++i) {
            const std::string& e = m_exports[i];
            const size_t equals = e.find('=');
            PutU32(data, addresses + 4 * i,
                   e.empty()                     ? 0
                   : equals == std::string::npos ? 0x10 + 4 * i
                                                 : text(e.substr(equals + 1)));
        }
        placeLast(exports, ".edata", std::move(data));
        directories.emplace_back(0, rva, exports.virtualSize);
        layout.exportDirectoryOffset = exports.pointerToRawData;
        layout.exportAddressesOffset = exports.pointerToRawData + addresses;
        layout.exportNamesOffset = exports.pointerToRawData + namePointers;
        layout.exportOrdinalsOffset = exports.pointerToRawData + ordinals;
    }

    // The delay-load section: descriptors of 32 bytes, a zero record, each
    // one's name table, then hint/name entries and names.
    SectionLayout delay;
    if (!m_delayImports.empty()) {
        const uint32_t rva = AlignUp(rvaEnd, kSectionAlignment);
        const uint32_t file = AlignUp(fileEnd, kFileAlignment);
        const uint32_t count = static_cast<uint32_t>(m_delayImports.size());
        std::vector<uint32_t> lookups;
        uint32_t thunkEnd = 32 * (count + 1);
        for (const auto& [dll, rvaBased] : m_delayImports) {
            lookups.push_back(thunkEnd);
            thunkEnd += ThunkCount(dll) * thunkSize;
        }
        std::vector<uint8_t> data(thunkEnd, 0);
        for (uint32_t i = 0; i < count; ++i) {
            const auto& [dll, rvaBased] = m_delayImports[i];
            // The older layout holds virtual addresses (low 32 bits) throughout.
            const uint32_t base = rvaBased ? 0 : static_cast<uint32_t>(imageBase);
            WriteThunks(data, rva, dll, lookups[i], 0, base);
            layout.thunkOffsets.push_back(file + lookups[i]);
            const uint32_t nameRva = rva + static_cast<uint32_t>(data.size());
            data.insert(data.end(), dll.name.begin(), dll.name.end());
            data.push_back(0);
            PutU32(data, 32 * i, {rvaBased ? 1u : 0u, base + nameRva});
            PutU32(data, 32 * i + 16, base + rva + lookups[i]);
            layout.delayDescriptorOffsets.push_back(file + 32 * i);
        }
        placeLast(delay, ".didat", std::move(data));
        directories.emplace_back(13, delay.virtualAddress, 32 * count + 32);
    }

    // Signature, file header, optional header (the fields from offset 32 on
    // sit alike in both layouts), 16 data directory entries.
    std::vector<uint8_t> bytes = DosStub(headersEnd, 0x40, kPeOffset);
    bytes[kPeOffset] = 'P', bytes[kPeOffset + 1] = 'E';
    PutU16(bytes, kPeOffset + 4, m_bPe32Plus ? 0x8664 : 0x014C);
    PutU16(bytes, kPeOffset + 6, static_cast<uint16_t>(sectionCount));
    PutU16(bytes, kPeOffset + 20, static_cast<uint16_t>(optionalHeaderSize));
    PutU16(bytes, kPeOffset + 22, 0x0002 | (m_bPe32Plus ? 0x0020 : 0x0100) | (m_bDll ? 0x2000 : 0));
    PutU16(bytes, opt + 0, m_bPe32Plus ? 0x20B : 0x10B);
    PutLE(bytes, opt + (m_bPe32Plus ? 24 : 28), imageBase, m_bPe32Plus ? 8 : 4);
    PutU32(bytes, opt + 32, {kSectionAlignment, kFileAlignment});
    PutU32(bytes, opt + 56, {AlignUp(rvaEnd, kSectionAlignment), headersEnd});
    PutU16(bytes, opt + 68, 3);  // console subsystem
    PutU32(bytes, layout.dataDirectoryOffset - 4, 16);
    if (!m_imports.empty())
        directories.emplace(directories.begin(), 1, kImportSectionRva,
                            kDescriptorSize * uint32_t(m_imports.size() + 1));
    directories.insert(directories.end(), m_directories.begin(), m_directories.end());
    for (const auto& [index, rva, size] : directories)
        PutU32(bytes, layout.dataDirectoryOffset + 8 * index, {rva, size});

    // Section table and section bytes.
    for (size_t i = 0; i < sections.size(); ++i) {
        const SectionLayout& s = *sections[i];
        const size_t at = sectionTable + kSectionEntrySize * i;
        std::copy_n(s.name.begin(), std::min<size_t>(8, s.name.size()), bytes.begin() + long(at));
        PutU32(bytes, at + 8,
               {s.virtualSize, s.virtualAddress, s.sizeOfRawData, s.pointerToRawData});
        PutU32(bytes, at + 36, 0xC0000040);  // initialised data, readable, writable
    }
    for (const SectionLayout* s : sections) {
        if (s->data.empty()) continue;
        bytes.resize(std::max(bytes.size(), s->pointerToRawData + s->data.size()));
        std::copy(s->data.begin(), s->data.end(), bytes.begin() + long(s->pointerToRawData));
    }
    for (const auto& [at, value, size] : m_patches) PutLE(bytes, at, value, size_t(size));
    if (layoutOut != nullptr) *layoutOut = std::move(layout);
    return bytes;
}

}  // namespace kivrel::test
