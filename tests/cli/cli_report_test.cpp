// The default output of kivrel-scan on the fixture chains: exactly the report
// lines, and the exit status they imply; where the search directories come
// from (options, %NAME% in the path list, the environment).
#include <gtest/gtest.h>

#include "scan_runner.h"

namespace kivrel::test {
namespace {

void ExpectReport(const ProcessResult& run, const Scenario& scenario) {
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(SplitLines(run.out), scenario.lines) << run.out;
    // One line per line: every line, the last included, ends in "\n" alone.
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_EQ(run.exitCode, scenario.exitCode);
    EXPECT_EQ(run.err, "");
}

// The chain is found and grouped by directory in search order; a name found
// nowhere follows the heading and the exit status is 1; a self import and an
// import cycle resolve each module once; a non-PE file in an earlier
// directory does not hide the real module; the path list expands %NAME%
// (two references in one element) and skips empty elements and missing
// directories. Only an EXE adds its own directory: liba.dll's neighbour
// libb.dll is found only when chain/lib is searched for another reason.
TEST(CliReport, FixtureScenarios) {
    KIVREL_REQUIRE_FIXTURES();
    const std::string sep(1, fixtures::kSeparator);
    const std::string liba = Path({"chain", "lib", "liba.dll"});
    const std::vector<EnvChange> env{{"KIVREL_TEST_TREE", Path({})},
                                     {"KIVREL_TEST_LEAF", "second"}};
    const Scenario scenarios[] = {
        ChainScenario(),
        MissingScenario(),
        CycleScenario(),
        DirsScenario(),
        DirsScenario("%KIVREL_TEST_TREE%" + sep + "%KIVREL_TEST_LEAF%"),
        DirsScenario(";" + Path({"nowhere"}) + ";;" + Path({"second"}) + ";"),
        {{"--system-dir", Path({"sys"}), "--windows-dir", "", "--path", "", liba},
         {Dir({"sys"}) + "msvcrt.dll", "", "*** NOT FOUND or INCORRECT ***", "", "libb.dll"},
         1},
        {{"--initial-dir", Path({"chain", "lib"}), "--system-dir", Path({"sys"}), "--windows-dir",
          "", "--path", "", liba},
         {Dir({"chain", "lib"}) + "libb.dll", Dir({"sys"}) + "msvcrt.dll",
          Dir({"sys"}) + kKernel32Line},
         0},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.args.back() + " with " + scenario.args[scenario.args.size() - 2]);
        ExpectReport(RunScan(scenario.args, env), scenario);
    }
}

TEST(CliReport, VerboseWritesProgressToStandardErrorOnly) {
    KIVREL_REQUIRE_FIXTURES();
    const Scenario scenario = ChainScenario();
    std::vector<std::string> args = scenario.args;
    args.insert(args.begin(), "--verbose");
    const ProcessResult run = RunScan(args);
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(SplitLines(run.out), scenario.lines);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("search directories:"), std::string::npos) << run.err;
    for (const std::string& directory :
         {Dir({"chain", "bin"}), Dir({"chain", "lib"}), Dir({"sys"})}) {
        EXPECT_NE(run.err.find(directory), std::string::npos) << directory << "\n" << run.err;
    }
    for (const char* name : {"liba.dll", "libb.dll", "KERNEL32.dll", "msvcrt.dll"}) {
        EXPECT_NE(run.err.find(std::string("resolving ") + name), std::string::npos) << name << "\n"
                                                                                     << run.err;
    }
}

#ifndef _WIN32
TEST(CliReport, EnvironmentStandsInForTheWindowsDirectoriesOnLinux) {
    KIVREL_REQUIRE_FIXTURES();
    // KIVREL_SYSTEM_DIR replaces --system-dir, WINEPATH replaces --path.
    const Scenario chain = ChainScenario();
    const std::vector<std::string> args{"--initial-dir", Path({"chain", "lib"}),
                                        Path({"chain", "bin", "app.exe"})};
    ExpectReport(RunScan(args, {{"KIVREL_SYSTEM_DIR", Path({"sys"})}}), chain);
    ExpectReport(RunScan(args, {{"KIVREL_WINDOWS_DIR", Path({"sys"})}}), chain);
    ExpectReport(
        RunScan(args, {{"WINEPATH", "%KIVREL_TEST_SYS%"}, {"KIVREL_TEST_SYS", Path({"sys"})}}),
        chain);

    // The options win over the variables.
    std::vector<std::string> withOptions = chain.args;
    ExpectReport(RunScan(withOptions, {{"KIVREL_SYSTEM_DIR", Path({"nowhere"})},
                                       {"KIVREL_WINDOWS_DIR", Path({"cycle"})},
                                       {"WINEPATH", Path({"missing"})}}),
                 chain);
}
#else
TEST(CliReport, PathVariableIsThePathStepOnWindows) {
    KIVREL_REQUIRE_FIXTURES();
    // Without --path the PATH of the process is split; here it names only
    // the second directory (the child still starts: it needs only system DLLs).
    Scenario scenario = DirsScenario();
    std::vector<std::string> args{
        "--initial-dir",           Path({"first"}), "--system-dir", "", "--windows-dir", "",
        Path({"dirs", "dirs.exe"})};
    ExpectReport(RunScan(args, {{"PATH", Path({"second"})}}), scenario);
}
#endif

}  // namespace
}  // namespace kivrel::test
