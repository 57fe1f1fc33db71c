// The module names an image imports, read in file offsets: each name RVA is
// translated to a file offset and the name read there within the file and a
// path buffer. Two tables: the import descriptors (data-directory entry 1)
// and the delay-load descriptors (entry 13).
#pragma once

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

enum NameRead {
    NAME_READ,          // `name` holds the text, without its zero
    NAME_TOO_LONG,      // kMaxPath characters or more before a zero
    NAME_OUTSIDE_FILE,  // the offset is not inside the file, or no zero before its end
};

// Reads the zero-terminated name at file offset `offset`, looking at no more
// than kMaxPath bytes and never past the end of the file.
NameRead ReadBoundedName(const ByteReader& bytes, uint32_t offset, std::string_view& name);

}  // namespace kivrel
