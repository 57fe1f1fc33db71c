// Fuzz target for the resource directory walk: the bytes are an image whose
// manifests (and a few other resources) are looked up, and read when found.
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "manifest.h"
#include "mapped_image.h"
#include "resource_directory.h"

using namespace kivrel;
using kivrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CMappedImage image(data, fuzz::Size32(size));
    const struct {
        uint16_t type, id;
    } lookups[] = {{kResourceManifest, kProcessManifestId},
                   {kResourceManifest, kIsolationAwareManifestId},
                   {kResourceManifest, 3},
                   {16, 1},
                   {3, 1}};
    for (const auto& lookup : lookups) {
        ResourceData found;
        const ResourceLookup result = FindResourceData(image, lookup.type, lookup.id, found);
        Require(result != RESOURCE_FOUND || image.PeHeaders() != nullptr,
                "found only in a PE image");
        if (result != RESOURCE_FOUND || found.size == 0) continue;
        Require(found.offset < size && found.size <= size - found.offset, "data inside the file");
        fuzz::Touch(data + found.offset);
        fuzz::Touch(data + found.offset + found.size - 1);
        Manifest manifest;
        std::string error;
        ReadManifest(
            std::string_view(reinterpret_cast<const char*>(data) + found.offset, found.size),
            manifest, error);
    }
    return 0;
}
