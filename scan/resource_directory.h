// The resource directory of a PE image (data-directory entry 2): a tree of
// three levels, type, name and language, each a table of 8-byte entries. Only
// numeric types and IDs are looked up, which is all the manifests need.
#pragma once

#include <cstdint>

namespace kivrel {

class CMappedImage;

constexpr uint16_t kResourceManifest = 24;         // RT_MANIFEST
constexpr uint16_t kProcessManifestId = 1;         // an EXE's manifest
constexpr uint16_t kIsolationAwareManifestId = 2;  // a DLL's manifest, for its own imports

enum ResourceLookup {
    RESOURCE_ABSENT,   // no resource directory, or no such type or ID
    RESOURCE_FOUND,    // `data` holds its file range
    RESOURCE_DAMAGED,  // an entry on the way, or the data, lies outside the image
};

// A range of the file: [offset, offset + size).
struct ResourceData {
    uint32_t offset = 0;
    uint32_t size = 0;
};

// Finds resource `type`/`id` in its first language. The data's bytes must be
// file data of one section from its first byte to its last: a size that
// claims more is damage, not something to read past.
ResourceLookup FindResourceData(const CMappedImage& image, uint16_t type, uint16_t id,
                                ResourceData& data);

}  // namespace kivrel
