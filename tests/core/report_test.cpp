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

using test::Line;
using test::PeBuilder;
using test::RecordingSink;
using testing::ElementsAre;
using testing::IsEmpty;

const std::string kHeading = "*** NOT FOUND or INCORRECT ***";

// --- ReportReferences on lists set up by hand ------------------------------

class ReportTest : public testing::Test {
protected:
    ReportTest() : platform('\\'), scanner(platform) {}
    std::vector<Line> Report() {
        RecordingSink sink;
        scanner.ReportReferences(sink);
        EXPECT_EQ(sink.resets, 0);
        return sink.lines;
    }
    test::FakePlatform platform;
    CReferenceScanner scanner;
};

TEST_F(ReportTest, EmptyReferenceListReportsNothing) {
    scanner.AddSearchDirectory("C:\\A");
    EXPECT_THAT(Report(), IsEmpty());
}

// Found entries by directory in search order, within a directory in list
// order, with item value index + 1; then the unresolved names.
TEST_F(ReportTest, GroupsByDirectoryThenUnresolved) {
    scanner.AddSearchDirectory("C:\\First");
    scanner.AddSearchDirectory("C:\\Second");
    scanner.AddReference("x.dll", 1, REF_FOUND);      // 0
    scanner.AddReference("y.dll", 0, REF_FOUND);      // 1
    scanner.AddReference("zz", 0, REF_NOT_FOUND);     // 2
    scanner.AddReference("w.dll", 1, REF_INCORRECT);  // 3
    scanner.AddReference("V.DLL", 0, REF_FOUND);      // 4
    EXPECT_THAT(Report(), ElementsAre(Line{"C:\\First\\y.dll", 2}, Line{"C:\\First\\V.DLL", 5},
                                      Line{"C:\\Second\\x.dll", 1}, Line{"", 0}, Line{kHeading, 0},
                                      Line{"", 0}, Line{"zz.", 0}, Line{"w.dll", 0}));
}

TEST_F(ReportTest, AllFoundHasNoHeading) {
    scanner.AddSearchDirectory("D:\\");
    scanner.AddReference("a.dll", 0, REF_FOUND);
    EXPECT_THAT(Report(), ElementsAre(Line{"D:\\a.dll", 1}));
}

TEST_F(ReportTest, NoneFoundIsOnlyTheHeadingAndNames) {
    scanner.AddReference("a.dll", 0, REF_NOT_FOUND);
    scanner.AddReference("b", 0, REF_INCORRECT);
    EXPECT_THAT(Report(), ElementsAre(Line{"", 0}, Line{kHeading, 0}, Line{"", 0}, Line{"a.dll", 0},
                                      Line{"b.", 0}));
}

// Pending entries (only left when resolution did not run) count as unresolved.
TEST_F(ReportTest, PendingIsListedAsUnresolved) {
    scanner.AddReference("p.dll", 0, REF_PENDING);
    EXPECT_THAT(Report(),
                ElementsAre(Line{"", 0}, Line{kHeading, 0}, Line{"", 0}, Line{"p.dll", 0}));
}

// --- The scan command ------------------------------------------------------

class ScanCommandTest : public testing::Test {
protected:
    ScanCommandTest() : scanner(platform) { platform.maxFindCalls = 10000; }
    test::TempDir temp;
    test::FakePlatform platform;
    CReferenceScanner scanner;
    RecordingSink sink;
};

TEST_F(ScanCommandTest, EmptyModuleAppendsWithoutReset) {
    sink.lines = {{"old line", 7}, {"another", 0}};
    scanner.AddReference("kept.dll", 0, REF_FOUND);
    scanner.Scan("", "C:\\Init", true, sink);
    EXPECT_EQ(sink.resets, 0);
    EXPECT_THAT(sink.lines, ElementsAre(Line{"old line", 7}, Line{"another", 0},
                                        Line{"No Windows module specified", 0}));
    EXPECT_EQ(scanner.References().size(), 1u);  // the lists are not touched either
    EXPECT_TRUE(scanner.SearchDirectories().empty());
}

TEST_F(ScanCommandTest, TextFileGivesExactlyInvalidSignature) {
    sink.lines = {{"old", 0}};
    scanner.Scan(temp.WriteText("notes.exe", "MZ? no, just text\n"), "", true, sink);
    EXPECT_EQ(sink.resets, 1);
    EXPECT_THAT(sink.Texts(), ElementsAre("*** INVALID NT SIGNATURE ***"));
    EXPECT_EQ(sink.lines[0].second, 0u);
}

