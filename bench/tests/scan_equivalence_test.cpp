// Whole scans: the optimised CReferenceScanner on the native platform against
// the plain scan with its own directory search, on generated installations
// with mixed letter case, extension-less imports, shadowed copies, non-PE
// decoys and missing names.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "api_set_writer.h"
#include "installation.h"
#include "pe_writer.h"
#include "plain_directory_platform.h"
#include "plain_scan.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "temp_dir.h"
#include "text.h"

namespace kivrel::bench {
namespace {

using Lines = std::vector<ReportLine>;

// Scans twice with one scanner: the second scan must start from empty lists.
Lines Scan(IScanPlatform& platform, const std::string& module, const LoaderOptions& options = {}) {
    CReferenceScanner scanner(platform);
    scanner.SetLoaderOptions(options);
    CReportLines first, second;
    scanner.Scan(module, "", true, first);
    scanner.Scan(module, "", true, second);
    EXPECT_EQ(first.Lines(), second.Lines());
    return second.Lines();
}

Lines PlainScan(IScanPlatform& platform, const std::string& module) {
    CReportLines report;
    CPlainScan(platform).Scan(module, "", report);
    return report.Lines();
}

std::set<std::string> Folded(const std::vector<std::string>& texts) {
    std::set<std::string> folded;
    for (const std::string& text : texts) folded.insert(ToLowerAscii(text));
    return folded;
}

TEST(ScanEquivalence, GeneratedInstallationsReportAsThePlainScan) {
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        test::TempDir temp;
        InstallationParams params;
        params.modules = 150;
        params.directories = 3 + seed;
        params.files = 600;
        params.seed = seed;
        params.extensionlessShare = 0.2;
        Installation installation;
        std::string error;
        ASSERT_TRUE(GenerateInstallation(params, temp.Dir("inst"), installation, error)) << error;
        PlatformOverrides overrides;
        overrides.systemDirectory = installation.systemDirectory;
        overrides.windowsDirectory = installation.windowsDirectory;
        overrides.pathList = installation.pathList;
        auto platform = CreateNativePlatform(overrides);
        CPlainDirectoryPlatform plainPlatform(CreateNativePlatform(overrides));
        const Lines expected = PlainScan(plainPlatform, installation.module);
        ASSERT_EQ(Scan(*platform, installation.module), expected);

        // The report also says what the generator built: every module where
        // it was put first in the search order, and the unresolvable names.
        std::vector<std::string> found, unresolved;
        for (const ReportLine& line : expected) {
            if (line.value != 0)
                found.push_back(line.text);
            else if (!line.text.empty() && line.text.find("***") == std::string::npos)
                unresolved.push_back(line.text);
        }
        EXPECT_EQ(Folded(found), Folded(installation.expectedFound));
        EXPECT_EQ(Folded(unresolved), Folded(installation.expectedUnresolved));

        // With a schema in the system directory, every loader option on
        // changes nothing here: no module imports an API set or delay-loads,
        // all share one machine type, and the module is an EXE.
        test::WriteFileBytes(installation.systemDirectory + "/apisetschema.dll",
                             test::BuildApiSetSchemaDll(test::BuildApiSetSection(
                                 6, {{"api-ms-win-core-synch-l1-2-1", {"kernelbase.dll"}}})));
        EXPECT_EQ(Scan(*platform, installation.module, LoaderOptions{true, true, true, true}),
                  expected);
    }
}

}  // namespace
}  // namespace kivrel::bench
