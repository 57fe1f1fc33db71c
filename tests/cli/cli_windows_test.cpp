// Under Wine only: kivrel-scan.exe with the system's own directories.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "json_value.h"
#include "scan_runner.h"

namespace kivrel::test {
namespace {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

std::string SystemDirectory() {
    char buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    return std::string(buffer, length) + "\\";
}

JsonValue Parse(const ProcessResult& run) {
    JsonValue document;
    std::string error;
    EXPECT_TRUE(ParseJson(run.out, document, error)) << error << "\n" << run.out;
    return document;
}

TEST(CliWindows, DefaultSystemDirectoryHoldsTheSystemModules) {
    KIVREL_REQUIRE_FIXTURES();
    const ProcessResult run = RunScan({"--json", "--initial-dir", fixtures::Path({"chain", "lib"}),
                                       fixtures::Path({"chain", "bin", "app.exe"})});
    ASSERT_TRUE(run.started) << run.startError;
    const JsonValue document = Parse(run);
    ASSERT_EQ(document.kind, JsonValue::OBJECT);
    const JsonValue& directories = *document.Find("searchDirectories");
    ASSERT_GE(directories.items.size(), 3u);
    EXPECT_EQ(directories.items[0].text, fixtures::Dir({"chain", "bin"}));
    EXPECT_EQ(directories.items[1].text, fixtures::Dir({"chain", "lib"}));
    EXPECT_TRUE(EqualsNoCase(directories.items[2].text, SystemDirectory()))
        << directories.items[2].text;

    // app.exe's own chain is in chain\lib; KERNEL32.dll and msvcrt.dll come
    // from Wine's system directory, whatever those import in turn.
    const std::vector<std::string> lines =
        SplitLines(RunScan({"--initial-dir", fixtures::Path({"chain", "lib"}),
                            fixtures::Path({"chain", "bin", "app.exe"})})
                       .out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], fixtures::Dir({"chain", "lib"}) + "liba.dll");
    EXPECT_EQ(lines[1], fixtures::Dir({"chain", "lib"}) + "libb.dll");
    for (const char* name : {"KERNEL32.dll", "msvcrt.dll"}) {
        bool found = false;
        for (const std::string& line : lines) {
            found = found || EqualsNoCase(line, directories.items[2].text + name);
        }
        EXPECT_TRUE(found) << name << "\n" << run.out;
    }
}

TEST(CliWindows, KivrelScanItselfNeedsOnlySystemModules) {
    // The Windows builds link their runtimes statically: scanning our own exe
    // with the system's directories finds everything, nothing beside the exe.
    const ProcessResult run = RunScan({"--json", KIVREL_SCAN_PATH});
    ASSERT_TRUE(run.started) << run.startError;
    const JsonValue document = Parse(run);
    ASSERT_EQ(document.kind, JsonValue::OBJECT);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const JsonValue& directories = *document.Find("searchDirectories");
    for (const JsonValue& reference : document.Find("references")->items) {
        const std::string& name = reference.Find("name")->text;
        SCOPED_TRACE(name);
        EXPECT_EQ(reference.Find("state")->text, "found");
        // Directory 0 is the exe's own directory: nothing may come from there.
        EXPECT_NE(reference.Find("directoryIndex")->number, 0);
    }
    ASSERT_FALSE(directories.items.empty());
}

}  // namespace
}  // namespace kivrel::test
