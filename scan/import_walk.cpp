#include "import_walk.h"

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
                           NameRvaOf nameRvaOf, const ImportNameVisitor& visit) {
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
        if (read == NAME_READ) visit(name);
    }
    return WALK_DONE;
}
}  // namespace

NameRead ReadBoundedName(const ByteReader& bytes, uint32_t offset, std::string_view& name) {
    if (offset == kNoFileOffset || !bytes.Fits(offset, 1)) return NAME_OUTSIDE_FILE;
    const uint32_t available = bytes.Size() - offset;
    const uint32_t limit = available < kMaxPath ? available : uint32_t(kMaxPath);
    const char* start = reinterpret_cast<const char*>(bytes.Data() + offset);
    for (uint32_t i = 0; i < limit; ++i) {
        if (start[i] == 0) {
            name = std::string_view(start, i);
            return NAME_READ;
        }
    }
    return limit == kMaxPath ? NAME_TOO_LONG : NAME_OUTSIDE_FILE;
}

WalkResult WalkImportNames(const CMappedImage& image, const ImportNameVisitor& visit) {
    return WalkDescriptors(
        image, kImportDirectory, kImportDescriptorSize,
        [](const ByteReader& bytes, uint64_t at, uint32_t& nameRva) {
            return bytes.ReadU32(at + kImportNameOffset, nameRva);
        },
        visit);
}

WalkResult WalkDelayLoadNames(const CMappedImage& image, const ImportNameVisitor& visit) {
    const uint64_t imageBase = image.ImageBase();
    return WalkDescriptors(
        image, kDelayImportDirectory, kDelayDescriptorSize,
        [imageBase](const ByteReader& bytes, uint64_t at, uint32_t& nameRva) {
            uint32_t attributes = 0, name = 0;
            bytes.ReadU32(at, attributes);
            bytes.ReadU32(at + kDelayNameOffset, name);
            if (name == 0 || (attributes & kDelayAttributeRvaBased) != 0) {
                nameRva = name;
                return true;
            }
            // A virtual address below the image base, or too far above it to
            // be an RVA, translates to nothing: the walk ends there.
            if (name < imageBase || name - imageBase > 0xFFFFFFFFu) return false;
            nameRva = static_cast<uint32_t>(name - imageBase);
            return nameRva != 0;
        },
        visit);
}

}  // namespace kivrel
