// The module names an image imports, read in file offsets: each name RVA is
// translated to a file offset and the name read there within the file and a
// path buffer. Two tables: the import descriptors (data-directory entry 1)
// and the delay-load descriptors (entry 13).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace kivrel {

class ByteReader;
class CMappedImage;

constexpr unsigned kDelayImportDirectory = 13;

enum WalkResult {
    WALK_NO_TABLE,        // the directory entry's size is 0
    WALK_UNTRANSLATABLE,  // its RVA is 0 or does not translate into the file
    WALK_DONE,            // the descriptors were walked (perhaps without a name)
};

// Called for each name shorter than a path buffer, exactly as the file holds it.
using ImportNameVisitor = std::function<void(std::string_view name)>;

// Import descriptors: 20-byte records, the name RVA at offset 12. The walk
// ends at a zero name RVA, at a name RVA that does not translate, at a name
// running off the end of the file, or at the last whole record in the file;
// a name of 260 characters or more is skipped.
WalkResult WalkImportNames(const CMappedImage& image, const ImportNameVisitor& visit);

// Delay-load descriptors: 32-byte records, attributes at 0 and the name at 4.
// With attribute bit 0 set the name is an RVA; without it (the older layout)
// a virtual address, from which the image base is subtracted. Otherwise as
// the import walk.
WalkResult WalkDelayLoadNames(const CMappedImage& image, const ImportNameVisitor& visit);

// The same walks, each name with the file offset of its descriptor, for the
// readers of the descriptors' other fields.
using ImportDescriptorVisitor = std::function<void(std::string_view name, uint64_t record)>;
WalkResult WalkImportDescriptors(const CMappedImage& image, const ImportDescriptorVisitor& visit);
WalkResult WalkDelayLoadDescriptors(const CMappedImage& image,
                                    const ImportDescriptorVisitor& visit);
// The RVA held by the delay-load descriptor at `record` in its field at
// `field` (an address in the older layout); false when it is no RVA of the image.
bool DelayLoadFieldRva(const CMappedImage& image, uint64_t record, uint32_t field, uint32_t& rva);

enum NameRead {
    NAME_READ,          // `name` holds the text, without its zero
    NAME_TOO_LONG,      // no zero in the bytes the limit allows
    NAME_OUTSIDE_FILE,  // the offset is not inside the file, or no zero before its end
    NAME_OVER_BUDGET,   // the budget ran out first
};

// Reads the zero-terminated name at file offset `offset`, looking at no more
// than kMaxPath bytes and never past the end of the file.
NameRead ReadBoundedName(const ByteReader& bytes, uint32_t offset, std::string_view& name);

// The same with a limit of `limit` bytes (the zero included) and a budget of
// bytes still to look at, reduced by those looked at. The names of a
// well-formed table do not overlap, so a budget of the file's size reads them
// all; a hostile table of names that overlap ends there instead of costing the
// file's size once per name.
NameRead ReadBudgetedName(const ByteReader& bytes, uint32_t offset, size_t limit, uint64_t& budget,
                          std::string_view& name);

}  // namespace kivrel
