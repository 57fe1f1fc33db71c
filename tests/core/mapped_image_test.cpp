// CMappedImage: the open errors, the classification codes 0 to 5, the data
// directory (PE32 and PE32+) and the translation of RVAs.
#include "mapped_image.h"

#include <gtest/gtest.h>

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

TEST(MappedImageOpen, MissingFileIsOpenError1) {
    TempDir dir;
    CMappedImage image(dir.File("no-such-file.dll").c_str());
    EXPECT_EQ(image.OpenError(), 1);
    EXPECT_EQ(image.ImageType(), IMAGE_NONE);
    EXPECT_EQ(image.PeHeaders(), nullptr);
    EXPECT_EQ(image.NewHeaderOffset(), -1);
}

TEST(MappedImageOpen, EmptyFileIsOpenError2) {
    TempDir dir;
    CMappedImage image(dir.Write("empty.dll", {}).c_str());
    EXPECT_EQ(image.OpenError(), 2);
    EXPECT_EQ(image.ImageType(), IMAGE_NONE);
    EXPECT_EQ(image.PeHeaders(), nullptr);
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
// The file is opened sharing read access only, so a writer elsewhere keeps it
// from being opened at all.
TEST(MappedImageOpen, FileHeldOpenForWritingIsOpenError1) {
    TempDir dir;
    const std::string path = dir.Write("busy.dll", PeBuilder().Build());
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
}

// While mapped the file cannot be written (it is shared for reading only).
TEST(MappedImageOpen, MappedFileCannotBeOpenedForWriting) {
    TempDir dir;
    const std::string path = dir.Write("held.dll", PeBuilder().Build());
    CMappedImage image(path.c_str());
    ASSERT_EQ(image.OpenError(), 0);
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

std::vector<ClassifyCase> ClassifyCases() {
    std::vector<ClassifyCase> cases;
    cases.push_back({"63 bytes with MZ", DosStub(63, 0, 0), IMAGE_NONE, -1});
    cases.push_back({"64 bytes, word at 24 below 64", DosStub(64, 63, 64), IMAGE_DOS, -1});
    cases.push_back({"64 bytes, word at 24 is 0", DosStub(64, 0, 0), IMAGE_DOS, -1});
    Bytes noMz = WithNewHeader(std::string("PE\0\0", 4));
    noMz[0] = 'Z';
    noMz[1] = 'M';
    cases.push_back({"no MZ", noMz, IMAGE_NONE, -1});
    cases.push_back({"PE signature", WithNewHeader(std::string("PE\0\0", 4)), IMAGE_PE, 64});
    cases.push_back({"NE", WithNewHeader("NE"), IMAGE_NE, 64});
    cases.push_back({"LE", WithNewHeader("LE"), IMAGE_LE, 64});
    cases.push_back({"X then E", WithNewHeader("XE"), IMAGE_XE, 64});
    cases.push_back({"LX is not recognised", WithNewHeader("LX"), IMAGE_NONE, 64});
    cases.push_back({"EX is not recognised", WithNewHeader("EX"), IMAGE_NONE, 64});
    cases.push_back(
        {"PE followed by 0 1", WithNewHeader(std::string("PE\0\1", 4)), IMAGE_NONE, 64});
    cases.push_back({"zeros", WithNewHeader(""), IMAGE_NONE, 64});
    // e_lfanew beyond, at and just before the end of the file.
    cases.push_back({"new header past the end", DosStub(100, 64, 101), IMAGE_NONE, -1});
    cases.push_back({"new header far past the end", DosStub(100, 64, 0xFFFFFFF0), IMAGE_NONE, -1});
    cases.push_back({"new header at the end", DosStub(100, 64, 100), IMAGE_NONE, 100});
    Bytes neAtEnd = DosStub(66, 64, 64);
    neAtEnd[64] = 'N';
    neAtEnd[65] = 'E';
    cases.push_back({"NE in the last two bytes", neAtEnd, IMAGE_NE, 64});
    Bytes cutPe = DosStub(67, 64, 64);
    cutPe[64] = 'P';
    cutPe[65] = 'E';
    cases.push_back({"PE signature cut by the end", cutPe, IMAGE_NONE, 64});
    // The new header may lie inside the DOS header itself.
    Bytes inside = DosStub(64, 64, 0);
    cases.push_back({"new header at offset 0 (MZ)", inside, IMAGE_NONE, 0});
    cases.push_back({"PE32+ image", PeBuilder().Pe32Plus().Build(), IMAGE_PE, 0x40});
    cases.push_back({"builder NE", PeBuilder().NewHeaderSignature("NE").Build(), IMAGE_NE, 0x40});
    cases.push_back({"builder DOS", PeBuilder().DosRelocationOffset(0x3F).Build(), IMAGE_DOS, -1});
    return cases;
}

TEST(MappedImageClassify, InMemory) {
    for (const ClassifyCase& c : ClassifyCases()) {
        SCOPED_TRACE(c.name);
        const CMappedImage image = InMemory(c.bytes);
        EXPECT_EQ(image.OpenError(), 0);
        EXPECT_EQ(image.ImageType(), c.type);
        EXPECT_EQ(image.NewHeaderOffset(), c.newHeaderOffset);
        if (c.type == IMAGE_PE) {
            EXPECT_EQ(image.PeHeaders(), image.View() + c.newHeaderOffset);
        } else {
            EXPECT_EQ(image.PeHeaders(), nullptr);
        }
    }
}

// The file-based constructor classifies exactly as the in-memory one.
TEST(MappedImageClassify, FromFiles) {
    TempDir dir;
    int n = 0;
    for (const ClassifyCase& c : ClassifyCases()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("case" + std::to_string(n++) + ".bin", c.bytes);
        CMappedImage image(path.c_str());
        EXPECT_EQ(image.OpenError(), 0);
        EXPECT_EQ(image.FileSize(), c.bytes.size());
        EXPECT_EQ(image.ImageType(), c.type);
        EXPECT_EQ(image.NewHeaderOffset(), c.newHeaderOffset);
        EXPECT_EQ(image.PeHeaders() != nullptr, c.type == IMAGE_PE);
    }
}

TEST(MappedImageClassify, TextFileIsNotAnExecutable) {
    const std::string text(200, 'x');
    const CMappedImage image(reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint32_t>(text.size()));
    EXPECT_EQ(image.ImageType(), IMAGE_NONE);
    EXPECT_EQ(image.PeHeaders(), nullptr);
}

// --- Data directory ------------------------------------------------------------

TEST(MappedImageDirectory, IndexSixteenOrMore) {
    const Bytes bytes = PeBuilder().Import("a.dll").Build();
    const CMappedImage image = InMemory(bytes);
    ASSERT_NE(image.PeHeaders(), nullptr);
    EXPECT_EQ(image.GetDirectoryEntrySize(16), 0xFFFFFFFFu);
    EXPECT_EQ(image.GetDirectoryEntrySize(1000), 0xFFFFFFFFu);
    EXPECT_EQ(image.GetDirectoryEntryPointer(16), CMappedImage::BadIndexPointer());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image.GetDirectoryEntryPointer(16)), ~uintptr_t(0));
}

