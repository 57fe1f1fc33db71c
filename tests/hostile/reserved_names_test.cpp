// Windows reserves device names in every directory (NUL, CON, AUX, COM1 ...,
// with any extension). A module importing one must not get the scan to open
// or read a device: the name ends not found or incorrect, never found.
#include "hostile_scan.h"

namespace kivrel::test {
namespace {

TEST_F(HostileScan, ImportedDeviceNamesAreNeverFound) {
    const std::vector<std::string> devices{"NUL.dll",  "CON.",  "AUX.",   "PRN.dll",
                                           "COM1.dll", "LPT1.", "CONIN$."};
    dir.Write("real.dll", ModuleImporting({}));
    std::vector<std::string> imports = devices;
    imports.push_back("real.dll");
    scanner.Scan(dir.Write("main.exe", ModuleImporting(imports)), "", true, report);
    for (const std::string& device : devices) {
        const int state = StateOf(scanner, device);
        EXPECT_TRUE(state == REF_NOT_FOUND || state == REF_INCORRECT) << device << " " << state;
    }
    EXPECT_EQ(StateOf(scanner, "real.dll"), REF_FOUND);
}

}  // namespace
}  // namespace kivrel::test
