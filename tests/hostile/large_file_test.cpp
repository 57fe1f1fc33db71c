// A sparse file larger than 4 GiB: only the low 32 bits of its size count, as
// they do for GetFileSize without its high part. Whatever those bits say, the
// scan reads nothing beyond them, so nothing beyond the mapping either.
#include <gtest/gtest.h>

#include <filesystem>

#include "hostile_scan.h"
#include "messages.h"
#include "pe_writer.h"

namespace kivrel::test {
namespace {

constexpr uint64_t k4GiB = uint64_t(1) << 32;

class SparseFile : public ::testing::Test {
protected:
    // Writes `bytes` and extends the file, without writing, to 4 GiB + `lowSize`.
    std::string WriteSparse(const std::string& name, const std::vector<uint8_t>& bytes,
                            uint64_t lowSize) {
        const std::string path = dir.Write(name, bytes);
        std::error_code error;
        std::filesystem::resize_file(path, k4GiB + lowSize, error);
        if (error) ADD_FAILURE() << "cannot extend " << path << ": " << error.message();
        return path;
    }

    TempDir dir;
    FakePlatform platform;
    CReferenceScanner scanner{platform};
};

TEST_F(SparseFile, ImageIsReadAsItsLow32BitsOfSize) {
    PeLayout layout;
    const std::vector<uint8_t> module =
        PeBuilder().Import("KERNEL32.dll").Import("user32.dll").Build(&layout);
    const std::string path = WriteSparse("big.dll", module, module.size());
    int errorId = -1;
    EXPECT_EQ(scanner.ScanModule(path, &errorId), 1);
    EXPECT_EQ(errorId, 0);
    EXPECT_NE(FindReference(scanner, "KERNEL32.dll"), nullptr);
    EXPECT_NE(FindReference(scanner, "user32.dll"), nullptr);
}

TEST_F(SparseFile, NameBeyondTheLow32BitsIsNotRead) {
    // The low bits end exactly where the second name begins: that name lies in
    // the mapping but outside the file as the scan sees it.
    PeLayout layout;
    const std::vector<uint8_t> module =
        PeBuilder().Import("KERNEL32.dll").Import("user32.dll").Build(&layout);
    ASSERT_EQ(layout.nameOffsets.size(), 2u);
    const std::string path = WriteSparse("cut.dll", module, layout.nameOffsets[1]);
    int errorId = -1;
    EXPECT_EQ(scanner.ScanModule(path, &errorId), 1);
    EXPECT_EQ(errorId, 0);
    EXPECT_NE(FindReference(scanner, "KERNEL32.dll"), nullptr);
    EXPECT_EQ(FindReference(scanner, "user32.dll"), nullptr);
    EXPECT_EQ(scanner.References().size(), 1u);
}

TEST_F(SparseFile, ExactMultipleOf4GiBIsAnEmptyImage) {
    const std::string path = WriteSparse("four.dll", PeBuilder().Import("KERNEL32.dll").Build(), 0);
    int errorId = 0;
    EXPECT_EQ(scanner.ScanModule(path, &errorId), 0);
    EXPECT_EQ(errorId, IDS_INVALID_NT_SIGNATURE);
}

TEST_F(SparseFile, LowBitsShorterThanTheDosHeaderAreNotAnImage) {
    const std::string path =
        WriteSparse("short.dll", PeBuilder().Import("KERNEL32.dll").Build(), 63);
    int errorId = 0;
    EXPECT_EQ(scanner.ScanModule(path, &errorId), 0);
    EXPECT_EQ(errorId, IDS_INVALID_NT_SIGNATURE);
}

TEST_F(SparseFile, LowBitsEndingInsideTheSectionTableLeaveImportsUntranslatable) {
    PeLayout layout;
    const std::vector<uint8_t> module = PeBuilder().Import("KERNEL32.dll").Build(&layout);
    const std::string path = WriteSparse("headers.dll", module, layout.sectionTableOffset + 20);
    int errorId = -1;
    EXPECT_EQ(scanner.ScanModule(path, &errorId), 1);
    EXPECT_EQ(errorId, IDS_SCAN_FAILED);
    EXPECT_TRUE(scanner.References().empty());
}

}  // namespace
}  // namespace kivrel::test
