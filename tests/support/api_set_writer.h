// Synthetic API set schemas for tests and fuzz seeds: the ".apiset" section of
// apisetschema.dll in the layouts of versions 2, 4 and 6, and a DLL holding one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kivrel::test {

struct ApiSetEntrySpec {
    std::string name;                // as stored (version 2 stores it without "api-")
    std::vector<std::string> hosts;  // the first is the default host
};

// Where the parts of the last section built begin, for tests that damage it.
struct ApiSetLayout {
    uint32_t countField = 0;  // the header's entry count
    uint32_t entries = 0;     // the first namespace entry
    uint32_t entrySize = 0;
    std::vector<uint32_t> valueLists;  // per entry: its values (version 6) or their list header
};

std::vector<uint8_t> BuildApiSetSection(uint32_t version,
                                        const std::vector<ApiSetEntrySpec>& entries,
                                        ApiSetLayout* layout = nullptr);

// A PE32+ DLL whose one section, ".apiset", holds `section`.
std::vector<uint8_t> BuildApiSetSchemaDll(const std::vector<uint8_t>& section);

}  // namespace kivrel::test
