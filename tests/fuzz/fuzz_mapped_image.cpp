// Fuzz target for the image layer: every pointer handed out lies inside the
// input, and is read so that AddressSanitizer would see it if it did not;
// the resource directory is walked as .local redirection reads it.
#include <vector>

#include "fuzz_check.h"
#include "loader_folders.h"
#include "mapped_image.h"

using namespace kivrel;
using fuzz::Require;

static void CheckPointer(const CMappedImage& image, const uint8_t* p) {
    if (p == nullptr) return;
    Require(p >= image.View() && p < image.View() + image.FileSize(), "pointer inside the image");
    fuzz::Touch(p);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CMappedImage image(data, fuzz::Size32(size));
    const int type = image.ImageType();
    Require(type >= IMAGE_NONE && type <= IMAGE_PE, "image type in range");
    Require((image.PeHeaders() != nullptr) == (type == IMAGE_PE), "PE headers only for PE");
    Require(image.NewHeaderOffset() == -1 || uint32_t(image.NewHeaderOffset()) <= size,
            "new-header offset within the file");
    if (image.PeHeaders() == nullptr) return 0;
    Require(image.PeHeaders() <= image.View() + size, "PE headers within the file");
    Require(
        image.GetDirectoryEntryPointer(kDirectoryEntryCount) == CMappedImage::BadIndexPointer() &&
            image.GetDirectoryEntrySize(kDirectoryEntryCount) == 0xFFFFFFFF,
        "index 16 gives the all-ones pointer and size");
    for (unsigned i = 0; i < kDirectoryEntryCount; ++i) {
        CheckPointer(image, image.GetDirectoryEntryPointer(i));
        image.GetDirectoryEntrySize(i);
    }
    HasManifestResource(image);  // .local's test: the resource directory, read bounded
    // RVAs from the last 64 bytes of the input, and their neighbours.
    std::vector<uint32_t> rvas{0, 0xFFFFFFFF};
    for (size_t at = size - (size < 64 ? size : 64); at + 4 <= size; at += 4) {
        const uint32_t rva = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 |
                             uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 24;
        rvas.insert(rvas.end(), {rva - 1, rva, rva + 1});
    }
    for (const uint32_t rva : rvas) {
        const uint32_t offset = image.RvaToFileOffset(rva);
        const uint8_t* p = image.RvaToPointer(rva);
        CheckPointer(image, p);
        Require((offset != kNoFileOffset && offset < image.FileSize()) == (p != nullptr),
                "RvaToPointer agrees with RvaToFileOffset");
    }
    return 0;
}
