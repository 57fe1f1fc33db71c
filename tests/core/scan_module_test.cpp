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

// Each image scanned into empty lists: the result, the error id and the
// names left pending.
TEST_F(ScanModuleTest, ResultErrorIdAndNames) {
    const std::string text = "just some text, not an executable at all\r\n";
    const std::string n259 = std::string(255, 'n') + ".dll";
    PeLayout layout;  // of a.dll, b.dll, c.dll
    PeBuilder().Import("a.dll").Import("b.dll").Import("c.dll").Build(&layout);
    auto a = [] { return PeBuilder().Import("a.dll"); };
    auto abc = [&a] { return a().Import("b.dll").Import("c.dll"); };
    const int kInvalid = IDS_INVALID_NT_SIGNATURE, kNone = IDS_NO_REFERENCES;
    const struct {
        const char* name;
        Bytes bytes;
        int result, error;
        std::vector<std::string> names;
    } cases[] = {
        // clang-format off
        {"imports become pending names as the file holds them",
         PeBuilder().Import("KERNEL32.dll").Import("user32").Import("Msvcrt.DLL").Build(), 1, 0,
         {"KERNEL32.dll", "user32.", "Msvcrt.DLL"}},
        // The PE32+ import directory is at optional-header offset 112 (read at
        // 96 it would be RVA 0 with size 16: "SCAN FAILED").
        {"PE32+", PeBuilder().Pe32Plus().Import("KERNEL32.dll").Import("ntdll.dll").Build(), 1, 0,
         {"KERNEL32.dll", "ntdll.dll"}},
        {"text", Bytes(text.begin(), text.end()), 0, kInvalid, {}},
        {"NE", a().NewHeaderSignature("NE").Build(), 0, kInvalid, {}},
        {"DOS", a().DosRelocationOffset(0).Build(), 0, kInvalid, {}},
        {"new header beyond the file", a().NewHeaderOffset(0x10000).Build(), 0, kInvalid, {}},
        {"no import directory", PeBuilder().Build(), 1, kNone, {}},
        {"directory size 0, even with descriptors", a().ImportDirectorySize(0).Build(), 1, kNone, {}},
        {"directory RVA 0", a().ImportDirectoryRva(0).Build(), 1, IDS_SCAN_FAILED, {}},
        {"untranslatable directory RVA", a().ImportDirectoryRva(0x9000).Build(), 1, IDS_SCAN_FAILED, {}},
        {"directory inside the virtual size, beyond the raw data",
         a().ImportSectionVirtualSize(0x10000).ImportDirectoryRva(0x8000).Build(), 1, IDS_SCAN_FAILED, {}},
        {"first name RVA 0", abc().ImportNameRva(0, 0).Build(), 1, kNone, {}},
        {"untranslatable first name RVA", abc().ImportNameRva(0, 0xFFFFFFFF).Build(), 1, kNone, {}},
        {"name RVA 0 in the middle ends the walk", abc().ImportNameRva(1, 0).Build(), 1, 0, {"a.dll"}},
        {"untranslatable name RVA ends the walk", abc().ImportNameRva(1, 0x70000).Build(), 1, 0, {"a.dll"}},
        // The import section's raw size limits what translates, whatever the file holds.
        {"name beyond the raw size",
         abc().ImportSectionRawSize(layout.nameRvas[1] - layout.importSectionRva).Build(), 1, 0, {"a.dll"}},
        {"name of 259 characters", PeBuilder().Import(n259).Build(), 1, 0, {n259}},
        {"names of 260 or more are skipped, not cut",
         PeBuilder().Import(std::string(256, 'l') + ".dll").Import("b.dll")
             .Import(std::string(996, 'm') + ".dll").Import("d.dll").Build(), 1, 0, {"b.dll", "d.dll"}},
        {"all names skipped",
         PeBuilder().Import(std::string(300, 'x')).Import(std::string(260, 'y')).Build(), 1, kNone, {}},
        // A name that runs into the end of the file is untranslatable.
        {"unterminated name at the end", a().Import("b.dll").UnterminatedLastName().Build(), 1, 0, {"a.dll"}},
        {"only name unterminated", PeBuilder().Import("only.dll").UnterminatedLastName().Build(), 1, kNone, {}},
        {"long unterminated name", a().Import(std::string(400, 'z')).UnterminatedLastName().Build(), 1, 0,
         {"a.dll"}},
        // Names go through AddReference: the prefix rule applies within one module.
        {"three names, one entry", PeBuilder().Import("KERNEL32").Import("kernel32.dll").Import("KERNEL32").Build(),
         1, 0, {"kernel32.dll"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scanner.ClearLists();
        EXPECT_EQ(Scan(c.bytes), c.result);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(Names(), c.names);
    }
}

// The walk ends at an unterminated name even when later records follow:
// 'c.dll' is not read.
TEST_F(ScanModuleTest, NameWithoutTerminatorEndsTheWalkBeforeLaterRecords) {
    PeLayout layout;
    auto pe = [] {
        return PeBuilder().Import("a.dll").Import("c.dll").Import("end.dll").UnterminatedLastName();
    };
    pe().Build(&layout);
    EXPECT_EQ(
        Scan(
            pe().ImportNameRva(1, layout.nameRvas[2]).ImportNameRva(2, layout.nameRvas[1]).Build()),
        1);
    EXPECT_THAT(Names(), ElementsAre("a.dll"));
}

// The walk needs no terminator record: it ends where a record no longer fits.
TEST_F(ScanModuleTest, DescriptorTableCutByTheEndOfTheFile) {
    // The names live in a section of their own inside the header padding
    // (before the import section), so that cutting the descriptors keeps them.
    Bytes names = {'x', '.', 'd', 'l', 'l', 0, 'y', '.', 'd', 'l', 'l', 0};
    PeLayout layout;
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
    // A path that does not fit a 260-character buffer is not opened.
    EXPECT_EQ(scanner.ScanModule(std::string(300, 'p'), &error), 0);
    EXPECT_EQ(error, IDS_INVALID_NT_SIGNATURE);
    EXPECT_EQ(scanner.ScanModule(dir.Write("noimports.dll", PeBuilder().Build()), &error), 1);
    EXPECT_EQ(error, IDS_NO_REFERENCES);
    EXPECT_THAT(Names(), ElementsAre("KERNEL32.dll"));
}

}  // namespace
}  // namespace kivrel
