// Windows reserves device names in every directory (NUL, CON, AUX, COM1 ...,
// with any extension). A module importing one must not get the scan to open
// or read a device: the name ends not found or incorrect, never found.
#include <gtest/gtest.h>

#include "hostile_scan.h"

namespace kivrel::test {
namespace {

TEST(ReservedDeviceNames, ImportedDeviceNamesAreNeverFoundOrRead) {
    TempDir dir;
    FakePlatform platform;
    CReferenceScanner scanner(platform);
    CCollectedReport report;
    const std::vector<std::string> devices = {"NUL.dll",  "CON",  "AUX.",  "PRN.dll",
                                              "COM1.dll", "LPT1", "CONIN$"};
    dir.Write("real.dll", ModuleImporting({}));
    std::vector<std::string> imports = devices;
    imports.push_back("real.dll");
    scanner.Scan(dir.Write("main.exe", ModuleImporting(imports)), "", true, report);

    for (const std::string& device : devices) {
        const std::string text = device.find('.') == std::string::npos ? device + "." : device;
        const Reference* entry = FindReference(scanner, text);
        ASSERT_NE(entry, nullptr) << text;
        EXPECT_TRUE(entry->State() == REF_NOT_FOUND || entry->State() == REF_INCORRECT) << text;
    }
    const Reference* real = FindReference(scanner, "real.dll");
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->State(), REF_FOUND);
}

}  // namespace
}  // namespace kivrel::test
