// The command line itself: usage errors, --help, --version, and the inputs
// that end in a single message line.
#include <gtest/gtest.h>

#include "scan_runner.h"

namespace kivrel::test {
namespace {

struct UsageCase {
    std::vector<std::string> args;
    const char* message;  // expected on standard error
};

TEST(CliUsage, UsageErrorsExitTwoWithAMessageAndNoReport) {
    const UsageCase cases[] = {
        {{}, "no MODULE given"},
        {{"--json"}, "no MODULE given"},
        {{"--bogus", "a.exe"}, "unknown option --bogus"},
        {{"-x", "a.exe"}, "unknown option -x"},
        {{"a.exe", "b.exe"}, "more than one MODULE given: 'a.exe' and 'b.exe'"},
        {{"a.exe", "--path"}, "option --path needs a value"},
        {{"--initial-dir"}, "option --initial-dir needs a value"},
        {{"--json=yes", "a.exe"}, "option --json takes no value"},
        {{"--verbose=1", "a.exe"}, "option --verbose takes no value"},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE(c.message);
        const ProcessResult run = RunScan(c.args);
        ASSERT_TRUE(run.started) << run.startError;
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(std::string("kivrel-scan: ") + c.message), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("kivrel-scan --help"), std::string::npos) << run.err;
    }
}

TEST(CliUsage, OptionValuesMayFollowAnEqualsSignAndModulesMayFollowDoubleDash) {
    KIVREL_REQUIRE_FIXTURES();
    const std::string text = fixtures::Path({"text", "notes.txt"});
    // "--" ends the options, so a module may begin with '-'; here it only
    // proves that what follows is taken as the module.
    const ProcessResult run = RunScan({"--path=", "--system-dir=", "--", text});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.out, "*** INVALID NT SIGNATURE ***\n");
    EXPECT_EQ(run.exitCode, 1);
}

TEST(CliUsage, HelpNamesEveryOptionAndExitsZero) {
    const ProcessResult run = RunScan({"--help"});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("Usage: kivrel-scan", 0), 0u) << run.out;
    for (const char* option : {"--initial-dir DIR", "--system-dir DIR", "--windows-dir DIR",
                               "--path LIST", "--json", "--verbose", "--help", "--version"}) {
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
    }
    // --help wins over a missing module and over other options.
    const ProcessResult withModule = RunScan({"--json", "--help", "x.exe"});
    EXPECT_EQ(withModule.exitCode, 0);
    EXPECT_EQ(withModule.out, run.out);
}

TEST(CliUsage, VersionPrintsTheProductVersion) {
    const ProcessResult run = RunScan({"--version"});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "kivrel-scan 1.3.0.1\n");
    EXPECT_EQ(run.err, "");
}

// Inputs that end in a single message line and exit status 1: an empty
// module; a text file, a text file named like a DLL, a missing file and a
// directory (no PE image); the stand-in kernel32.dll, whose import directory
// holds only the terminating descriptor.
TEST(CliUsage, MessageOnlyInputsExitOne) {
    KIVREL_REQUIRE_FIXTURES();
    const std::pair<std::string, const char*> cases[] = {
        {"", "No Windows module specified"},
        {fixtures::Path({"text", "notes.txt"}), "*** INVALID NT SIGNATURE ***"},
        {fixtures::Path({"first", "broken.dll"}), "*** INVALID NT SIGNATURE ***"},
        {fixtures::Path({"text", "absent.exe"}), "*** INVALID NT SIGNATURE ***"},
        {fixtures::Path({"cycle"}), "*** INVALID NT SIGNATURE ***"},
        {fixtures::Path({"sys", "kernel32.dll"}), "No referencies"},
    };
    for (const auto& [module, message] : cases) {
        SCOPED_TRACE(module);
        const ProcessResult run = RunScan({"--system-dir", "", "--path", "", module});
        ASSERT_TRUE(run.started) << run.startError;
        EXPECT_EQ(run.out, std::string(message) + "\n");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "");
    }
}

}  // namespace
}  // namespace kivrel::test
