// The optimised scan against the plain one on generated installations.
#include <gtest/gtest.h>

#include <set>

#include "api_set_writer.h"
#include "installation.h"
#include "plain_directory_platform.h"
#include "plain_scan.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "temp_dir.h"
#include "text.h"

namespace kivrel::bench {
namespace {

using Names = std::vector<std::string>;

std::set<std::string> Folded(const Names& texts) {
    std::set<std::string> folded;
    for (const std::string& text : texts) folded.insert(ToLowerAscii(text));
    return folded;
}

TEST(ScanEquivalence, GeneratedInstallationsReportAsThePlainScan) {
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        test::TempDir temp;
        // 150 modules in 3 + seed directories, 600 files, a fifth imported without ".dll".
        const InstallationParams params{150, size_t(3 + seed), 600, seed, 0.2};
        Installation installation;
        std::string error;
        ASSERT_TRUE(GenerateInstallation(params, temp.Dir("inst"), installation, error)) << error;
        const PlatformOverrides overrides{installation.systemDirectory,
                                          installation.windowsDirectory, installation.pathList};
        CPlainDirectoryPlatform plainPlatform(CreateNativePlatform(overrides));
        CReportLines expected;
        CPlainScan(plainPlatform).Scan(installation.module, "", expected);
        // One scanner: the second scan starts from empty lists; the third, with a schema and
        // every loader option on, changes nothing (no API sets, no delay-loads, one machine).
        const auto platform = CreateNativePlatform(overrides);
        CReferenceScanner scanner(*platform);
        CKnownDlls knownDlls;
        knownDlls.Assign(BuiltInKnownDlls(), "the built-in list");
        for (int scan = 0; scan < 3; ++scan) {
            if (scan == 2) {
                test::WriteFileBytes(
                    installation.systemDirectory + "/apisetschema.dll",
                    test::BuildApiSetSchemaDll(test::BuildApiSetSection(
                        6, {{"api-ms-win-core-synch-l1-2-1", {"kernelbase.dll"}}})));
                LoaderOptions all{true, true, true, true};
                all.knownDlls = true;
                scanner.SetLoaderOptions(all);
                scanner.SetKnownDlls(&knownDlls);
            }
            CReportLines fast;
            scanner.Scan(installation.module, "", true, fast);
            ASSERT_EQ(fast.Lines(), expected.Lines()) << "scan " << scan;
        }
        // The report also says what the generator built.
        Names found, unresolved;
        for (const ReportLine& line : expected.Lines()) {
            if (line.value != 0)
                found.push_back(line.text);
            else if (!line.text.empty() && line.text.find("***") == std::string::npos)
                unresolved.push_back(line.text);
        }
        EXPECT_EQ(Folded(found), Folded(installation.expectedFound));
        EXPECT_EQ(Folded(unresolved), Folded(installation.expectedUnresolved));
    }
}

}  // namespace
}  // namespace kivrel::bench
