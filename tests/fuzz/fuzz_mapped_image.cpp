// Fuzz target for the image layer: classification, the data directory and RVA
// translation of arbitrary bytes. Every pointer handed out must lie inside the
// input, and is read so that AddressSanitizer would see it if it did not.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "mapped_image.h"

using kivrel::CMappedImage;
using kivrel::fuzz::Require;
using kivrel::fuzz::Touch;

namespace {

void CheckPointer(const CMappedImage& image, const uint8_t* p) {
    if (p == nullptr) return;
    Require(p >= image.View() && p < image.View() + image.FileSize(), "pointer inside the image");
    Touch(p);
}

void CheckRva(const CMappedImage& image, uint32_t rva) {
    const uint32_t offset = image.RvaToFileOffset(rva);
    const uint8_t* p = image.RvaToPointer(rva);
    CheckPointer(image, p);
    // A translated offset inside the file must give its pointer, and only then.
    const bool inside = offset != kivrel::kNoFileOffset && offset < image.FileSize();
    Require(inside == (p != nullptr), "RvaToPointer agrees with RvaToFileOffset");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const CMappedImage image(data, static_cast<uint32_t>(size));

    const int type = image.ImageType();
    Require(type >= kivrel::IMAGE_NONE && type <= kivrel::IMAGE_PE, "image type in range");
    Require((image.PeHeaders() != nullptr) == (type == kivrel::IMAGE_PE), "PE headers only for PE");
    Require(image.NewHeaderOffset() == -1 || uint32_t(image.NewHeaderOffset()) <= size,
            "new-header offset within the file");
    if (image.PeHeaders() == nullptr) return 0;
    Require(image.PeHeaders() <= image.View() + size, "PE headers within the file");

    Require(image.GetDirectoryEntryPointer(kivrel::kDirectoryEntryCount) ==
                CMappedImage::BadIndexPointer(),
            "index 16 gives the all-ones pointer");
    Require(image.GetDirectoryEntrySize(kivrel::kDirectoryEntryCount) == 0xFFFFFFFF,
            "index 16 gives size 0xFFFFFFFF");
    for (unsigned i = 0; i < kivrel::kDirectoryEntryCount; ++i) {
        CheckPointer(image, image.GetDirectoryEntryPointer(i));
        image.GetDirectoryEntrySize(i);
    }

    // RVAs the fuzzer controls directly: the last 64 bytes of the input, and
    // each one's neighbours, which probe the ends of section ranges.
    const size_t tail = size < 64 ? size : 64;
    for (size_t at = size - tail; at + 4 <= size; at += 4) {
        const uint32_t rva = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 |
                             uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 24;
        CheckRva(image, rva - 1);
        CheckRva(image, rva);
        CheckRva(image, rva + 1);
    }
    CheckRva(image, 0);
    CheckRva(image, 0xFFFFFFFF);
    return 0;
}
