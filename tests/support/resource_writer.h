// Resource sections for tests and fuzz seeds: numeric types and IDs, one
// language each, laid out as resource compilers do (tables, then data entries,
// then the data).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kivrel::test {

struct ResourceSpec {
    uint16_t type, id;
    std::string data;
};

// The bytes of a section at `rva`.
std::vector<uint8_t> BuildResourceSection(uint32_t rva, const std::vector<ResourceSpec>& resources);

// Resource sections are placed at this RVA and file offset.
constexpr uint32_t kResourceRva = 0x3000, kResourceFileOffset = 0x400;

// A DLL (PE32+ when `pe32Plus`) whose only section ".rsrc" holds `resources`.
std::vector<uint8_t> PeWithResources(const std::vector<ResourceSpec>& resources,
                                     bool pe32Plus = false);

}  // namespace kivrel::test
