// A sparse file larger than 4 GiB: only the low 32 bits of its size count, as
// for GetFileSize without its high part, and the scan reads nothing beyond
// them, so nothing beyond the mapping either.
#include <gtest/gtest.h>

#include <filesystem>

#include "hostile_scan.h"
#include "messages.h"
#include "pe_writer.h"

namespace kivrel::test {
namespace {

class SparseFile : public HostileScan, public ::testing::Test {};

TEST_F(SparseFile, OnlyTheLow32BitsOfTheSizeAreRead) {
    PeLayout layout;
    const std::vector<uint8_t> module =
        PeBuilder().Import("KERNEL32.dll").Import("user32.dll").Build(&layout);
    ASSERT_EQ(layout.nameOffsets.size(), 2u);
    const struct {
        const char* name;
        uint64_t lowSize;
        int result, errorId;
        std::vector<std::string> names;
    } cases[] = {
        {"whole image", module.size(), 1, 0, {"KERNEL32.dll", "user32.dll"}},
        // The low bits end where the second name begins: in the mapping, but
        // outside the file as the scan sees it.
        {"second name cut off", layout.nameOffsets[1], 1, 0, {"KERNEL32.dll"}},
        {"inside the section table", layout.sectionTableOffset + 20u, 1, IDS_SCAN_FAILED, {}},
        {"shorter than the DOS header", 63, 0, IDS_INVALID_NT_SIGNATURE, {}},
        {"exactly 4 GiB", 0, 0, IDS_INVALID_NT_SIGNATURE, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("big.dll", module);
        std::error_code error;
        std::filesystem::resize_file(path, (uint64_t(1) << 32) + c.lowSize, error);
        ASSERT_FALSE(error) << error.message();
        scanner.ClearLists();
        int errorId = -1;
        EXPECT_EQ(scanner.ScanModule(path, &errorId), c.result);
        EXPECT_EQ(errorId, c.errorId);
        std::vector<std::string> names;
        for (const Reference& entry : scanner.References().Entries()) names.push_back(entry.text);
        EXPECT_EQ(names, c.names);
    }
}

}  // namespace
}  // namespace kivrel::test