TEST(MappedImageDirectory, EntriesReadAsWritten) {
    PeLayout layout;
    const Bytes bytes = PeBuilder()
                            .Import("a.dll")
                            .DataDirectory(0, 0x1004, 0x1234)
                            .DataDirectory(15, 0, 0xABCD)
                            .Build(&layout);
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.GetDirectoryEntrySize(1), 40u);
    EXPECT_EQ(image.GetDirectoryEntryPointer(1), image.View() + layout.importSectionOffset);
    EXPECT_EQ(image.GetDirectoryEntrySize(0), 0x1234u);  // the size is not checked against anything
    EXPECT_EQ(image.GetDirectoryEntryPointer(0), image.View() + layout.importSectionOffset + 4);
    EXPECT_EQ(image.GetDirectoryEntrySize(15), 0xABCDu);
    EXPECT_EQ(image.GetDirectoryEntryPointer(15), nullptr);  // RVA 0
    EXPECT_EQ(image.GetDirectoryEntrySize(2), 0u);
    EXPECT_EQ(image.GetDirectoryEntryPointer(2), nullptr);
}

TEST(MappedImageDirectory, UntranslatableRvaGivesNull) {
    const Bytes bytes = PeBuilder().Import("a.dll").ImportDirectoryRva(0x50000).Build();
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.GetDirectoryEntrySize(1), 40u);
    EXPECT_EQ(image.GetDirectoryEntryPointer(1), nullptr);
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

