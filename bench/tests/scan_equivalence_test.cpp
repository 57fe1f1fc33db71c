// Whole scans: the optimised CReferenceScanner on the native platform against
// the plain scan with its own directory search, on generated installations
// with mixed letter case, extension-less imports, shadowed copies, non-PE
// decoys and missing names; and on a scripted platform with short-name aliases.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "api_set_writer.h"
#include "fake_platform.h"
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

PlatformOverrides OverridesOf(const Installation& installation) {
    PlatformOverrides overrides;
    overrides.systemDirectory = installation.systemDirectory;
    overrides.windowsDirectory = installation.windowsDirectory;
    overrides.pathList = installation.pathList;
    return overrides;
}

std::set<std::string> Folded(const std::vector<std::string>& texts) {
    std::set<std::string> folded;
    for (const std::string& text : texts) folded.insert(ToLowerAscii(text));
    return folded;
}

TEST(ScanEquivalence, GeneratedInstallationsReportAsThePlainScan) {
    for (uint64_t seed = 1; seed <= 6; ++seed) {
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

        auto platform = CreateNativePlatform(OverridesOf(installation));
        CReferenceScanner scanner(*platform);
        CReportLines fast;
        scanner.Scan(installation.module, "", true, fast);

        CPlainDirectoryPlatform plainPlatform(CreateNativePlatform(OverridesOf(installation)));
        CPlainScan plain(plainPlatform);
        CReportLines expected;
        plain.Scan(installation.module, "", expected);
        ASSERT_EQ(fast.Lines(), expected.Lines()) << "seed " << seed;

        // The report also says what the generator built: every module where
        // it was put first in the search order, and the unresolvable names.
        std::vector<std::string> found, unresolved;
        for (const ReportLine& line : fast.Lines()) {
            if (line.value != 0)
                found.push_back(line.text);
            else if (!line.text.empty() && line.text.find("***") == std::string::npos)
                unresolved.push_back(line.text);
        }
        EXPECT_EQ(Folded(found), Folded(installation.expectedFound)) << "seed " << seed;
        EXPECT_EQ(Folded(unresolved), Folded(installation.expectedUnresolved)) << "seed " << seed;

        // With a schema in the system directory, every loader option on
        // changes nothing here: no module imports an API set or delay-loads,
        // all share one machine type, and the module is an EXE.
        test::WriteFileBytes(installation.systemDirectory + "/apisetschema.dll",
                             test::BuildApiSetSchemaDll(test::BuildApiSetSection(
                                 6, {{"api-ms-win-core-synch-l1-2-1", {"kernelbase.dll"}}})));
        CReferenceScanner loader(*platform);
        loader.SetLoaderOptions(LoaderOptions{true, true, true, true});
        CReportLines withLoader;
        loader.Scan(installation.module, "", true, withLoader);
        EXPECT_EQ(withLoader.Lines(), expected.Lines()) << "seed " << seed;

        // A second scan by the same scanner starts from empty lists.
        CReportLines again;
        scanner.Scan(installation.module, "", true, again);
        EXPECT_EQ(again.Lines(), fast.Lines()) << "seed " << seed;
    }
}

TEST(ScanEquivalence, ShortNameAliasesReportAsThePlainScan) {
    // A match reported under a name other than the one looked for leaves the
    // entry pending; both scans must settle it the same way.
    test::TempDir temp;
    const std::string system = temp.MakeDir("sys");
    temp.Write("sys/LONGNAME.DLL",
               test::PeBuilder().Pe32Plus().Dll().Import("other").Import("LONGNA~1.DLL").Build());
    temp.Write("sys/OTHER.DLL", test::PeBuilder().Pe32Plus().Dll().Import("longname.dll").Build());
    const std::string module =
        temp.Write("app/tool.exe",
                   test::PeBuilder().Pe32Plus().Import("LONGNA~1.DLL").Import("missing").Build());

    auto scan = [&](bool usePlain) {
        test::FakePlatform platform;
        platform.systemDirectory = system;
        platform.Script(system, {{"LONGNAME.DLL", "LONGNA~1.DLL"}, {"OTHER.DLL", "OTHER~1.DLL"}});
        CReportLines sink;
        if (usePlain) {
            CPlainScan(platform).Scan(module, "", sink);
        } else {
            CReferenceScanner(platform).Scan(module, "", true, sink);
        }
        return sink.Lines();
    };
    const Lines fast = scan(false);
    EXPECT_EQ(fast, scan(true));
    EXPECT_FALSE(fast.empty());
}

// A plug-in DLL that imports API sets, delay-loads, and finds a module of
// another machine type first: with every loader option off its report is the
// plain scan's; each option on its own changes it.
TEST(ScanEquivalence, LoaderOptionsOffReportAsThePlainScan) {
    test::TempDir temp;
    const std::string system = temp.MakeDir("sys"), other = temp.MakeDir("other");
    temp.Write("sys/apisetschema.dll",
               test::BuildApiSetSchemaDll(test::BuildApiSetSection(
                   6, {{"api-ms-win-crt-stdio-l1-1-0", {"ucrtbase.dll"}}})));
    temp.Write("sys/ucrtbase.dll", test::PeBuilder().Dll().Build());
    temp.Write("sys/wide.dll", test::PeBuilder().Pe32Plus().Dll().Build());
    temp.Write("other/wide.dll", test::PeBuilder().Dll().Build());
    temp.Write("plugins/sibling.dll", test::PeBuilder().Dll().Build());
    temp.Write("plugins/later.dll", test::PeBuilder().Dll().Build());
    const std::string module =
        temp.Write("plugins/plugin.dll", test::PeBuilder()
                                             .Dll()
                                             .Import("api-ms-win-crt-stdio-l1-1-0.dll")
                                             .Import("wide.dll")
                                             .Import("sibling.dll")
                                             .DelayImport("later.dll")
                                             .Build());
    PlatformOverrides overrides;
    overrides.systemDirectory = system;
    overrides.pathList = other;
    auto scan = [&](const LoaderOptions& options) {
        auto platform = CreateNativePlatform(overrides);
        CReferenceScanner scanner(*platform);
        scanner.SetLoaderOptions(options);
        CReportLines sink;
        scanner.Scan(module, "", true, sink);
        return sink.Lines();
    };
    CPlainDirectoryPlatform plainPlatform(CreateNativePlatform(overrides));
    CReportLines expected;
    CPlainScan(plainPlatform).Scan(module, "", expected);
    EXPECT_EQ(scan(LoaderOptions()), expected.Lines());
    for (int option = 0; option < 4; ++option) {
        LoaderOptions one;
        (option == 0   ? one.apiSets
         : option == 1 ? one.delayLoad
         : option == 2 ? one.matchMachine
                       : one.moduleDir) = true;
        EXPECT_NE(scan(one), expected.Lines()) << "option " << option;
    }
}

}  // namespace
}  // namespace kivrel::bench
