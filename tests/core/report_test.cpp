// ReportReferences and the scan command: the grouping of found
// modules by directory, the heading of the unresolved names, the item values,
// and the lines a whole Scan produces.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_helpers.h"
#include "fake_platform.h"
#include "messages.h"
#include "pe_writer.h"
#include "reference_scanner.h"
#include "temp_dir.h"

namespace kivrel {
namespace {

using test::PeBuilder;
using testing::ElementsAre;
using testing::IsEmpty;

const std::string kHeading = "*** NOT FOUND or INCORRECT ***";
const std::string kInvalid = "*** INVALID NT SIGNATURE ***";

// --- ReportReferences on lists set up by hand ------------------------------

class ReportTest : public testing::Test {
protected:
    ReportTest() : platform('\\'), scanner(platform) {}
    std::vector<ReportLine> Report() {
        // Only the scan command empties the results: the report appends.
        CReportLines sink;
        sink.AddLine("earlier", 9);
        scanner.ReportReferences(sink);
        std::vector<ReportLine> lines = sink.Lines();
        EXPECT_EQ(lines.front(), (ReportLine{"earlier", 9}));
        lines.erase(lines.begin());
        return lines;
    }
    test::FakePlatform platform;
    CReferenceScanner scanner;
};

// Found entries by directory in search order, within a directory in list
// order, with item value index + 1; then the heading and the unresolved names
// (pending entries, only left when resolution did not run, count as such).
TEST_F(ReportTest, Layout) {
    const ReportLine empty{"", 0}, heading{kHeading, 0};
    const uint32_t f0 = MakeRefValue(REF_FOUND, 0), f1 = MakeRefValue(REF_FOUND, 1);
    const struct {
        const char* name;
        std::vector<std::pair<const char*, uint32_t>> refs;  // name, value
        std::vector<ReportLine> expected;
    } cases[] = {
        // clang-format off
        {"empty list", {}, {}},
        {"grouped by directory, then unresolved",
         {{"x.dll", f1}, {"y.dll", f0}, {"zz", MakeRefValue(REF_NOT_FOUND, 0)},
          {"w.dll", MakeRefValue(REF_INCORRECT, 1)}, {"V.DLL", f0}},
         {{"C:\\First\\y.dll", 2}, {"C:\\First\\V.DLL", 5}, {"C:\\Second\\x.dll", 1},
          empty, heading, empty, {"zz.", 0}, {"w.dll", 0}}},
        {"all found has no heading", {{"a.dll", f1}}, {{"C:\\Second\\a.dll", 1}}},
        {"none found",
         {{"a.dll", MakeRefValue(REF_NOT_FOUND, 0)}, {"b", MakeRefValue(REF_INCORRECT, 0)},
          {"p.dll", MakeRefValue(REF_PENDING, 0)}},
         {empty, heading, empty, {"a.dll", 0}, {"b.", 0}, {"p.dll", 0}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scanner.ClearLists();
        scanner.AddSearchDirectory("C:\\First");
        scanner.AddSearchDirectory("C:\\Second");
        for (const auto& [name, value] : c.refs)
            scanner.AddReference(name, value & 0xFFFF, static_cast<uint16_t>(value >> 16));
        EXPECT_EQ(Report(), c.expected);
    }
}

// --- The scan command ------------------------------------------------------

class ScanCommandTest : public testing::Test {
protected:
    ScanCommandTest() : scanner(platform) { platform.maxFindCalls = 10000; }
    test::TempDir temp;
    test::FakePlatform platform;
    CReferenceScanner scanner;
    CReportLines sink;
};

TEST_F(ScanCommandTest, EmptyModuleAppendsWithoutReset) {
    sink.AddLine("old line", 7);
    sink.AddLine("another", 0);
    scanner.AddReference("kept.dll", 0, REF_FOUND);
    scanner.Scan("", "C:\\Init", true, sink);
    EXPECT_THAT(sink.Lines(), ElementsAre(ReportLine{"old line", 7}, ReportLine{"another", 0},
                                        ReportLine{"No Windows module specified", 0}));
    EXPECT_EQ(scanner.References().size(), 1u);  // the lists are not touched either
    EXPECT_TRUE(scanner.SearchDirectories().empty());
}

// A message-only scan resets the results first. Not a PE image: no report,
// even of what earlier scans left in the lists; a failed scan is followed by
// the report.
TEST_F(ScanCommandTest, MessageOnlyScans) {
    const struct {
        const char* name;
        std::string path;
        bool cleanup;
        std::vector<std::string> expected;
    } cases[] = {
        {"text file", temp.WriteText("notes.exe", "MZ? no, just text\n"), true, {kInvalid}},
        {"text file, no cleanup", temp.WriteText("notes.txt", "text\n"), false, {kInvalid}},
        {"missing file", temp.File("nowhere.exe"), true, {kInvalid}},
        {"no imports", temp.Write("plain.exe", PeBuilder().Build()), true, {"No referencies"}},
        {"scan failed",
         temp.Write("bad.exe", PeBuilder().Import("a.dll").ImportDirectoryRva(0).Build()),
         false,
         {"*** SCAN FAILED ***", "", kHeading, "", "earlier.dll"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scanner.ClearLists();
        scanner.AddReference("earlier.dll", 0, REF_NOT_FOUND);
        sink.AddLine("old", 7);
        scanner.Scan(c.path, "", c.cleanup, sink);
        EXPECT_EQ(sink.Texts(), c.expected);
        for (const ReportLine& line : sink.Lines()) EXPECT_EQ(line.value, 0u);
    }
}

// An entry found in the second directory comes after every entry of the
// first, whatever the order of the reference list.
TEST_F(ScanCommandTest, SecondDirectoryAfterFirst) {
    const std::string init = temp.MakeDir("init");
    const std::string sys = temp.MakeDir("sys");
    platform.systemDirectory = sys;
    temp.Write("sys/early.dll", PeBuilder().Build());
    temp.Write("init/late.dll", PeBuilder().Build());
    const std::string module =
        temp.Write("lib/module.dll", PeBuilder().Import("early.dll").Import("late.dll").Build());

    scanner.Scan(module, init, true, sink);
    EXPECT_THAT(sink.Lines(), ElementsAre(ReportLine{init + "late.dll", 2}, ReportLine{sys + "early.dll", 1}));
}

// Found, then the unresolved names. With cleanup off, a later scan adds to
// the lists and reports them all.
TEST_F(ScanCommandTest, WithoutCleanupTheReportCoversEarlierScans) {
    const std::string sys = temp.MakeDir("sys");
    platform.systemDirectory = sys;
    temp.Write("sys/one.dll", PeBuilder().Build());
    temp.Write("sys/two.dll", PeBuilder().Pe32Plus().Build());
    const std::string first =
        temp.Write("a/first.exe", PeBuilder().Import("one.dll").Import("gone.dll").Build());
    const std::string second = temp.Write("b/second.exe", PeBuilder().Import("two.dll").Build());

    scanner.Scan(first, "", false, sink);
    EXPECT_EQ(platform.beginScanCalls, 1);
    scanner.Scan(second, "", false, sink);
    EXPECT_THAT(scanner.SearchDirectories().Entries(),
                ElementsAre(temp.Dir("a"), sys, temp.Dir("b")));
    EXPECT_THAT(sink.Lines(),
                ElementsAre(ReportLine{sys + "one.dll", 1}, ReportLine{sys + "two.dll", 3}, ReportLine{"", 0},
                            ReportLine{kHeading, 0}, ReportLine{"", 0}, ReportLine{"gone.dll", 0}));

    // With cleanup on, only the second module's references remain.
    scanner.Scan(second, "", true, sink);
    EXPECT_THAT(scanner.SearchDirectories().Entries(), ElementsAre(temp.Dir("b"), sys));
    EXPECT_THAT(sink.Lines(), ElementsAre(ReportLine{sys + "two.dll", 1}));
}

TEST(MessageTexts, Ids) {
    EXPECT_STREQ(MessageText(117), "*** INVALID NT SIGNATURE ***");
    EXPECT_STREQ(MessageText(118), "*** SCAN FAILED ***");
    EXPECT_STREQ(MessageText(119), "No referencies");
    EXPECT_STREQ(MessageText(120), "No Windows module specified");
    EXPECT_STREQ(MessageText(123), "*** NOT FOUND or INCORRECT ***");
    EXPECT_STREQ(MessageText(0), "");
}

}  // namespace
}  // namespace kivrel
