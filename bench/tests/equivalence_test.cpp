// The optimised scan against the plain one: whole scans of generated
// installations with mixed letter case, extension-less imports, shadowed
// copies, non-PE decoys and missing names; the indexed reference list against
// the plain walk over its entries; the Linux directory search (hashed names
// and extension stems) against a plain match of every entry.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "api_set_writer.h"
#include "installation.h"
#include "pe_writer.h"
#include "plain_directory_platform.h"
#include "plain_reference_list.h"
#include "plain_scan.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "temp_dir.h"
#include "text.h"

namespace kivrel::bench {
namespace {

using Lines = std::vector<ReportLine>;
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
        // One scanner, twice: the second scan starts from empty lists; the
        // third with a schema in the system directory and every loader option
        // on changes nothing, as no module imports an API set or delay-loads,
        // all share one machine type, and the module is an EXE.
        const auto platform = CreateNativePlatform(overrides);
        CReferenceScanner scanner(*platform);
        for (int scan = 0; scan < 3; ++scan) {
            if (scan == 2) {
                test::WriteFileBytes(
                    installation.systemDirectory + "/apisetschema.dll",
                    test::BuildApiSetSchemaDll(test::BuildApiSetSection(
                        6, {{"api-ms-win-core-synch-l1-2-1", {"kernelbase.dll"}}})));
                scanner.SetLoaderOptions(LoaderOptions{true, true, true, true});
            }
            CReportLines fast;
            scanner.Scan(installation.module, "", true, fast);
            ASSERT_EQ(fast.Lines(), expected.Lines()) << "scan " << scan;
        }
        // The report also says what the generator built: every module where
        // it was put first in the search order, and the unresolvable names.
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

// Random additions, resolution steps, look-ups and clears, compared entry by
// entry after every step, with names that are prefixes, extensions and case
// variants of one another ('-' sorts before '.', so sort and prefix order
// disagree) and non-ASCII bytes.
TEST(ReferenceListEquivalence, RandomSequencesMatchThePlainWalk) {
    const char* const stems[] = {"a", "A", "ab", "aB", "a-b", "b", "k32", "K32", "\xC9", "\xE9"};
    const char* const extensions[] = {"",    ".",     ".dll", ".DLL",  ".d",
                                      ".dl", ".dllx", ".x",   ".dll.x"};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        auto name = [&] {
            return std::string(stems[random() % std::size(stems)]) +
                   extensions[random() % std::size(extensions)];
        };
        CReferenceList fast;
        CPlainReferenceList plain;
        for (int step = 0; step < 2000; ++step) {
            const unsigned choice = random() % 100;
            std::string text;
            uint16_t state = 0;
            if (choice < 60) {
                text = name();
                state = static_cast<uint16_t>(random() % 3 == 0 ? random() % 4 : 0u);
            } else if (choice < 90) {
                // The first pending entry gets a final state, sometimes
                // through a longer name (a found file).
                const long pending = fast.FindFirstPending();
                if (pending < 0) continue;
                text = fast[static_cast<size_t>(pending)].text;
                if (text.back() == '.' && random() % 2 == 0) text += "dll";
                state = static_cast<uint16_t>(1 + random() % 3);
            } else if (choice < 99) {
                text = name();
                ASSERT_EQ(fast.Find(text), plain.Find(text)) << "find " << text << " seed " << seed;
                continue;
            } else {
                fast.Clear();
                plain.Clear();
            }
            if (!text.empty()) {
                const uint32_t directory = random() % 5;
                fast.AddReference(text, directory, state);
                plain.AddReference(text, directory, state);
            }
            const std::string at = "seed " + std::to_string(seed) + " step " + std::to_string(step);
            ASSERT_EQ(fast.size(), plain.size()) << at;
            for (size_t i = 0; i < fast.size(); ++i) {
                ASSERT_EQ(fast[i].text, plain[i].text) << at;
                ASSERT_EQ(fast[i].value, plain[i].value) << at << " " << fast[i].text;
            }
            ASSERT_EQ(fast.FindFirstPending(), plain.FindFirstPending()) << at;
        }
    }
}

Names Matches(IScanPlatform& platform, const std::string& directory, const std::string& pattern,
              size_t stopAfter = SIZE_MAX) {
    Names names;
    platform.FindMatches(directory, pattern, [&](const std::string& name) {
        names.push_back(name);
        return names.size() < stopAfter;
    });
    return names;
}

TEST(DirectorySearch, EveryPatternGivesThePlainMatchesInByteOrder) {
    test::TempDir temp;
    for (const char* name :
         {"foo.dll", "FOO.DLL", "Foo.Dll.mui", "foo.", "foo", "foo-bar.dll", "fooa.dll",
          "foo.bar.dll", "FOO.BAR.exe", "a*b.dll", "a?b.dll", "axb.dll", "x.y.z", ".hidden",
          "..dots", "\xC9.dll", "\xE9.dll", "\xC9.DLL"}) {
        temp.WriteText(name, "not a module");
    }
    temp.MakeDir("Sub.Dir");
    const std::unique_ptr<IScanPlatform> native = CreateNativePlatform();
    CPlainDirectoryPlatform plain{CreateNativePlatform()};
    for (const char* pattern :
         {"foo.dll",  "FOO.dll",  "foo.*",  "FOO.*",   "foo.bar.*", "foo.dll.*",   "foo..*",
          "foo",      "foo.",     "*.dll",  "f?o.dll", "a*b.dll",   "a?b.dll",     ".*",
          "..*",      "x.y.*",    "x.*",    "sub.*",   "sub.dir",   "nothing.dll", "nothing.*",
          "\xE9.dll", "\xE9.DLL", "\xC9.*", "*",       "*.*"}) {
        EXPECT_EQ(Matches(*native, temp.Dir(), pattern), Matches(plain, temp.Dir(), pattern))
            << pattern;
    }
    // The callback ends the search; a new scan sees new files; a missing
    // directory matches nothing.
    EXPECT_EQ(Matches(*native, temp.Dir(), "foo.*", 2), (Names{"FOO.BAR.exe", "FOO.DLL"}));
    EXPECT_TRUE(Matches(*native, temp.Dir(), "late.dll").empty());
    temp.WriteText("LATE.dll", "x");
    native->BeginScan();
    EXPECT_EQ(Matches(*native, temp.Dir(), "late.dll"), Names{"LATE.dll"});
    EXPECT_TRUE(Matches(*native, temp.Dir("absent"), "foo.*").empty());
    EXPECT_TRUE(Matches(*native, temp.Dir("absent"), "foo.dll").empty());
}

}  // namespace
}  // namespace kivrel::bench
