#include "api_set_writer.h"

#include "pe_writer.h"

namespace kivrel::test {

namespace {
// Appends `text` as UTF-16 and returns its offset.
uint32_t PutName(std::vector<uint8_t>& bytes, const std::string& text) {
    const uint32_t offset = static_cast<uint32_t>(bytes.size());
    for (unsigned char c : text) PutU16(bytes, bytes.size(), c);
    return offset;
}

uint32_t NameBytes(const std::string& text) { return static_cast<uint32_t>(text.size() * 2); }
}  // namespace

std::vector<uint8_t> BuildApiSetSection(uint32_t version,
                                        const std::vector<ApiSetEntrySpec>& entries,
                                        ApiSetLayout* layoutOut) {
    ApiSetLayout layout;
    const uint32_t count = static_cast<uint32_t>(entries.size());
    uint32_t header = 0, valueSize = 0, listHeader = 0;
    switch (version) {
        case 2:
            header = 8, layout.entrySize = 12, valueSize = 16, listHeader = 4;
            break;
        case 4:
            header = 16, layout.entrySize = 24, valueSize = 20, listHeader = 8;
            break;
        default:
            header = 28, layout.entrySize = 24, valueSize = 20, listHeader = 0;
            break;
    }
    layout.countField = version == 2 ? 4 : 12;
    layout.entries = header;

    std::vector<uint8_t> bytes(header + count * layout.entrySize, 0);
    PutU32(bytes, 0, version);
    PutU32(bytes, layout.countField, count);
    for (uint32_t i = 0; i < count; ++i) {
        const ApiSetEntrySpec& wanted = entries[i];
        const uint32_t entry = header + i * layout.entrySize;
        const uint32_t list = static_cast<uint32_t>(bytes.size());
        layout.valueLists.push_back(list);
        const uint32_t hostCount = static_cast<uint32_t>(wanted.hosts.size());
        bytes.resize(list + listHeader + hostCount * valueSize, 0);
        if (version == 2) PutU32(bytes, list, hostCount);
        if (version == 4) PutU32(bytes, list + 4, hostCount);
        for (uint32_t k = 0; k < hostCount; ++k) {
            const uint32_t value = list + listHeader + k * valueSize;
            const uint32_t field = version == 2 ? 8 : 12;
            PutU32(bytes, value + field, PutName(bytes, wanted.hosts[k]));
            PutU32(bytes, value + field + 4, NameBytes(wanted.hosts[k]));
        }
        const uint32_t name = PutName(bytes, wanted.name);
        if (version == 2) {
            PutU32(bytes, entry, name);
            PutU32(bytes, entry + 4, NameBytes(wanted.name));
            PutU32(bytes, entry + 8, list);
        } else if (version == 4) {
            PutU32(bytes, entry + 4, name);
            PutU32(bytes, entry + 8, NameBytes(wanted.name));
            PutU32(bytes, entry + 20, list);
        } else {
            const size_t hyphen = wanted.name.rfind('-');
            PutU32(bytes, entry + 4, name);
            PutU32(bytes, entry + 8, NameBytes(wanted.name));
            PutU32(bytes, entry + 12, NameBytes(wanted.name.substr(0, hyphen)));
            PutU32(bytes, entry + 16, list);
            PutU32(bytes, entry + 20, hostCount);
        }
    }
    if (version == 6) {
        PutU32(bytes, 16, header);                               // EntryOffset
        PutU32(bytes, 20, static_cast<uint32_t>(bytes.size()));  // HashOffset (table not written)
        PutU32(bytes, 24, 31);                                   // HashFactor
    }
    if (version != 2) PutU32(bytes, 4, static_cast<uint32_t>(bytes.size()));  // Size
    if (layoutOut != nullptr) *layoutOut = std::move(layout);
    return bytes;
}

std::vector<uint8_t> BuildApiSetSchemaDll(const std::vector<uint8_t>& section) {
    SectionSpec apiset;
    apiset.name = ".apiset";
    apiset.virtualAddress = 0x1000;
    apiset.virtualSize = static_cast<uint32_t>(section.size());
    apiset.pointerToRawData = 0x400;
    apiset.sizeOfRawData = static_cast<uint32_t>((section.size() + 0x1FF) / 0x200 * 0x200);
    apiset.data = section;
    apiset.data.resize(apiset.sizeOfRawData, 0);
    return PeBuilder().Pe32Plus().Dll().Section(apiset).Build();
}

}  // namespace kivrel::test