// Not a PE image: no report, even of what earlier scans left in the lists.
TEST_F(ScanCommandTest, InvalidSignatureHasNoReport) {
    scanner.AddReference("earlier.dll", 0, REF_NOT_FOUND);
    scanner.Scan(temp.WriteText("notes.txt", "text\n"), "", false, sink);
    EXPECT_THAT(sink.Texts(), ElementsAre("*** INVALID NT SIGNATURE ***"));
}

TEST_F(ScanCommandTest, MissingFileGivesExactlyInvalidSignature) {
    scanner.Scan(temp.File("nowhere.exe"), "", true, sink);
    EXPECT_THAT(sink.Texts(), ElementsAre("*** INVALID NT SIGNATURE ***"));
}

TEST_F(ScanCommandTest, PeWithoutImportsGivesExactlyNoReferencies) {
    scanner.Scan(temp.Write("plain.exe", PeBuilder().Build()), "", true, sink);
    EXPECT_THAT(sink.lines, ElementsAre(Line{"No referencies", 0}));
}

TEST_F(ScanCommandTest, ScanFailedIsFollowedByTheReport) {
    scanner.AddReference("earlier.dll", 0, REF_NOT_FOUND);
    scanner.Scan(temp.Write("bad.exe", PeBuilder().Import("a.dll").ImportDirectoryRva(0).Build()),
                 "", false, sink);
    EXPECT_THAT(sink.Texts(), ElementsAre("*** SCAN FAILED ***", "", kHeading, "", "earlier.dll"));
}

// Every import found in the system directory, one of
// them importing a name found nowhere.
TEST_F(ScanCommandTest, FoundThenMissing) {
    const std::string sys = temp.MakeDir("sys");
    platform.systemDirectory = sys;
    temp.Write("sys/sys1.dll", PeBuilder().Import("missing.dll").Build());
    temp.Write("sys/sys2.dll", PeBuilder().Pe32Plus().Build());
    const std::string app =
        temp.Write("app/app.exe", PeBuilder().Import("sys1.dll").Import("sys2.dll").Build());

    scanner.Scan(app, "", true, sink);
    EXPECT_THAT(scanner.SearchDirectories().Entries(), ElementsAre(temp.Dir("app"), sys));
    EXPECT_THAT(sink.lines,
                ElementsAre(Line{sys + "sys1.dll", 1}, Line{sys + "sys2.dll", 2}, Line{"", 0},
                            Line{kHeading, 0}, Line{"", 0}, Line{"missing.dll", 0}));
    EXPECT_EQ(platform.beginScanCalls, 1);
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
    EXPECT_THAT(sink.lines, ElementsAre(Line{init + "late.dll", 2}, Line{sys + "early.dll", 1}));
}

// With cleanup off, a later scan adds to the lists and reports them all.
TEST_F(ScanCommandTest, WithoutCleanupTheReportCoversEarlierScans) {
    const std::string sys = temp.MakeDir("sys");
    platform.systemDirectory = sys;
    temp.Write("sys/one.dll", PeBuilder().Build());
    temp.Write("sys/two.dll", PeBuilder().Build());
    const std::string first =
        temp.Write("a/first.exe", PeBuilder().Import("one.dll").Import("gone.dll").Build());
    const std::string second = temp.Write("b/second.exe", PeBuilder().Import("two.dll").Build());

    scanner.Scan(first, "", false, sink);
    scanner.Scan(second, "", false, sink);
    EXPECT_EQ(sink.resets, 2);
    EXPECT_THAT(scanner.SearchDirectories().Entries(),
                ElementsAre(temp.Dir("a"), sys, temp.Dir("b")));
    EXPECT_THAT(sink.lines,
                ElementsAre(Line{sys + "one.dll", 1}, Line{sys + "two.dll", 3}, Line{"", 0},
                            Line{kHeading, 0}, Line{"", 0}, Line{"gone.dll", 0}));

    // With cleanup on, only the second module's references remain.
    scanner.Scan(second, "", true, sink);
    EXPECT_THAT(scanner.SearchDirectories().Entries(), ElementsAre(temp.Dir("b"), sys));
    EXPECT_THAT(sink.lines, ElementsAre(Line{sys + "two.dll", 1}));
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
