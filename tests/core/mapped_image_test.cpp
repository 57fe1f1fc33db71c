// CMappedImage: the open errors, the classification codes 0 to 5, the data
// directory (PE32 and PE32+) and the translation of RVAs.
#include "mapped_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pe_writer.h"
#include "temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kivrel {
namespace {

using test::DosStub;
using test::PeBuilder;
using test::PeLayout;
using test::SectionSpec;
using test::TempDir;
using Bytes = std::vector<uint8_t>;

CMappedImage InMemory(const Bytes& bytes) {
    return CMappedImage(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// The byte an RVA translates to, or -1 when it does not translate.
int ByteAt(const CMappedImage& image, uint32_t rva) {
    const uint8_t* p = image.RvaToPointer(rva);
    return p == nullptr ? -1 : *p;
}

// A DOS header (word at 24 = 64) whose new header at 64 begins with `signature`.
Bytes WithNewHeader(const std::string& signature, size_t size = 128) {
    Bytes bytes = DosStub(size, 64, 64);
    for (size_t i = 0; i < signature.size() && 64 + i < size; ++i) bytes[64 + i] = signature[i];
    return bytes;
}

// --- Open errors (file-based constructor) ---------------------------------

// A missing file is open error 1, an empty one error 2; neither is an image.
TEST(MappedImageOpen, MissingAndEmptyFiles) {
    TempDir dir;
    for (const auto& [path, openError] :
         {std::pair{dir.File("no-such-file.dll"), 1}, std::pair{dir.Write("empty.dll", {}), 2}}) {
        SCOPED_TRACE(path);
        CMappedImage image(path.c_str());
        EXPECT_EQ(image.OpenError(), openError);
        EXPECT_EQ(image.ImageType(), IMAGE_NONE);
        EXPECT_EQ(image.PeHeaders(), nullptr);
        EXPECT_EQ(image.NewHeaderOffset(), -1);
    }
}

TEST(MappedImageOpen, PeFileMapsWholeFile) {
    TempDir dir;
    const Bytes bytes = PeBuilder().Import("KERNEL32.dll").Build();
    CMappedImage image(dir.Write("a.dll", bytes).c_str());
    EXPECT_EQ(image.OpenError(), 0);
    EXPECT_EQ(image.FileSize(), bytes.size());
    EXPECT_EQ(image.ImageType(), IMAGE_PE);
    ASSERT_NE(image.PeHeaders(), nullptr);
    EXPECT_EQ(image.PeHeaders(), image.View() + 0x40);
}

#ifdef _WIN32
// The file is opened sharing read access only: a writer elsewhere keeps it
// from being opened at all, and while it is mapped no writer can open it.
TEST(MappedImageOpen, FileIsSharedForReadingOnly) {
    TempDir dir;
    const std::string path = dir.Write("busy.dll", PeBuilder().Build());
    auto openWriter = [&path] {
        return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE writer = openWriter();
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    {
        CMappedImage image(path.c_str());
        EXPECT_EQ(image.OpenError(), 1);
        EXPECT_EQ(image.ImageType(), IMAGE_NONE);
        EXPECT_EQ(image.PeHeaders(), nullptr);
    }
    CloseHandle(writer);
    CMappedImage image(path.c_str());
    EXPECT_EQ(image.OpenError(), 0);
    EXPECT_EQ(image.ImageType(), IMAGE_PE);
    writer = openWriter();
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
}
#endif

// --- Classification ---------------------------------------------------------

struct ClassifyCase {
    const char* name;
    Bytes bytes;
    int type;
    int32_t newHeaderOffset;
};

// `bytes` with `text` written at `offset`.
Bytes Patched(Bytes bytes, size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), bytes.begin() + offset);
    return bytes;
}

std::vector<ClassifyCase> ClassifyCases() {
    const std::string pe("PE\0\0", 4);
    return {
        // clang-format off
        {"63 bytes with MZ", DosStub(63, 0, 0), IMAGE_NONE, -1},
        {"64 bytes, word at 24 below 64", DosStub(64, 63, 64), IMAGE_DOS, -1},
        {"64 bytes, word at 24 is 0", DosStub(64, 0, 0), IMAGE_DOS, -1},
        {"no MZ", Patched(WithNewHeader(pe), 0, "ZM"), IMAGE_NONE, -1},
        {"PE signature", WithNewHeader(pe), IMAGE_PE, 64},
        {"NE", WithNewHeader("NE"), IMAGE_NE, 64},
        {"LE", WithNewHeader("LE"), IMAGE_LE, 64},
        {"X then E", WithNewHeader("XE"), IMAGE_XE, 64},
        {"LX is not recognised", WithNewHeader("LX"), IMAGE_NONE, 64},
        {"EX is not recognised", WithNewHeader("EX"), IMAGE_NONE, 64},
        {"PE followed by 0 1", WithNewHeader(std::string("PE\0\1", 4)), IMAGE_NONE, 64},
        {"zeros", WithNewHeader(""), IMAGE_NONE, 64},
        // e_lfanew beyond, at and just before the end of the file.
        {"new header past the end", DosStub(100, 64, 101), IMAGE_NONE, -1},
        {"new header far past the end", DosStub(100, 64, 0xFFFFFFF0), IMAGE_NONE, -1},
        {"new header at the end", DosStub(100, 64, 100), IMAGE_NONE, 100},
        {"NE in the last two bytes", Patched(DosStub(66, 64, 64), 64, "NE"), IMAGE_NE, 64},
        {"PE signature cut by the end", Patched(DosStub(67, 64, 64), 64, "PE"), IMAGE_NONE, 64},
        // The new header may lie inside the DOS header itself.
        {"new header at offset 0 (MZ)", DosStub(64, 64, 0), IMAGE_NONE, 0},
        {"PE32+ image", PeBuilder().Pe32Plus().Build(), IMAGE_PE, 0x40},
        {"builder NE", PeBuilder().NewHeaderSignature("NE").Build(), IMAGE_NE, 0x40},
        {"builder DOS", PeBuilder().DosRelocationOffset(0x3F).Build(), IMAGE_DOS, -1},
        // clang-format on
    };
}

// The file-based constructor classifies exactly as the in-memory one.
TEST(MappedImageClassify, InMemoryAndFromFiles) {
    TempDir dir;
    int n = 0;
    for (const ClassifyCase& c : ClassifyCases()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("case" + std::to_string(n++) + ".bin", c.bytes);
        const CMappedImage file(path.c_str());
        EXPECT_EQ(file.FileSize(), c.bytes.size());
        const CMappedImage memory = InMemory(c.bytes);
        for (const CMappedImage* image : {&file, &memory}) {
            EXPECT_EQ(image->OpenError(), 0);
            EXPECT_EQ(image->ImageType(), c.type);
            EXPECT_EQ(image->NewHeaderOffset(), c.newHeaderOffset);
            EXPECT_EQ(image->PeHeaders(),
                      c.type == IMAGE_PE ? image->View() + c.newHeaderOffset : nullptr);
        }
    }
}

// --- Data directory ------------------------------------------------------------

TEST(MappedImageDirectory, EntriesReadAsWritten) {
    PeLayout layout;
    const Bytes bytes = PeBuilder()
                            .Import("a.dll")
                            .DataDirectory(0, 0x1004, 0x1234)
                            .DataDirectory(3, 0x50000, 8)
                            .DataDirectory(15, 0, 0xABCD)
                            .Build(&layout);
    const CMappedImage image = InMemory(bytes);
    const uint8_t* const bad = CMappedImage::BadIndexPointer();
    ASSERT_EQ(reinterpret_cast<uintptr_t>(bad), ~uintptr_t(0));
    const struct {
        unsigned index;
        uint32_t size;
        const uint8_t* pointer;
    } cases[] = {
        {1, 40, image.View() + layout.importSectionOffset},
        {0, 0x1234, image.View() + layout.importSectionOffset + 4},  // the size is not checked
        {3, 8, nullptr},                                             // untranslatable RVA
        {15, 0xABCD, nullptr},                                       // RVA 0
        {2, 0, nullptr},                                             // absent
        {16, 0xFFFFFFFF, bad},                                       // no such index
        {1000, 0xFFFFFFFF, bad},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(image.GetDirectoryEntrySize(c.index), c.size);
        EXPECT_EQ(image.GetDirectoryEntryPointer(c.index), c.pointer);
    }
}

// A data directory that the file does not hold reads as absent.
TEST(MappedImageDirectory, DirectoryBeyondTheEndReadsAsZero) {
    PeLayout layout;
    PeBuilder().Import("a.dll").Build(&layout);
    const Bytes bytes =
        PeBuilder().Import("a.dll").Truncate(layout.dataDirectoryOffset + 8 + 4).Build();
    const CMappedImage image = InMemory(bytes);
    ASSERT_EQ(image.ImageType(), IMAGE_PE);
    EXPECT_EQ(image.GetDirectoryEntrySize(0), 0u);  // entry 0 fits
    EXPECT_EQ(image.GetDirectoryEntrySize(1), 0u);  // entry 1 is cut in the middle
    EXPECT_EQ(image.GetDirectoryEntryPointer(1), nullptr);
}

// The data directory is at optional-header offset 112 for PE32+ and at 96 for
// PE32, chosen by the magic alone (not the machine or the header size). At 96
// the PE32+ layout holds the heap commit size, the loader flags and
// NumberOfRvaAndSizes: entry 1 would read as RVA 0, size 16.
TEST(MappedImageDirectory, Pe32PlusAt112Pe32At96ByTheMagic) {
    for (const bool plus : {true, false}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        auto pe = [plus] {
            PeBuilder builder;
            if (plus) builder.Pe32Plus();
            return builder.Import("KERNEL32.dll").Import("msvcrt.dll").DataDirectory(3, 0, 7);
        };
        PeLayout layout;
        const Bytes bytes = pe().Build(&layout);
        ASSERT_EQ(layout.dataDirectoryOffset, layout.optionalHeaderOffset + (plus ? 112 : 96));
        const CMappedImage image = InMemory(bytes);
        EXPECT_EQ(image.IsPe32Plus(), plus);
        EXPECT_EQ(image.GetDirectoryEntrySize(1), 60u);
        EXPECT_EQ(image.GetDirectoryEntryPointer(1), image.View() + layout.importSectionOffset);
        EXPECT_EQ(image.GetDirectoryEntrySize(3), 7u);
        const Bytes swapped = pe().OptionalHeaderMagic(plus ? 0x10B : 0x20B).Build();
        const CMappedImage other = InMemory(swapped);
        EXPECT_EQ(other.IsPe32Plus(), !plus);
        EXPECT_NE(other.GetDirectoryEntrySize(3), 7u);
    }
}

// --- RVA translation ------------------------------------------------------------

// Two sections with a gap between them, the first with less raw data than
// virtual size, then a third overlapping the second.
Bytes SectionImage() {
    Bytes first(0x100, 0xA1), second(0x200, 0xB2), third(0x200, 0xC3);
    return PeBuilder()
        .Section({".one", 0x300, 0x1000, 0x100, 0x400, first})    // virtual 0x300, raw 0x100
        .Section({".two", 0x200, 0x3000, 0x400, 0x600, second})   // virtual 0x200 < raw 0x400
        .Section({".three", 0x200, 0x3100, 0x200, 0x800, third})  // overlaps .two at 0x3100
        .Section({".empty", 0, 0x5000, 0x200, 0x800, {}})         // virtual size 0
        .Section({".far", 0x100, 0x6000, 0x100, 0x100000, {}})    // raw data beyond the file
        .Build();
}

// The file offset of each RVA, and the byte a pointer to it reads (-1: no
// pointer). The offset is reported beyond the file, but a pointer is only
// handed out inside it.
TEST(MappedImageRva, Translation) {
    const Bytes bytes = SectionImage();
    ASSERT_LT(bytes.size(), 0x100000u);
    const CMappedImage image = InMemory(bytes);
    const struct {
        const char* name;
        uint32_t rva, offset;
        int byte;
    } cases[] = {
        {"start of raw data", 0x1000, 0x400, 0xA1},
        {"inside raw data", 0x1010, 0x410, 0xA1},
        {"last raw byte", 0x10FF, 0x4FF, 0xA1},
        {"beyond raw data, inside the virtual size", 0x1100, kNoFileOffset, -1},
        {"last byte of the virtual size", 0x12FF, kNoFileOffset, -1},
        {"virtual size smaller than raw: last byte", 0x30FF, 0x6FF, 0xB2},
        // Inside .two's raw data but beyond its virtual size, and not in .three.
        {"beyond a virtual size smaller than raw", 0x3300, kNoFileOffset, -1},
        {"before the first section", 0x0FFF, kNoFileOffset, -1},
        {"gap", 0x2000, kNoFileOffset, -1},
        {"zero", 0x0, kNoFileOffset, -1},
        {"highest RVA", 0xFFFFFFFF, kNoFileOffset, -1},
        {"overlap: the first table entry wins", 0x3100, 0x700, 0xB2},
        {"only the overlapping section", 0x3200, 0x900, 0xC3},
        {"zero virtual size holds nothing", 0x5000, kNoFileOffset, -1},
        {"raw data beyond the file", 0x6010, 0x100010, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(image.RvaToFileOffset(c.rva), c.offset);
        EXPECT_EQ(ByteAt(image, c.rva), c.byte);
        if (c.byte >= 0) {
            EXPECT_EQ(image.RvaToPointer(c.rva), image.View() + c.offset);
        }
    }
}

// With the table order reversed the other section wins.
TEST(MappedImageRva, OverlapFollowsTheTableOrder) {
    Bytes a(0x100, 0x11), b(0x100, 0x22);
    const Bytes reversed = PeBuilder()
                               .Section({"b", 0x100, 0x2080, 0x100, 0x600, b})
                               .Section({"a", 0x100, 0x2000, 0x100, 0x400, a})
                               .Build();
    const CMappedImage other = InMemory(reversed);
    EXPECT_EQ(other.RvaToFileOffset(0x2080), 0x600u);
    EXPECT_EQ(other.RvaToFileOffset(0x2000), 0x400u);
}

// Images with one section "s": virtual 0x100 at RVA 0x1000, raw data at 0x200.
TEST(MappedImageRva, EdgesOfTheFileAndTheSectionTable) {
    const Bytes data(0x100, 1);
    const SectionSpec s{"s", 0x100, 0x1000, 0x100, 0x200, data};
    PeLayout layout;
    PeBuilder().Section(s).Build(&layout);
    const Bytes plain =
        PeBuilder().Section({"end", 0x20, 0x1000, 0x20, 0x200, Bytes(0x10, 0x5A)}).Build();
    ASSERT_EQ(plain.size(), 0x210u);
    const Bytes wrap =
        PeBuilder().Section({"wrap", 0x1000, 0x1000, 0x1000, 0xFFFFFF00, {}}).Build();
    // A count far beyond the entries the file holds: the real entries still count.
    const Bytes many = PeBuilder().Section(s).SectionCountField(0xFFFF).Build();
    // A huge SizeOfOptionalHeader moves the table out of the file.
    const Bytes moved = PeBuilder().Section(s).SizeOfOptionalHeaderField(0xFFFF).Build();
    // A table cut by the end of the file: the entry cut in the middle is not read.
    const Bytes cut = PeBuilder()
                          .Section({"s", 0x100, 0x1000, 0x100, 0x0, {}})
                          .Truncate(layout.sectionTableOffset + 39)
                          .Build();
    const Bytes ne = PeBuilder().Section(s).NewHeaderSignature("NE").Build();
    const struct {
        const char* name;
        const Bytes& bytes;
        uint32_t rva, offset;
        bool pointer;
    } cases[] = {
        {"last byte of the file", plain, 0x100F, 0x20F, true},
        {"in the section at the end of the file", plain, 0x1010, 0x210, false},
        // An offset that does not fit 32 bits lies beyond any file.
        {"offset near 4 GiB", wrap, 0x1000, 0xFFFFFF00, false},
        {"offset overflow", wrap, 0x10FF, kNoFileOffset, false},
        {"offset overflow further on", wrap, 0x1200, kNoFileOffset, false},
        {"section count beyond the file", many, 0x1010, 0x210, true},
        {"section count beyond the file, no section", many, 0x9000, kNoFileOffset, false},
        {"section table moved out of the file", moved, 0x1010, kNoFileOffset, false},
        {"section table cut", cut, 0x1000, kNoFileOffset, false},
        {"not a PE image", ne, 0x1000, kNoFileOffset, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CMappedImage image = InMemory(c.bytes);
        EXPECT_NE(image.ImageType(), IMAGE_NONE);
        EXPECT_EQ(image.RvaToFileOffset(c.rva), c.offset);
        EXPECT_EQ(image.RvaToPointer(c.rva), c.pointer ? image.View() + c.offset : nullptr);
    }
}

}  // namespace
}  // namespace kivrel
