#include "resource_writer.h"

#include <map>
#include <sstream>

namespace kivrel::test {

namespace {
constexpr uint32_t kResourceRva = 0x3000, kResourceFileOffset = 0x400;

// The bytes of a section at `rva`.
std::vector<uint8_t> BuildResourceSection(uint32_t rva,
                                          const std::vector<ResourceEntry>& resources) {
    std::map<uint16_t, std::map<uint16_t, const std::string*>> tree;
    for (const ResourceEntry& r : resources) tree[r.type][r.id] = &r.data;
    // Sizes first: the root, a table per type, a one-language table per ID;
    // a table's ID count is its word at 14.
    uint32_t entry = 16 + 8 * uint32_t(tree.size());  // then the data entries
    for (const auto& [type, ids] : tree) entry += 16 + 32 * uint32_t(ids.size());
    uint32_t data = entry + 16 * uint32_t(resources.size());
    std::vector<uint8_t> out(data, 0);
    PutU16(out, 14, uint16_t(tree.size()));
    uint32_t next = 16 + 8 * uint32_t(tree.size()), slot = 16;
    for (const auto& [type, ids] : tree) {
        PutU32(out, slot, {type, 0x80000000u | next});
        slot += 8;
        uint32_t idSlot = next + 16;
        PutU16(out, next + 14, uint16_t(ids.size()));
        next += 16 + 8 * uint32_t(ids.size());
        for (const auto& [id, bytes] : ids) {
            PutU32(out, idSlot, {id, 0x80000000u | next});
            idSlot += 8;
            PutU16(out, next + 14, 1);
            PutU32(out, next + 16, {0x409, entry});
            next += 24;
            PutU32(out, entry, {rva + data, uint32_t(bytes->size())});
            entry += 16;
            out.insert(out.end(), bytes->begin(), bytes->end());
            data = uint32_t(out.size() + 3) & ~3u;
            out.resize(data);
        }
    }
    return out;
}
}  // namespace

std::vector<uint8_t> PeWithResources(const std::vector<ResourceEntry>& resources, PeBuilder pe) {
    std::vector<uint8_t> section = BuildResourceSection(kResourceRva, resources);
    const uint32_t size = uint32_t(section.size());
    return pe
        .Section({".rsrc", size, kResourceRva, (size + 0x1FF) & ~0x1FFu, kResourceFileOffset,
                  std::move(section)})
        .DataDirectory(2, kResourceRva, size)
        .Build();
}

std::string AssemblyText(const std::string& name, const std::string& version,
                         const std::string& files, const std::string& dependencies) {
    std::string text =
        "<assembly xmlns='urn:schemas-microsoft-com:asm.v1'><assemblyIdentity name='" + name +
        "' version='" + version + "'/>";
    std::istringstream in(files);
    for (std::string file; in >> file;) text += "<file name='" + file + "'/>";
    std::istringstream wanted(dependencies);
    for (std::string dependency; wanted >> dependency;) {
        const size_t slash = dependency.find('/');
        text += "<dependency><dependentAssembly><assemblyIdentity type='win32' name='" +
                dependency.substr(0, slash) + "' version='" + dependency.substr(slash + 1) +
                "' processorArchitecture='*'/></dependentAssembly></dependency>";
    }
    return text + "</assembly>";
}

}  // namespace kivrel::test