// A PE32+ image has its data directory at optional-header
// offset 112. At offset 96 the PE32+ layout holds the heap commit size, the
// loader flags and NumberOfRvaAndSizes: entry 1 would read as RVA 0, size 16.
TEST(MappedImageDirectory, Pe32PlusDirectoryAtOffset112) {
    PeLayout layout;
    const Bytes bytes =
        PeBuilder().Pe32Plus().Import("KERNEL32.dll").Import("msvcrt.dll").Build(&layout);
    ASSERT_EQ(layout.dataDirectoryOffset, layout.optionalHeaderOffset + 112);
    ASSERT_EQ(test::GetU32(bytes, layout.optionalHeaderOffset + 96 + 8), 0u);
    ASSERT_EQ(test::GetU32(bytes, layout.optionalHeaderOffset + 96 + 12), 16u);

    const CMappedImage image = InMemory(bytes);
    EXPECT_TRUE(image.IsPe32Plus());
    EXPECT_EQ(image.GetDirectoryEntrySize(1), 60u);
    EXPECT_EQ(image.GetDirectoryEntryPointer(1), image.View() + layout.importSectionOffset);
}

TEST(MappedImageDirectory, Pe32DirectoryAtOffset96) {
    PeLayout layout;
    const Bytes bytes = PeBuilder().Pe32().Import("KERNEL32.dll").Build(&layout);
    ASSERT_EQ(layout.dataDirectoryOffset, layout.optionalHeaderOffset + 96);
    const CMappedImage image = InMemory(bytes);
    EXPECT_FALSE(image.IsPe32Plus());
    EXPECT_EQ(image.GetDirectoryEntrySize(1), 40u);
    EXPECT_EQ(image.GetDirectoryEntryPointer(1), image.View() + layout.importSectionOffset);
}

// The layout follows the magic alone, not the machine or the header size.
TEST(MappedImageDirectory, MagicChoosesTheLayout) {
    {
        const Bytes bytes =
            PeBuilder().Pe32Plus().OptionalHeaderMagic(0x10B).DataDirectory(3, 0, 7).Build();
        const CMappedImage image = InMemory(bytes);
        EXPECT_FALSE(image.IsPe32Plus());
        EXPECT_NE(image.GetDirectoryEntrySize(3), 7u);
    }
    {
        const Bytes bytes =
            PeBuilder().Pe32().OptionalHeaderMagic(0x20B).DataDirectory(3, 0, 7).Build();
        const CMappedImage image = InMemory(bytes);
        EXPECT_TRUE(image.IsPe32Plus());
        EXPECT_NE(image.GetDirectoryEntrySize(3), 7u);
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

TEST(MappedImageRva, InsideRawData) {
    const Bytes bytes = SectionImage();
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToFileOffset(0x1000), 0x400u);
    EXPECT_EQ(image.RvaToFileOffset(0x10FF), 0x4FFu);
    EXPECT_EQ(image.RvaToPointer(0x1010), image.View() + 0x410);
    EXPECT_EQ(ByteAt(image, 0x1010), 0xA1);
}

TEST(MappedImageRva, BeyondRawDataIsUntranslatable) {
    const Bytes bytes = SectionImage();
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToFileOffset(0x1100), kNoFileOffset);  // inside virtual size 0x300
    EXPECT_EQ(image.RvaToFileOffset(0x12FF), kNoFileOffset);
    EXPECT_EQ(image.RvaToPointer(0x1100), nullptr);
}

TEST(MappedImageRva, VirtualSizeSmallerThanRawLimitsTheExtent) {
    const Bytes bytes = SectionImage();
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToFileOffset(0x30FF), 0x6FFu);
    // 0x3200 is inside .two's raw data but beyond its virtual size, and not in .three.
    EXPECT_EQ(image.RvaToFileOffset(0x3300), kNoFileOffset);
}

TEST(MappedImageRva, GapAndOutsideAreUntranslatable) {
    const Bytes bytes = SectionImage();
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToFileOffset(0x0FFF), kNoFileOffset);
    EXPECT_EQ(image.RvaToFileOffset(0x2000), kNoFileOffset);
    EXPECT_EQ(image.RvaToFileOffset(0x0), kNoFileOffset);
    EXPECT_EQ(image.RvaToFileOffset(0xFFFFFFFF), kNoFileOffset);
}

TEST(MappedImageRva, OverlapFirstTableEntryWins) {
    const Bytes bytes = SectionImage();
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToFileOffset(0x3100), 0x700u);  // .two, not .three's 0x800
    EXPECT_EQ(ByteAt(image, 0x3100), 0xB2);
    EXPECT_EQ(image.RvaToFileOffset(0x3200), 0x900u);  // only .three holds it
    EXPECT_EQ(ByteAt(image, 0x3200), 0xC3);

    // With the table order reversed the other section wins.
    Bytes a(0x100, 0x11), b(0x100, 0x22);
    const Bytes reversed = PeBuilder()
                               .Section({"b", 0x100, 0x2080, 0x100, 0x600, b})
                               .Section({"a", 0x100, 0x2000, 0x100, 0x400, a})
                               .Build();
    const CMappedImage other = InMemory(reversed);
    EXPECT_EQ(other.RvaToFileOffset(0x2080), 0x600u);
    EXPECT_EQ(other.RvaToFileOffset(0x2000), 0x400u);
}

