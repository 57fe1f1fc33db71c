// ScanModule: the error ids 117, 118 and 119, and the walk over the import
// descriptors. Most images are scanned in memory through
// ScanImage; the file-based path is covered by the tests at the end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_helpers.h"
#include "fake_platform.h"
#include "mapped_image.h"
#include "messages.h"
#include "pe_writer.h"
#include "reference_scanner.h"
#include "temp_dir.h"

namespace kivrel {
namespace {

using test::PeBuilder;
using test::PeLayout;
using test::RefEntry;
using test::Refs;
using testing::ElementsAre;
using testing::IsEmpty;
using Bytes = std::vector<uint8_t>;

class ScanModuleTest : public testing::Test {
protected:
    ScanModuleTest() : scanner(platform) {}

    // Scans `bytes` in memory; returns the result and stores the error id.
    int Scan(const Bytes& bytes) {
        const CMappedImage image(bytes.data(), static_cast<uint32_t>(bytes.size()));
        error = -1;
        return scanner.ScanImage(image, &error);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const RefEntry& e : Refs(scanner.References())) {
            EXPECT_EQ(e.state, REF_PENDING);
            EXPECT_EQ(e.directory, 0u);
            names.push_back(e.text);
        }
        return names;
    }

    test::FakePlatform platform;
    CReferenceScanner scanner;
    int error = -1;
};

TEST_F(ScanModuleTest, ImportsBecomePendingNamesAsTheFileHoldsThem) {
    EXPECT_EQ(
        Scan(PeBuilder().Import("KERNEL32.dll").Import("user32").Import("Msvcrt.DLL").Build()), 1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("KERNEL32.dll", "user32.", "Msvcrt.DLL"));
}

// The PE32+ import directory is found at optional-header
// offset 112 (read at 96 it would be RVA 0 with size 16: "SCAN FAILED").
TEST_F(ScanModuleTest, Pe32PlusImportsAreRead) {
    EXPECT_EQ(Scan(PeBuilder().Pe32Plus().Import("KERNEL32.dll").Import("ntdll.dll").Build()), 1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("KERNEL32.dll", "ntdll.dll"));
}

TEST_F(ScanModuleTest, NotPeGives117AndAddsNothing) {
    const std::string text = "just some text, not an executable at all\r\n";
    EXPECT_EQ(Scan(Bytes(text.begin(), text.end())), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
    EXPECT_EQ(Scan(PeBuilder().Import("a.dll").NewHeaderSignature("NE").Build()), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
    EXPECT_EQ(Scan(PeBuilder().Import("a.dll").DosRelocationOffset(0).Build()), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
    EXPECT_EQ(Scan(PeBuilder().Import("a.dll").NewHeaderOffset(0x10000).Build()), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
    EXPECT_THAT(Names(), IsEmpty());
}

TEST_F(ScanModuleTest, NoImportDirectoryGives119) {
    EXPECT_EQ(Scan(PeBuilder().Build()), 1);
    EXPECT_EQ(error, IDS_NO_REFERENCES);
}

TEST_F(ScanModuleTest, DirectorySizeZeroGives119EvenWithDescriptors) {
    EXPECT_EQ(Scan(PeBuilder().Import("a.dll").ImportDirectorySize(0).Build()), 1);
    EXPECT_EQ(error, IDS_NO_REFERENCES);
    EXPECT_THAT(Names(), IsEmpty());
}

TEST_F(ScanModuleTest, DirectoryRvaZeroGives118) {
    EXPECT_EQ(Scan(PeBuilder().Import("a.dll").ImportDirectoryRva(0).Build()), 1);
    EXPECT_EQ(error, IDS_SCAN_FAILED);
    EXPECT_THAT(Names(), IsEmpty());
}

TEST_F(ScanModuleTest, UntranslatableDirectoryRvaGives118) {
    EXPECT_EQ(Scan(PeBuilder().Import("a.dll").ImportDirectoryRva(0x9000).Build()), 1);
    EXPECT_EQ(error, IDS_SCAN_FAILED);
    // Inside the section's virtual size but beyond its raw data.
    EXPECT_EQ(Scan(PeBuilder()
                       .Import("a.dll")
                       .ImportSectionVirtualSize(0x10000)
                       .ImportDirectoryRva(0x8000)
                       .Build()),
              1);
    EXPECT_EQ(error, IDS_SCAN_FAILED);
    EXPECT_THAT(Names(), IsEmpty());
}

TEST_F(ScanModuleTest, FirstNameRvaZeroGives119) {
    EXPECT_EQ(Scan(PeBuilder().Import("a.dll").Import("b.dll").ImportNameRva(0, 0).Build()), 1);
    EXPECT_EQ(error, IDS_NO_REFERENCES);
    EXPECT_THAT(Names(), IsEmpty());
}

TEST_F(ScanModuleTest, NameRvaZeroInTheMiddleEndsTheWalk) {
    EXPECT_EQ(Scan(PeBuilder()
                       .Import("a.dll")
                       .Import("b.dll")
                       .Import("c.dll")
                       .ImportNameRva(1, 0)
                       .Build()),
              1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("a.dll"));
}

TEST_F(ScanModuleTest, UntranslatableNameRvaEndsTheWalkAndKeepsEarlierNames) {
    EXPECT_EQ(Scan(PeBuilder()
                       .Import("a.dll")
                       .Import("b.dll")
                       .Import("c.dll")
                       .ImportNameRva(1, 0x70000)
                       .Build()),
              1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("a.dll"));
}

TEST_F(ScanModuleTest, UntranslatableFirstNameRvaGives119) {
    EXPECT_EQ(Scan(PeBuilder().Import("a.dll").ImportNameRva(0, 0xFFFFFFFF).Build()), 1);
    EXPECT_EQ(error, IDS_NO_REFERENCES);
}

TEST_F(ScanModuleTest, NameOf259CharactersIsKept) {
    const std::string name = std::string(255, 'n') + ".dll";
    ASSERT_EQ(name.size(), 259u);
    EXPECT_EQ(Scan(PeBuilder().Import(name).Build()), 1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre(name));
}

TEST_F(ScanModuleTest, NamesOf260OrMoreAreSkippedNotCut) {
    const std::string long260 = std::string(256, 'l') + ".dll";
    const std::string long1000 = std::string(996, 'm') + ".dll";
    EXPECT_EQ(
        Scan(PeBuilder().Import(long260).Import("b.dll").Import(long1000).Import("d.dll").Build()),
        1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("b.dll", "d.dll"));
}

TEST_F(ScanModuleTest, AllNamesSkippedGives119) {
    EXPECT_EQ(Scan(PeBuilder().Import(std::string(300, 'x')).Import(std::string(260, 'y')).Build()),
              1);
    EXPECT_EQ(error, IDS_NO_REFERENCES);
    EXPECT_THAT(Names(), IsEmpty());
}

// A name that runs into the end of the file is untranslatable: the walk ends.
TEST_F(ScanModuleTest, NameWithoutTerminatorAtTheEndOfTheFile) {
    PeLayout layout;
    const Bytes bytes =
        PeBuilder().Import("a.dll").Import("b.dll").UnterminatedLastName().Build(&layout);
    ASSERT_EQ(bytes.size(), layout.nameOffsets[1] + 5u);
    EXPECT_EQ(Scan(bytes), 1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("a.dll"));

    scanner.ClearLists();
    EXPECT_EQ(Scan(PeBuilder().Import("only.dll").UnterminatedLastName().Build()), 1);
    EXPECT_EQ(error, IDS_NO_REFERENCES);
}

// The walk ends there even when later records follow: 'c.dll' is not read.
TEST_F(ScanModuleTest, NameWithoutTerminatorEndsTheWalkBeforeLaterRecords) {
    PeLayout layout;
    PeBuilder().Import("a.dll").Import("c.dll").Import("end.dll").UnterminatedLastName().Build(
        &layout);
    const Bytes bytes = PeBuilder()
                            .Import("a.dll")
                            .Import("c.dll")
                            .Import("end.dll")
                            .UnterminatedLastName()
                            .ImportNameRva(1, layout.nameRvas[2])  // the unterminated name
                            .ImportNameRva(2, layout.nameRvas[1])  // 'c.dll'
                            .Build();
    EXPECT_EQ(Scan(bytes), 1);
    EXPECT_THAT(Names(), ElementsAre("a.dll"));
}

// A long unterminated name at the end is at least 260 characters: skipped.
TEST_F(ScanModuleTest, LongNameWithoutTerminatorAtTheEnd) {
    EXPECT_EQ(Scan(PeBuilder()
                       .Import("a.dll")
                       .Import(std::string(400, 'z'))
                       .UnterminatedLastName()
                       .Build()),
              1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("a.dll"));
}

// The walk needs no terminator record: it ends where a record no longer fits.
TEST_F(ScanModuleTest, DescriptorTableCutByTheEndOfTheFile) {
    PeLayout layout;
    PeBuilder().Import("a.dll").Import("b.dll").Build(&layout);
    // The names live in a section of their own inside the header padding
    // (before the import section), so that cutting the descriptors keeps them.
    Bytes names = {'x', '.', 'd', 'l', 'l', 0, 'y', '.', 'd', 'l', 'l', 0};
    Bytes bytes = PeBuilder()
                      .Import("a.dll")
                      .Import("b.dll")
                      .SectionBeforeImports({".names", 0x40, 0x8000, 0x40, 0x1C0, names})
                      .ImportNameRva(0, 0x8000)
                      .ImportNameRva(1, 0x8006)
                      .Build(&layout);
    ASSERT_EQ(layout.importSectionOffset, 0x200u);
    bytes.resize(layout.descriptorOffsets[1] + 19);  // the second record lacks its last byte
    EXPECT_EQ(Scan(bytes), 1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("x.dll"));
}

// The import section's raw size limits what translates, whatever the file holds.
TEST_F(ScanModuleTest, NameBeyondTheRawSizeIsUntranslatable) {
    PeLayout layout;
    PeBuilder().Import("a.dll").Import("b.dll").Build(&layout);
    const uint32_t rawSize = layout.nameRvas[1] - layout.importSectionRva;  // ends before 'b.dll'
    EXPECT_EQ(
        Scan(PeBuilder().Import("a.dll").Import("b.dll").ImportSectionRawSize(rawSize).Build()), 1);
    EXPECT_THAT(Names(), ElementsAre("a.dll"));
}

// Names go through AddReference: the prefix rule applies within one module.
TEST_F(ScanModuleTest, NamesAreAddedThroughAddReference) {
    EXPECT_EQ(
        Scan(PeBuilder().Import("KERNEL32").Import("kernel32.dll").Import("KERNEL32").Build()), 1);
    EXPECT_EQ(error, 0);  // three names counted, one entry left
    EXPECT_THAT(Names(), ElementsAre("kernel32.dll"));
}

TEST_F(ScanModuleTest, ErrorIdIsOptional) {
    const Bytes bytes = PeBuilder().Import("a.dll").Build();
    const CMappedImage image(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(scanner.ScanImage(image), 1);
    EXPECT_THAT(Names(), ElementsAre("a.dll"));
}

// --- From files ----------------------------------------------------------------

TEST_F(ScanModuleTest, FileBasedScan) {
    test::TempDir dir;
    const std::string pe =
        dir.Write("app.exe", PeBuilder().Pe32Plus().Import("KERNEL32.dll").Build());
    EXPECT_EQ(scanner.ScanModule(pe, &error), 1);
    EXPECT_EQ(error, 0);
    EXPECT_THAT(Names(), ElementsAre("KERNEL32.dll"));

    EXPECT_EQ(scanner.ScanModule(dir.WriteText("readme.txt", "hello\n"), &error), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
    EXPECT_EQ(scanner.ScanModule(dir.Write("empty.dll", {}), &error), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
    EXPECT_EQ(scanner.ScanModule(dir.File("missing.dll"), &error), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
    EXPECT_EQ(scanner.ScanModule(dir.Write("noimports.dll", PeBuilder().Build()), &error), 1);
    EXPECT_EQ(error, IDS_NO_REFERENCES);
    EXPECT_THAT(Names(), ElementsAre("KERNEL32.dll"));
}

// A path that does not fit a 260-character buffer is not opened.
TEST_F(ScanModuleTest, PathOf260CharactersIsNotOpened) {
    const std::string path(300, 'p');
    EXPECT_EQ(scanner.ScanModule(path, &error), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
}

}  // namespace
}  // namespace kivrel
