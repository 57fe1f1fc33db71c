#include "resource_directory.h"

#include "mapped_image.h"

namespace kivrel {

namespace {
constexpr uint32_t kTableHeaderSize = 16;
constexpr uint32_t kNamedCountField = 12;
constexpr uint32_t kIdCountField = 14;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;

// Offsets in the tree are relative to the directory's own RVA.
class CResourceTree {
public:
    explicit CResourceTree(const CMappedImage& image)
        : m_image(image), m_root(image.GetDirectoryEntryRva(kResourceDirectory)) {}

    bool Present() const {
        return m_root != 0 && m_image.GetDirectoryEntrySize(kResourceDirectory) != 0;
    }

    // The file offset of `size` bytes at tree offset `at`, when they are file
    // data of one section.
    bool Locate(uint32_t at, uint32_t size, uint32_t& offset) const {
        const uint64_t rva = uint64_t(m_root) + at;
        return rva <= UINT32_MAX && LocateRva(uint32_t(rva), size, offset);
    }
    bool LocateRva(uint32_t rva, uint32_t size, uint32_t& offset) const {
        uint32_t contiguous = 0;
        offset = m_image.RvaToFileOffset(rva, contiguous);
        return offset != kNoFileOffset && size <= contiguous;
    }

    // The entry of table `table` whose numeric ID is `id` (`id` < 0: the first
    // entry of any kind); its second field in `target`. The table is walked
    // only as far as its entries are file data, so a count that lies costs
    // nothing.
    ResourceLookup Find(uint32_t table, int id, uint32_t& target) const {
        uint32_t header = 0;
        if (!Locate(table, kTableHeaderSize, header)) return RESOURCE_DAMAGED;
        const ByteReader& bytes = m_image.Bytes();
        uint16_t named = 0, ids = 0;
        bytes.ReadU16(uint64_t(header) + kNamedCountField, named);
        bytes.ReadU16(uint64_t(header) + kIdCountField, ids);
        const uint32_t count = uint32_t(named) + ids;
        uint32_t entries = 0, contiguous = 0;
        const uint64_t first = uint64_t(m_root) + table + kTableHeaderSize;
        if (count == 0) return RESOURCE_ABSENT;
        if (first > UINT32_MAX) return RESOURCE_DAMAGED;
        entries = m_image.RvaToFileOffset(uint32_t(first), contiguous);
        if (entries == kNoFileOffset) return RESOURCE_DAMAGED;
        const uint32_t readable = contiguous / kEntrySize < count ? contiguous / kEntrySize : count;
        for (uint32_t i = 0; i < readable; ++i) {
            uint32_t name = 0;
            const uint64_t entry = uint64_t(entries) + uint64_t(kEntrySize) * i;
            bytes.ReadU32(entry, name);
            if (id >= 0 && ((name & kHighBit) != 0 || name != uint32_t(id))) continue;
            bytes.ReadU32(entry + 4, target);
            return RESOURCE_FOUND;
        }
        return readable < count ? RESOURCE_DAMAGED : RESOURCE_ABSENT;
    }

private:
    const CMappedImage& m_image;
    uint32_t m_root;
};

// A subdirectory's offset, or false when the entry points at data instead.
bool Subdirectory(uint32_t target, uint32_t& table) {
    table = target & ~kHighBit;
    return (target & kHighBit) != 0;
}
}  // namespace

ResourceLookup FindResourceData(const CMappedImage& image, uint16_t type, uint16_t id,
                                ResourceData& data) {
    const CResourceTree tree(image);
    if (!tree.Present()) return RESOURCE_ABSENT;
    // Exactly three levels are descended, so an entry that points back up the
    // tree cannot make the walk loop.
    uint32_t target = 0, table = 0;
    ResourceLookup lookup = tree.Find(0, type, target);
    if (lookup != RESOURCE_FOUND) return lookup;
    if (!Subdirectory(target, table)) return RESOURCE_DAMAGED;
    if ((lookup = tree.Find(table, id, target)) != RESOURCE_FOUND) return lookup;
    if (!Subdirectory(target, table)) return RESOURCE_DAMAGED;
    if ((lookup = tree.Find(table, -1, target)) != RESOURCE_FOUND) return lookup;
    uint32_t entry = 0;
    if (Subdirectory(target, table) || !tree.Locate(table, kDataEntrySize, entry))
        return RESOURCE_DAMAGED;
    uint32_t rva = 0, size = 0;
    image.Bytes().ReadU32(entry, rva);
    image.Bytes().ReadU32(uint64_t(entry) + 4, size);
    uint32_t offset = 0;
    if (size != 0 && !tree.LocateRva(rva, size, offset)) return RESOURCE_DAMAGED;
    data.offset = size != 0 ? offset : 0;
    data.size = size;
    return RESOURCE_FOUND;
}

}  // namespace kivrel
