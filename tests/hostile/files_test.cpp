// Real files at the limits: a sparse file larger than 4 GiB, and on Windows
// the device names reserved in every directory.
#include <filesystem>

#include "hostile_scan.h"
#include "messages.h"

namespace kivrel::test {
namespace {

// Only the low 32 bits of the size count, as for GetFileSize without its high
// part, and nothing beyond them is read, so nothing beyond the mapping either.
TEST_F(HostileScan, SparseFileOver4GiBIsReadUpToItsLow32BitsOfSize) {
    PeLayout layout;
    const std::vector<uint8_t> module =
        PeBuilder().Import("KERNEL32.dll").Import("user32.dll").Build(&layout);
    const struct {
        uint64_t lowSize;
        int result, errorId;
        std::vector<std::string> names;
    } cases[] = {
        {module.size(), 1, 0, {"KERNEL32.dll", "user32.dll"}},
        {layout.nameOffsets[1], 1, 0, {"KERNEL32.dll"}},  // ends where the second name begins
        {0, 0, IDS_INVALID_NT_SIGNATURE, {}},             // exactly 4 GiB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lowSize);
        const std::string path = dir.Write("big.dll", module);
        std::error_code error;
        std::filesystem::resize_file(path, (uint64_t(1) << 32) + c.lowSize, error);
        ASSERT_FALSE(error) << error.message();
        scanner.ClearLists();
        const ModuleRead read = scanner.ScanModule(path);
        EXPECT_EQ(read.isPe, c.result != 0);
        EXPECT_EQ(read.errorId, c.errorId);
        std::vector<std::string> names;
        for (const Reference& entry : scanner.References().Entries()) names.push_back(entry.text);
        EXPECT_EQ(names, c.names);
    }
}

#ifdef _WIN32
// NUL, CON, AUX, COM1 ..., with any extension: a module importing one must not
// get the scan to open or read a device.
TEST_F(HostileScan, ImportedDeviceNamesAreNeverFound) {
    const char* const devices[] = {"NUL.dll",  "CON.",  "AUX.",   "PRN.dll",
                                   "COM1.dll", "LPT1.", "CONIN$."};
    std::string imports = "real.dll";
    for (const char* device : devices) imports += std::string(" ") + device;
    dir.Write("real.dll", PeImporting());
    scanner.Scan(dir.Write("main.exe", PeImporting(imports)), "", true, report);
    for (const char* device : devices) {
        const int state = StateOf(scanner, device);
        EXPECT_TRUE(state == REF_NOT_FOUND || state == REF_INCORRECT) << device << " " << state;
    }
    EXPECT_EQ(StateOf(scanner, "real.dll"), REF_FOUND);
}
#endif

}  // namespace
}  // namespace kivrel::test
