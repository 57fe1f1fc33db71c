// kivrel-scan's loader options as a user meets them: the report, the exit
// status and standard error for a program that imports an API set and
// delay-loads a missing DLL, and the new facts in JSON.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api_set_writer.h"
#include "json_value.h"
#include "pe_writer.h"
#include "scan_runner.h"
#include "temp_dir.h"

namespace kivrel::test {
namespace {

class CliLoaderTest : public testing::Test {
protected:
    CliLoaderTest() {
        sys = temp.MakeDir("sys");
        empty = temp.MakeDir("empty");
        temp.Write("sys/apisetschema.dll",
                   BuildApiSetSchemaDll(
                       BuildApiSetSection(6, {{"api-ms-win-crt-stdio-l1-1-0", {"ucrtbase.dll"}}})));
        temp.Write("sys/ucrtbase.dll", PeBuilder().Pe32Plus().Dll().Build());
        module = temp.Write("app/tool.exe", PeBuilder()
                                                .Pe32Plus()
                                                .Import("api-ms-win-crt-stdio-l1-1-0.dll")
                                                .DelayImport("later.dll")
                                                .Build());
    }
    ProcessResult Run(std::vector<std::string> options, const std::string& systemDir) {
        std::vector<std::string> args{"--system-dir", systemDir, "--windows-dir", "", "--path", ""};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(module);
        return RunScan(args);
    }

    TempDir temp;
    std::string sys, empty, module;
};

TEST_F(CliLoaderTest, ReportExitStatusAndNotes) {
    const std::string hint =
        "kivrel-scan: 1 unresolved name is an API set (api-*, ext-*); --api-sets maps them to "
        "their host DLLs";
    const std::string noSchema = "kivrel-scan: no API set schema (" + empty +
                                 "apisetschema.dll: no such file); API set names are looked up "
                                 "as files";
    const struct {
        std::vector<std::string> options;
        bool emptySystemDir;
        std::vector<std::string> lines;
        int exitCode;
        std::vector<std::string> err;
    } cases[] = {
        {{},
         false,
         {"", "*** NOT FOUND or INCORRECT ***", "", "api-ms-win-crt-stdio-l1-1-0.dll"},
         1,
         {hint}},
        {{"--api-sets"},
         false,
         {sys + "ucrtbase.dll", "", "*** API SETS ***", "",
          "api-ms-win-crt-stdio-l1-1-0.dll => ucrtbase.dll"},
         0,
         {}},
        // A DLL needed only through delay-loading does not fail the scan.
        {{"--loader"},
         false,
         {sys + "ucrtbase.dll", "", "*** API SETS ***", "",
          "api-ms-win-crt-stdio-l1-1-0.dll => ucrtbase.dll", "",
          "*** NOT FOUND (delay-load only) ***", "", "later.dll"},
         0,
         {}},
        {{"--api-sets"},
         true,
         {"", "*** NOT FOUND or INCORRECT ***", "", "api-ms-win-crt-stdio-l1-1-0.dll"},
         1,
         {noSchema}},
    };
    for (const auto& c : cases) {
        const ProcessResult run = Run(c.options, c.emptySystemDir ? empty : sys);
        const std::string what = c.options.empty() ? "default" : c.options[0];
        EXPECT_EQ(SplitLines(run.out), c.lines) << what;
        EXPECT_EQ(run.exitCode, c.exitCode) << what;
        // Standard error ends its lines in CRLF on Windows.
        std::vector<std::string> err = SplitLines(run.err);
        for (std::string& line : err) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
        }
        EXPECT_EQ(err, c.err) << what;
    }
}

TEST_F(CliLoaderTest, JsonCarriesHostAndDelayLoadOnly) {
    const ProcessResult run = Run({"--loader", "--json"}, sys);
    JsonValue document;
    std::string error;
    ASSERT_TRUE(ParseJson(run.out, document, error)) << error << "\n" << run.out;
    std::vector<std::string> facts;
    for (const JsonValue& entry : document.Find("references")->items) {
        std::string fact = entry.Find("name")->text + " " + entry.Find("state")->text;
        if (const JsonValue* host = entry.Find("host")) fact += " host " + host->text;
        if (const JsonValue* delay = entry.Find("delayLoadOnly")) {
            fact += delay->boolean ? " delay-load only" : " not delay-load only";
        }
        facts.push_back(fact);
    }
    EXPECT_EQ(facts, (std::vector<std::string>{
                         "api-ms-win-crt-stdio-l1-1-0.dll api-set host ucrtbase.dll",
                         "later.dll not-found delay-load only", "ucrtbase.dll found"}));
    EXPECT_EQ(document.Find("exitStatus")->number, 0);
}

TEST_F(CliLoaderTest, LoaderOptionsTakeNoValue) {
    for (const char* option : {"--loader=1", "--api-sets=yes", "--delay-load=0"}) {
        const ProcessResult run = RunScan({option, module});
        EXPECT_EQ(run.exitCode, 2) << option;
        EXPECT_NE(run.err.find("takes no value"), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace kivrel::test
