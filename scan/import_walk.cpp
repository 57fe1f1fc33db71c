#include "import_walk.h"

#include <algorithm>
#include <cstring>

#include "byte_reader.h"
#include "mapped_image.h"
#include "text.h"

namespace kivrel {

namespace {
constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint32_t kImportNameOffset = 12;
constexpr uint32_t kDelayDescriptorSize = 32;
constexpr uint32_t kDelayNameOffset = 4;
constexpr uint32_t kDelayAttributeRvaBased = 1;

// Walks `recordSize`-byte records from the directory's first one; `nameRvaOf`
// gives a record's name RVA, or false to end the walk. Each record must lie
// inside the file, so the walk ends after at most file size / recordSize
// records.
template <typename NameRvaOf>
WalkResult WalkDescriptors(const CMappedImage& image, unsigned directory, uint32_t recordSize,
                           NameRvaOf nameRvaOf, const ImportDescriptorVisitor& visit) {
    if (image.GetDirectoryEntrySize(directory) == 0) return WALK_NO_TABLE;
    const uint32_t first = image.GetDirectoryEntryOffset(directory);
    if (first == kNoFileOffset) return WALK_UNTRANSLATABLE;
    const ByteReader& bytes = image.Bytes();
    for (uint64_t at = first; bytes.Fits(at, recordSize); at += recordSize) {
        uint32_t nameRva = 0;
        if (!nameRvaOf(bytes, at, nameRva) || nameRva == 0) break;
        std::string_view name;
        const NameRead read = ReadBoundedName(bytes, image.RvaToFileOffset(nameRva), name);
        if (read == NAME_OUTSIDE_FILE) break;
        if (read == NAME_READ) visit(name, at);
    }
    return WALK_DONE;
}

// The delay-load descriptor's older layout holds virtual addresses; an RVA
// of 0 ends the walk, as does an address that is no RVA of this image.
bool DelayRva(uint64_t imageBase, uint32_t attributes, uint32_t value, uint32_t& rva) {
    if (value == 0 || (attributes & kDelayAttributeRvaBased) != 0) {
        rva = value;
        return true;
    }
    if (value < imageBase || value - imageBase > 0xFFFFFFFFu) return false;
    rva = static_cast<uint32_t>(value - imageBase);
    return rva != 0;
}
}  // namespace

NameRead ReadBoundedName(const ByteReader& bytes, uint32_t offset, std::string_view& name) {
    uint64_t unlimited = UINT64_MAX;
    return ReadBudgetedName(bytes, offset, kMaxPath, unlimited, name);
}

NameRead ReadBudgetedName(const ByteReader& bytes, uint32_t offset, size_t limit, uint64_t& budget,
                          std::string_view& name) {
    if (offset == kNoFileOffset || !bytes.Fits(offset, 1)) return NAME_OUTSIDE_FILE;
    const uint64_t available = bytes.Size() - offset;
    const uint64_t span = std::min<uint64_t>({available, limit, budget});
    const char* start = reinterpret_cast<const char*>(bytes.Data() + offset);
    const void* zero = std::memchr(start, 0, size_t(span));
    if (zero != nullptr) {
        name = std::string_view(start, size_t(static_cast<const char*>(zero) - start));
        budget -= name.size() + 1;
        return NAME_READ;
    }
    budget -= span;
    return span == limit ? NAME_TOO_LONG : span == available ? NAME_OUTSIDE_FILE : NAME_OVER_BUDGET;
}

WalkResult WalkImportNames(const CMappedImage& image, const ImportNameVisitor& visit) {
    return WalkImportDescriptors(image, [&](std::string_view name, uint64_t) { visit(name); });
}

WalkResult WalkDelayLoadNames(const CMappedImage& image, const ImportNameVisitor& visit) {
    return WalkDelayLoadDescriptors(image, [&](std::string_view name, uint64_t) { visit(name); });
}

bool DelayLoadFieldRva(const CMappedImage& image, uint64_t record, uint32_t field, uint32_t& rva) {
    const ByteReader& bytes = image.Bytes();
    uint32_t attributes = 0, value = 0;
    if (!bytes.ReadU32(record, attributes) || !bytes.ReadU32(record + field, value)) return false;
    return DelayRva(image.ImageBase(), attributes, value, rva);
}

WalkResult WalkImportDescriptors(const CMappedImage& image, const ImportDescriptorVisitor& visit) {
    return WalkDescriptors(
        image, kImportDirectory, kImportDescriptorSize,
        [](const ByteReader& bytes, uint64_t at, uint32_t& nameRva) {
            return bytes.ReadU32(at + kImportNameOffset, nameRva);
        },
        visit);
}

WalkResult WalkDelayLoadDescriptors(const CMappedImage& image,
                                    const ImportDescriptorVisitor& visit) {
    const uint64_t imageBase = image.ImageBase();
    return WalkDescriptors(
        image, kDelayImportDirectory, kDelayDescriptorSize,
        [imageBase](const ByteReader& bytes, uint64_t at, uint32_t& nameRva) {
            uint32_t attributes = 0, name = 0;
            bytes.ReadU32(at, attributes);
            bytes.ReadU32(at + kDelayNameOffset, name);
            return DelayRva(imageBase, attributes, name, nameRva);
        },
        visit);
}

}  // namespace kivrel
