// Resource sections for tests: numeric types and IDs, one language each, laid
// out as resource compilers do (tables, then data entries, then the data).
#pragma once

#include "pe_writer.h"

namespace kivrel::test {

struct ResourceEntry {
    uint16_t type, id;
    std::string data;
};

// `pe` (by default a DLL) with a section ".rsrc" holding `resources` at RVA
// 0x3000, file offset 0x400.
std::vector<uint8_t> PeWithResources(const std::vector<ResourceEntry>& resources,
                                     PeBuilder pe = PeBuilder().Dll());

// A manifest: the assembly `name` `version` listing the space-separated
// `files`, depending on the space-separated "NAME/VERSION" `dependencies`.
std::string AssemblyText(const std::string& name, const std::string& version,
                         const std::string& files, const std::string& dependencies = "");

}  // namespace kivrel::test
