// Whole scans over real directories: resolution, the report's groups, the
// loader options, lists kept between scans and paths on disk.
#include <gtest/gtest.h>

#include <set>

#include "api_set_writer.h"
#include "fake_platform.h"
#include "reference_scanner.h"
#include "report_lines.h"
#include "temp_dir.h"

namespace kivrel {
namespace {

using test::PeBuilder;
using Bytes = std::vector<uint8_t>;

Bytes Pe(const std::string& names = "") { return test::PeImporting(names); }
const Bytes kText = {'t', 'e', 'x', 't'};
// Report lines, each preceded by '|', a found module's followed by "#<item value>".
const std::string NF = "||*** NOT FOUND or INCORRECT ***||", API = "||*** API SETS ***||",
                  DELAY = "||*** NOT FOUND (delay-load only) ***||";

std::string Joined(const std::vector<ReportLine>& lines) {
    std::string text;
    for (const ReportLine& line : lines)
        text += "|" + line.text + (line.value ? "#" + std::to_string(line.value) : "");
    return text;
}

LoaderOptions With(bool LoaderOptions::*flag) {
    LoaderOptions options;
    options.*flag = true;
    return options;
}

// The notes of a scan: names looked for, and "|passed <path>" for a module of
// another machine passed over, "|no schema" for a schema missing.
struct Notes : IScanObserver {
    void OnResolving(const std::string& name) override { resolved.push_back(name); }
    void OnApiSetSchemaMissing(const std::string&, const std::string&) override {
        text += "|no schema";
    }
    void OnCandidatePassedOver(const std::string& path, const std::string&) override {
        text += "|passed " + path;
    }
    std::vector<std::string> resolved;
    std::string text;
};

// `$` in `text` stands for the directory `temp`, the path after it in native separators.
std::string Local(const test::TempDir& temp, std::string text) {
    for (size_t at; (at = text.find('$')) != std::string::npos;) {
        text.replace(at, 1, temp.Dir());
        for (size_t i = at; i < text.size() && text[i] != '|' && text[i] != '#'; ++i)
            text[i] = text[i] == '/' ? temp.Dir().back() : text[i];
    }
    return text;
}

// Each scenario in a directory of its own, with the system directory sys and
// the path q...;d0;d1;d2; the module's own folder comes first for an EXE.
TEST(Scan, Scenarios) {
    const Bytes schema = test::BuildApiSetSchemaDll(test::BuildApiSetSection(
        6, {{"api-ms-win-core-synch-l1-2-1", {"kernelbase.dll"}},
            {"api-ms-win-gone-l1-1-0", {}},
            {"ext-ms-win-loop-a-l1-1-0", {"ext-ms-win-loop-b-l1-1-0.dll"}},
            {"ext-ms-win-loop-b-l1-1-0", {"ext-ms-win-loop-a-l1-1-0.dll"}}}));
    using Files = std::vector<std::pair<std::string, Bytes>>;
    const Files apiSets = {
        {"sys/ApiSetSchema.dll", schema},
        {"sys/kernelbase.dll", Pe("ntdll.dll")},
        {"sys/ntdll.dll", Pe()},
        {"app/api-ms-win-shipped-l1-1-0.dll", Pe()},
        {"app/tool.exe", Pe("API-MS-WIN-CORE-SYNCH-L1-2-0.dll api-ms-win-gone-l1-1-0.dll "
                            "api-ms-win-unknown-l1-1-0.dll ext-ms-win-loop-a-l1-1-0.dll "
                            "api-ms-win-shipped-l1-1-0.dll")}};
    const Files delay = {{"sys/a.dll", Pe("c.dll")},
                         {"sys/d.dll", Pe()},
                         {"app/tool.exe", Pe("a.dll ~d.dll ~b.dll ~c.dll")}};
    const Files machines = {{"d0/x.dll", Pe("+64 only64.dll")},
                            {"d1/x.dll", Pe()},
                            {"d0/y.dll", Pe("+64")},
                            {"app/tool.exe", Pe("x.dll y.dll")}};
    const Files shortNames = {{"d1/longname.dll", Pe("dep.dll")},
                              {"d1/dep.dll", Pe()},
                              {"app/a.exe", Pe("LONGNA~1.DLL")},
                              {"app/b.exe", Pe("longname.dll LONGNA~1.DLL")}};
    const std::vector<test::ScriptedEntry> aliases = {{"dep.dll", ""},
                                                      {"longname.dll", "LONGNA~1.DLL"}};
    const struct {
        const char* name;
        Files files;
        std::string module, report;
        LoaderOptions options = {};
        std::string notes = "";
        std::vector<test::ScriptedEntry> d1 = {};  // what a search of d1 finds, if given
        bool caseSensitive = false;
    } cases[] = {
        // clang-format off
        // Found modules by directory in search order, within one in list order;
        // a non-PE match does not stop the search.
        {"the first directory with a PE image wins",
         {{"d0/a.dll", kText}, {"d1/a.dll", Pe()}, {"d2/a.dll", Pe()}, {"sys/s.dll", Pe()},
          {"app/b.dll", Pe()}, {"app/a.exe", Pe("A.DLL s.dll b.dll")}},
         "app/a.exe", "|$app/b.dll#3|$sys/s.dll#2|$d1/A.DLL#1"},
        {"only non-PE matches, no match",
         {{"d1/a.dll", kText}, {"d2/a.dll", {}}, {"app/a.exe", Pe("a.dll missing.dll")}},
         "app/a.exe", NF + "a.dll|missing.dll"},
        {"imports of found modules, a self-import and a cycle",
         {{"d0/self.dll", Pe("SELF.DLL a.dll")}, {"d0/a.dll", Pe("+64 b.dll")}, {"d1/b.dll", Pe("a.dll c.dll")},
          {"app/a.exe", Pe("self.dll")}},
         "app/a.exe", "|$d0/self.dll#1|$d0/a.dll#2|$d1/b.dll#3" + NF + "c.dll"},
        {"a name without extension takes the file's name",
         {{"d0/foo.dll", Pe()}, {"app/a.exe", Pe("FOO bar.dll")}}, "app/a.exe", "|$d0/foo.dll#2" + NF + "bar.dll"},
        {"API sets map to their hosts, cycles included", apiSets, "app/tool.exe",
         "|$app/api-ms-win-shipped-l1-1-0.dll#5|$sys/kernelbase.dll#6|$sys/ntdll.dll#8" + API +
         "API-MS-WIN-CORE-SYNCH-L1-2-0.dll => kernelbase.dll|ext-ms-win-loop-a-l1-1-0.dll => ext-ms-win-loop-b-l1-1-0.dll"
         "|ext-ms-win-loop-b-l1-1-0.dll => ext-ms-win-loop-a-l1-1-0.dll" + NF +
         "api-ms-win-gone-l1-1-0.dll|api-ms-win-unknown-l1-1-0.dll", With(&LoaderOptions::apiSets)},
        {"without a schema API set names are files",
         {{"sys/api-ms-win-core-synch-l1-2-0.dll", Pe()}, {"app/a.exe", Pe("api-ms-win-core-synch-l1-2-0.dll api-ms-win-x-l1-1-0.dll")}},
         "app/a.exe", "|$sys/api-ms-win-core-synch-l1-2-0.dll#1" + NF + "api-ms-win-x-l1-1-0.dll",
         With(&LoaderOptions::apiSets), "|no schema"},
        {"delay-loads on", delay, "app/tool.exe",
         "|$sys/a.dll#1|$sys/d.dll#2" + NF + "c.dll" + DELAY + "b.dll", With(&LoaderOptions::delayLoad)},
        {"modules of another machine passed over", machines, "app/tool.exe", "|$d1/x.dll#1" + NF + "y.dll",
         With(&LoaderOptions::matchMachine), "|passed $d0/x.dll|passed $d0/y.dll"},
        // Names with a wildcard (also the DOS forms), a path separator or a colon,
        // and "." and "..", never reach the file system, even where a file would match.
        {"names that could point the search anywhere",
         {{"d0/x.dll", Pe()}, {"d0/abc.dll", Pe()}, {"d0/sub/evil.dll", Pe()}, {"evil.dll", Pe()}, {"d0/ok.dll", Pe()},
          {"app/a.exe", Pe("*.dll x?dll ..\\evil.dll sub/evil.dll C:evil.dll >>>.dll a<.dll abc\"dll ok.dll")}},
         "app/a.exe", "|$d0/ok.dll#9" + NF + "*.dll|x?dll.|..\\evil.dll|sub/evil.dll|C:evil.dll|>>>.dll|a<.dll|abc\"dll."},
        {"the name \".\"", {{"d0/x.dll", Pe()}, {"app/a.exe", Pe(".")}}, "app/a.exe", NF + "."},
        {"the name \"..\"", {{"d0/x.dll", Pe()}, {"app/a.exe", Pe("..")}}, "app/a.exe", NF + ".."},
        // A match under a name unrelated to the pattern (a Windows short name) is
        // found in the same directory under both names.
        {"a short name", shortNames, "app/a.exe", "|$d1/LONGNA~1.DLL#1|$d1/dep.dll#2|$d1/longname.dll#3", {}, "", aliases},
        {"a short name of a module found", shortNames, "app/b.exe", "|$d1/longname.dll#1|$d1/LONGNA~1.DLL#2|$d1/dep.dll#3", {}, "", aliases},
        // Where names tell letter case apart, a found module's path names the file
        // that matched; the entry keeps the import's text.
        {"letter case told apart",
         {{"sys/kernel32.dll", Pe("NTDLL.DLL")}, {"sys/ntdll.dll", Pe()}, {"sys/mIXED.Dll", Pe()}, {"app/OTHER.dll", kText},
          {"sys/other.dll", Pe()}, {"app/App.exe", Pe("KERNEL32.dll Mixed OTHER.DLL")}},
         "app/App.exe", "|$sys/kernel32.dll#1|$sys/other.dll#2|$sys/ntdll.dll#3|$sys/mIXED.Dll#4", {}, "", {}, true},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir temp;
        for (const auto& [path, bytes] : c.files) temp.Write(path, bytes);
        test::FakePlatform platform;
        platform.systemDirectory = temp.Dir("sys");
        // 254 characters with the separator: searched for names of 5 (259), not of 6 (260).
        platform.pathList = std::string(253, 'q') + ";" + temp.Dir("d0") + ";" + temp.Dir("d1") +
                            ";" + temp.Dir("d2");
        platform.maxFindCalls = 10000;
        if (!c.d1.empty()) platform.scripts[temp.Dir("d1")] = c.d1;
        platform.caseSensitive = c.caseSensitive;
        Notes notes;
        CReferenceScanner scanner(platform, &notes);
        scanner.SetLoaderOptions(c.options);
        CReportLines sink;
        scanner.Scan(temp.File(c.module), "", true, sink);
        EXPECT_EQ(Joined(sink.Lines()), Local(temp, c.report));
        EXPECT_EQ(notes.text, Local(temp, c.notes));
        for (const auto& [directory, pattern] : platform.findCalls) {
            EXPECT_LT(directory.size() + pattern.size(), kMaxPath) << pattern;
            const bool stem = pattern.size() > 2 && pattern.substr(pattern.size() - 2) == ".*";
            const std::string name = stem ? pattern.substr(0, pattern.size() - 1) : pattern;
            EXPECT_EQ(name.find_first_of("*?<>\"\\/:"), std::string::npos) << pattern;
            EXPECT_TRUE(name != "." && name != "..") << pattern;
        }
        // The scan ended, and no name was looked for twice.
        const std::set<std::string> once(notes.resolved.begin(), notes.resolved.end());
        EXPECT_EQ(once.size(), notes.resolved.size());
    }
}

// Without cleanup a scan adds to the earlier lists (directories only where new) and
// reports them all; a module that is no image reports only its message. Each scan
// lists its directories afresh: a DLL copied in after a scan missed it is found.
TEST(Scan, ListsCarryOverWithoutCleanupAndDirectoriesAreListedAfresh) {
    test::TempDir temp;
    test::FakePlatform platform;
    platform.systemDirectory = temp.Dir("sys");
    temp.Write("sys/one.dll", Pe());
    temp.Write("sys/two.dll", Pe());
    const std::string tail = "|$sys/one.dll#1|$sys/two.dll#3" + NF + "gone.dll";
    const struct {
        std::string module;
        bool cleanup;
        std::string report;
        size_t directories;
        const char* added = nullptr;  // a module written into sys/ before the scan
    } steps[] = {
        {temp.Write("a/first.exe", Pe("one.dll gone.dll")), false,
         "|$sys/one.dll#1" + NF + "gone.dll", 2},
        {temp.Write("b/second.exe", Pe("two.dll")), false, tail, 3},
        {temp.Write("c/failed.exe",
                    PeBuilder().Import("x.dll").Patch(PeBuilder::kImportRva, 0).Build()),
         false, "|*** SCAN FAILED ***" + tail, 4},
        {temp.Write("c/text.exe", kText), false, "|*** INVALID NT SIGNATURE ***", 4},
        {"", false, "|*** INVALID NT SIGNATURE ***|No Windows module specified", 4},
        {temp.File("b/second.exe"), true, "|$sys/two.dll#1", 2},
        {temp.Write("d/late.exe", Pe("late.dll")), true, NF + "late.dll", 2},
        {temp.File("d/late.exe"), true, "|$sys/late.dll#1", 2, "sys/late.dll"},
    };
    CReferenceScanner scanner(platform);
    CReportLines sink;
    for (const auto& step : steps) {
        if (step.added) temp.Write(step.added, Pe());
        scanner.Scan(step.module, "", step.cleanup, sink);
        EXPECT_EQ(Joined(sink.Lines()), Local(temp, step.report)) << step.module;
        EXPECT_EQ(scanner.SearchDirectories().size(), step.directories) << step.module;
    }
    EXPECT_EQ(platform.beginScanCalls, 7);
}

}  // namespace
}  // namespace kivrel
