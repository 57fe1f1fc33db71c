// Synthetic API set schemas for tests: the ".apiset" section of
// apisetschema.dll in the layouts of versions 2, 4 and 6, and a DLL holding one.
#pragma once

#include "pe_writer.h"

namespace kivrel::test {

struct ApiSetEntry {
    std::string name;                // as stored (version 2 stores it without "api-")
    std::vector<std::string> hosts;  // the first is the default host
};

inline std::vector<uint8_t> BuildApiSetSection(uint32_t version,
                                               const std::vector<ApiSetEntry>& entries) {
    const uint32_t count = static_cast<uint32_t>(entries.size());
    const bool v2 = version == 2, v4 = version == 4;  // anything else is written as 6
    const uint32_t header = v2 ? 8 : v4 ? 16 : 28, listHeader = v2 ? 4 : v4 ? 8 : 0;
    const uint32_t valueSize = v2 ? 16 : 20, entrySize = v2 ? 12 : 24;

    std::vector<uint8_t> bytes(header + count * entrySize, 0);
    // Appends `text` as UTF-16 and writes its offset and byte length at `field`.
    auto putName = [&bytes](uint32_t field, const std::string& text) {
        PutU32(bytes, field, static_cast<uint32_t>(bytes.size()));
        PutU32(bytes, field + 4, static_cast<uint32_t>(text.size() * 2));
        for (unsigned char c : text) PutU16(bytes, bytes.size(), c);
    };
    PutU32(bytes, 0, version);
    PutU32(bytes, v2 ? 4 : 12, count);
    for (uint32_t i = 0; i < count; ++i) {
        const ApiSetEntry& wanted = entries[i];
        const uint32_t entry = header + i * entrySize;
        const uint32_t list = static_cast<uint32_t>(bytes.size());
        const uint32_t hostCount = static_cast<uint32_t>(wanted.hosts.size());
        bytes.resize(list + listHeader + hostCount * valueSize, 0);
        if (v2) PutU32(bytes, list, hostCount);
        if (v4) PutU32(bytes, list + 4, hostCount);
        for (uint32_t k = 0; k < hostCount; ++k) {
            const uint32_t value = list + listHeader + k * valueSize;
            putName(value + (v2 ? 8 : 12), wanted.hosts[k]);
        }
        putName(entry + (v2 ? 0 : 4), wanted.name);
        if (v2) PutU32(bytes, entry + 8, list);
        if (v4) PutU32(bytes, entry + 20, list);
        // Version 6: the hashed part (the name up to its last hyphen), the list, its count.
        if (!v2 && !v4)
            PutU32(bytes, entry + 12,
                   {static_cast<uint32_t>(wanted.name.rfind('-') * 2), list, hostCount});
    }
    // EntryOffset, HashOffset (the table is not written), HashFactor.
    if (version == 6) PutU32(bytes, 16, {header, static_cast<uint32_t>(bytes.size()), 31});
    if (!v2) PutU32(bytes, 4, static_cast<uint32_t>(bytes.size()));  // Size
    return bytes;
}

// A PE32+ DLL whose one section, ".apiset", holds `section`.
inline std::vector<uint8_t> BuildApiSetSchemaDll(const std::vector<uint8_t>& section) {
    const uint32_t size = static_cast<uint32_t>(section.size());
    SectionLayout apiset{".apiset", size, 0x1000, (size + 0x1FF) / 0x200 * 0x200, 0x400, section};
    apiset.data.resize(apiset.sizeOfRawData, 0);
    return PeBuilder().Pe32Plus().Dll().Section(apiset).Build();
}

}  // namespace kivrel::test