TEST(MappedImageRva, ZeroVirtualSizeHoldsNothing) {
    const Bytes bytes = SectionImage();
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToFileOffset(0x5000), kNoFileOffset);
}

// The offset is reported, but a pointer is only handed out inside the file.
TEST(MappedImageRva, RawDataBeyondTheFile) {
    const Bytes bytes = SectionImage();
    ASSERT_LT(bytes.size(), 0x100000u);
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToFileOffset(0x6010), 0x100010u);
    EXPECT_EQ(image.RvaToPointer(0x6010), nullptr);
}

TEST(MappedImageRva, LastByteOfTheFile) {
    Bytes data(0x10, 0x5A);
    const Bytes bytes = PeBuilder().Section({"end", 0x20, 0x1000, 0x20, 0x200, data}).Build();
    ASSERT_EQ(bytes.size(), 0x210u);
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToPointer(0x100F), image.View() + 0x20F);
    EXPECT_EQ(image.RvaToFileOffset(0x1010), 0x210u);  // inside the section, at the end of the file
    EXPECT_EQ(image.RvaToPointer(0x1010), nullptr);
}

// An offset that does not fit 32 bits lies beyond any file.
TEST(MappedImageRva, OffsetOverflowIsUntranslatable) {
    const Bytes bytes =
        PeBuilder().Section({"wrap", 0x1000, 0x1000, 0x1000, 0xFFFFFF00, {}}).Build();
    const CMappedImage image = InMemory(bytes);
    EXPECT_EQ(image.RvaToFileOffset(0x1000), 0xFFFFFF00u);
    EXPECT_EQ(image.RvaToFileOffset(0x10FF), kNoFileOffset);
    EXPECT_EQ(image.RvaToFileOffset(0x1200), kNoFileOffset);
}

TEST(MappedImageRva, SectionTableBeyondTheFile) {
    Bytes data(0x100, 1);
    // A count far beyond the entries the file holds: the real entries still count.
    const Bytes many = PeBuilder()
                           .Section({"s", 0x100, 0x1000, 0x100, 0x200, data})
                           .SectionCountField(0xFFFF)
                           .Build();
    const CMappedImage image = InMemory(many);
    EXPECT_EQ(image.RvaToFileOffset(0x1010), 0x210u);
    EXPECT_EQ(image.RvaToFileOffset(0x9000), kNoFileOffset);

    // A huge SizeOfOptionalHeader moves the table out of the file.
    const Bytes moved = PeBuilder()
                            .Section({"s", 0x100, 0x1000, 0x100, 0x200, data})
                            .SizeOfOptionalHeaderField(0xFFFF)
                            .Build();
    const CMappedImage movedImage = InMemory(moved);
    ASSERT_EQ(movedImage.ImageType(), IMAGE_PE);
    EXPECT_EQ(movedImage.RvaToFileOffset(0x1010), kNoFileOffset);

    // A table cut by the end of the file: the entry cut in the middle is not read.
    PeLayout layout;
    PeBuilder().Section({"s", 0x100, 0x1000, 0x100, 0x200, {}}).Build(&layout);
    const Bytes cut = PeBuilder()
                          .Section({"s", 0x100, 0x1000, 0x100, 0x0, {}})
                          .Truncate(layout.sectionTableOffset + 39)
                          .Build();
    const CMappedImage cutImage = InMemory(cut);
    ASSERT_EQ(cutImage.ImageType(), IMAGE_PE);
    EXPECT_EQ(cutImage.RvaToFileOffset(0x1000), kNoFileOffset);
}

TEST(MappedImageRva, NotAPeImageTranslatesNothing) {
    const Bytes bytes = PeBuilder()
                            .Section({"s", 0x100, 0x1000, 0x100, 0x200, Bytes(0x100, 1)})
                            .NewHeaderSignature("NE")
                            .Build();
    const CMappedImage image = InMemory(bytes);
    ASSERT_EQ(image.ImageType(), IMAGE_NE);
    EXPECT_EQ(image.RvaToFileOffset(0x1000), kNoFileOffset);
    EXPECT_EQ(image.RvaToPointer(0x1000), nullptr);
}

}  // namespace
}  // namespace kivrel
