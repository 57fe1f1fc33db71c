// The image layer and the import walk: classification, the data directory,
// RVA translation, and the names the scanner reads from an image.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "messages.h"
#include "reference_scanner.h"
#include "temp_dir.h"

namespace kivrel {
namespace {

using test::DosStub;
using test::InMemory;
using test::PeBuilder;
using test::PeLayout;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kNE = 'N' | 'E' << 8;  // "NE\0\0" as a signature

// A DOS stub of `size` bytes whose new header at 64 begins with `signature`.
Bytes At64(const std::string& signature, size_t size = 128) {
    Bytes bytes = DosStub(size, 64, 64);
    std::copy(signature.begin(), signature.end(), bytes.begin() + 64);
    return bytes;
}

// Type and new-header offset of each image; files that fail to open.
TEST(MappedImage, Classification) {
    Bytes noMz = At64(std::string("PE\0\0", 4));
    noMz[0] = 'Z';
    const struct {
        const char* name;
        Bytes bytes;
        int type;
        int32_t newHeader;
    } cases[] = {
        {"63 bytes", DosStub(63, 0, 0), IMAGE_NONE, -1},
        {"word at 24 below 64", DosStub(64, 63, 64), IMAGE_DOS, -1},
        {"no MZ", noMz, IMAGE_NONE, -1},
        {"PE", At64(std::string("PE\0\0", 4)), IMAGE_PE, 64},
        {"PE followed by 0 1", At64(std::string("PE\0\1", 4)), IMAGE_NONE, 64},
        {"NE", At64("NE"), IMAGE_NE, 64},
        {"LE", At64("LE"), IMAGE_LE, 64},
        {"XE", At64("XE"), IMAGE_XE, 64},
        {"LX", At64("LX"), IMAGE_NONE, 64},
        {"new header past the end", DosStub(100, 64, 101), IMAGE_NONE, -1},
        {"new header at the end", DosStub(100, 64, 100), IMAGE_NONE, 100},
        {"NE in the last two bytes", At64("NE", 66), IMAGE_NE, 64},
        {"PE signature cut by the end", At64("PE", 67), IMAGE_NONE, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CMappedImage image = InMemory(c.bytes);
        EXPECT_EQ(image.ImageType(), c.type);
        EXPECT_EQ(image.NewHeaderOffset(), c.newHeader);
        EXPECT_EQ(image.PeHeaders(), c.type == IMAGE_PE ? image.View() + 64 : nullptr);
    }
    test::TempDir dir;
    EXPECT_EQ(CMappedImage(dir.File("missing.dll").c_str()).OpenError(), 1);
    EXPECT_EQ(CMappedImage(dir.Write("empty.dll", {}).c_str()).OpenError(), 2);
}

// The directory sits at optional-header offset 96 (PE32) or 112 (PE32+),
// chosen by the magic alone; its size is not checked against anything.
TEST(MappedImage, DataDirectory) {
    for (const bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        auto pe = [plus] {
            PeBuilder b = PeBuilder().Import("a.dll").Import("b.dll").DataDirectory(3, 0x50000, 8);
            return plus ? b.Pe32Plus() : b;
        };
        PeLayout layout;
        const Bytes bytes = pe().DataDirectory(0, 0x1004, 9).DataDirectory(15, 0, 7).Build(&layout);
        const CMappedImage image = InMemory(bytes);
        const uint32_t idata = layout.descriptorOffsets[0], none = kNoFileOffset;
        const uint32_t cases[][3] = {// index, size, offset
                                     {1, 60, idata}, {0, 9, idata + 4}, {3, 8, none},
                                     {15, 7, none},  {2, 0, none},      {16, 0xFFFFFFFF, none}};
        for (const auto& [index, size, offset] : cases) {
            EXPECT_EQ(image.GetDirectoryEntrySize(index), size) << index;
            EXPECT_EQ(image.GetDirectoryEntryOffset(index), offset) << index;
        }
        const Bytes swapped = pe().Patch(PeBuilder::kMagic, plus ? 0x10B : 0x20B, 2).Build();
        EXPECT_NE(InMemory(swapped).GetDirectoryEntrySize(3), 8u);
        // A directory cut by the end of the file reads as absent.
        const Bytes cut(bytes.begin(), bytes.begin() + layout.dataDirectoryOffset + 12);
        EXPECT_EQ(InMemory(cut).GetDirectoryEntrySize(1), 0u);
    }
}

// The file offset an RVA translates to (reported even beyond the file).
TEST(MappedImage, RvaTranslation) {
    const Bytes sections = PeBuilder()
                               .Section({".one", 0x300, 0x1000, 0x100, 0x400, {}})  // raw < virtual
                               .Section({".two", 0x200, 0x3000, 0x400, 0x600, {}})  // virtual < raw
                               .Section({".three", 0x200, 0x3100, 0x200, 0x800, {}})  // overlaps
                               .Section({".empty", 0, 0x5000, 0x200, 0x800, {}})
                               .Section({".far", 0x100, 0x6000, 0x100, 0x100000, {}})
                               .Section({".high", 0x2000, 0xFFFFF000, 0x2000, 0x200000, {}})
                               .Build();
    const test::SectionLayout s{"s", 0x100, 0x1000, 0x100, 0x200, {}};
    const Bytes wrap = PeBuilder().Section({"w", 0x1000, 0x1000, 0x1000, 0xFFFFFF00, {}}).Build();
    const Bytes many = PeBuilder().Section(s).Patch(PeBuilder::kSectionCount, 0xFFFF, 2).Build();
    const Bytes moved =
        PeBuilder().Section(s).Patch(PeBuilder::kOptionalHeaderSize, 0xFFFF, 2).Build();
    const Bytes ne = PeBuilder().Section(s).Patch(PeBuilder::kSignature, kNE).Build();
    const uint32_t none = kNoFileOffset;
    const struct {
        const char* name;
        const Bytes& bytes;
        uint32_t rva, offset;
    } cases[] = {
        {"start of raw data", sections, 0x1000, 0x400},
        {"last raw byte", sections, 0x10FF, 0x4FF},
        {"past the raw data, inside the virtual size", sections, 0x1100, none},
        {"last byte of a virtual size below the raw size", sections, 0x31FF, 0x7FF},
        {"past a virtual size below the raw size", sections, 0x3300, none},
        {"before the first section", sections, 0x0FFF, none},
        {"only in the later of two overlapping sections", sections, 0x3250, 0x950},
        {"overlap: the first table entry wins", sections, 0x3100, 0x700},
        {"virtual size 0 holds nothing", sections, 0x5000, none},
        {"raw data beyond the file", sections, 0x6010, 0x100010},
        {"a section reaching past 4 GiB", sections, 0xFFFFF010, 0x200010},
        {"an RVA below it, its distance wrapping into the section's size", sections, 0x800, none},
        {"offset near 4 GiB", wrap, 0x1000, 0xFFFFFF00},
        {"offset overflowing 32 bits", wrap, 0x10FF, none},
        {"section count beyond the file", many, 0x1010, 0x210},
        {"section table moved out of the file", moved, 0x1010, none},
        {"not a PE image", ne, 0x1000, none},
    };
    // An image remembers the section it used last: one image, the same answers in turn.
    const CMappedImage shared(sections.data(), static_cast<uint32_t>(sections.size()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InMemory(c.bytes).RvaToFileOffset(c.rva), c.offset);
        if (&c.bytes == &sections) {
            EXPECT_EQ(shared.RvaToFileOffset(c.rva), c.offset);
        }
    }
}

// ScanImage into empty lists: result, error id and the names left pending.
// Delay-load rows read the delay-load table too.
TEST(ImportWalk, ResultErrorIdAndNames) {
    const std::string n259 = std::string(255, 'n') + ".dll";
    PeLayout abcLayout, layout;
    auto abc = [] { return PeBuilder().Import("a.dll").Import("b.dll").Import("c.dll"); };
    Bytes delayOutside = abc().DelayImport("d.dll").DelayImport("e.dll").Build(&abcLayout);
    test::PutU32(delayOutside, abcLayout.delayDescriptorOffsets[1] + 4, 0x7FFF0000);
    // The names in a section of their own, in the headers' padding, so that
    // the descriptor table can be cut without them.
    Bytes cutTable = PeBuilder()
                         .Import("a.dll")
                         .Import("b.dll")
                         .Section({".n", 0x40, 0x8000, 0x40, 0x1C0, {'x', '.', 0}})
                         .Patch(PeBuilder::NameRva(0), 0x8000)
                         .Patch(PeBuilder::NameRva(1), 0x8000)
                         .Build(&layout);
    cutTable.resize(layout.descriptorOffsets[1] + 19);
    // The first descriptor names the last name, which the end of the file cuts
    // (.idata's file offset 0x200 is RVA 0x1000).
    abc().UnterminatedLastName().Build(&layout);
    const Bytes cutFirst = abc()
                               .UnterminatedLastName()
                               .Patch(PeBuilder::NameRva(0), layout.nameOffsets[2] + 0xE00)
                               .Build();
    const int kNone = IDS_NO_REFERENCES;
    const struct {
        const char* name;
        Bytes bytes;
        int result, error;
        std::string names;  // joined by ' '
        bool delayLoad = false;
    } cases[] = {
        // clang-format off
        {"imports as the file holds them", PeBuilder().Import("KERNEL32.dll").Import("user32").Import("kernel32.DLL").Build(), 1, 0, "KERNEL32.dll user32."},
        {"not a PE image", abc().Patch(PeBuilder::kSignature, kNE).Build(), 0, IDS_INVALID_NT_SIGNATURE, ""},
        {"directory size 0", abc().Patch(PeBuilder::kImportSize, 0).Build(), 1, kNone, ""},
        {"untranslatable directory", abc().Patch(PeBuilder::kImportRva, 0x9000).Build(), 1, IDS_SCAN_FAILED, ""},
        {"name RVA 0 ends the walk, even where RVA 0 translates", abc().Section({"z", 16, 0, 16, 0x400, {'z', '.', 0}}).Patch(PeBuilder::NameRva(1), 0).Build(), 1, 0, "a.dll"},
        {"untranslatable name RVA ends the walk", abc().Patch(PeBuilder::NameRva(1), 0x70000).Build(), 1, 0, "a.dll"},
        {"descriptor table cut by the end of the file", cutTable, 1, 0, "x."},
        {"name of 259 characters", PeBuilder().Import(n259).Build(), 1, 0, n259},
        {"names of 260 or more skipped, not cut", PeBuilder().Import(std::string(256, 'l') + ".dll").Import("b.dll").Import(std::string(996, 'm')).Build(), 1, 0, "b.dll"},
        {"unterminated name at the end", PeBuilder().Import("a.dll").Import("b.dll").UnterminatedLastName().Build(), 1, 0, "a.dll"},
        {"a name cut by the end ends the walk", cutFirst, 1, kNone, ""},
        {"delay-load: both tables", abc().DelayImport("d.dll").DelayImport("E.DLL", false).Build(), 1, 0, "a.dll b.dll c.dll d.dll E.DLL", true},
        {"delay-load: older layout in PE32+", PeBuilder().Pe32Plus().DelayImport("a.dll", false).Build(), 1, kNone, "", true},
        {"delay-load: directory in no section", abc().DelayImport("d.dll").DataDirectory(13, 0x7FFF0000, 64).Build(), 1, 0, "a.dll b.dll c.dll", true},
        {"delay-load: second name outside the file", delayOutside, 1, 0, "a.dll b.dll c.dll d.dll", true},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakePlatform platform;
        CReferenceScanner scanner(platform);
        LoaderOptions options;
        options.delayLoad = c.delayLoad;
        scanner.SetLoaderOptions(options);
        const ModuleRead read = scanner.ScanImage(InMemory(c.bytes));
        EXPECT_EQ(read.isPe, c.result != 0);
        EXPECT_EQ(read.errorId, c.error);
        std::string names;
        for (const Reference& r : scanner.References().Entries()) {
            EXPECT_EQ(r.value, MakeRefValue(REF_PENDING, 0));
            names += (names.empty() ? "" : " ") + r.text;
        }
        EXPECT_EQ(names, c.names);
    }
}

}  // namespace
}  // namespace kivrel
