// kivrel-scan --json: one valid document whose lines are the default output
// and whose references and search directories explain every line.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "json_value.h"
#include "scan_runner.h"

namespace kivrel::test {
namespace {

// Runs kivrel-scan --json and parses the document; fails the test when it is
// not valid JSON (natively python3 checks it too, independently).
JsonValue RunJson(const std::vector<std::string>& args, ProcessResult& run,
                  const std::vector<EnvChange>& env = {}) {
    std::vector<std::string> argv{"--json"};
    argv.insert(argv.end(), args.begin(), args.end());
    run = RunScan(argv, env);
    JsonValue document;
    std::string error;
    EXPECT_TRUE(run.started) << run.startError;
    EXPECT_TRUE(ParseJson(run.out, document, error)) << error << "\n" << run.out;
    EXPECT_EQ(run.err, "");
#ifdef KIVREL_PYTHON3
    const ProcessResult python =
        RunProcess({KIVREL_PYTHON3, "-c", "import json,sys; json.loads(sys.argv[1])", run.out});
    EXPECT_EQ(python.exitCode, 0) << python.err;
#endif
    return document;
}

std::vector<std::string> Texts(const JsonValue& array, const char* member = nullptr) {
    std::vector<std::string> texts;
    for (const JsonValue& item : array.items) {
        const JsonValue* value = member ? item.Find(member) : &item;
        texts.push_back(value ? value->text : "<missing>");
    }
    return texts;
}

// Checks the whole document against the plain report of the same scan and
// against its own parts.
void ExpectConsistent(const JsonValue& document, const ProcessResult& run,
                      const Scenario& scenario) {
    ASSERT_EQ(document.kind, JsonValue::OBJECT);
    ASSERT_EQ(document.Keys(), (std::vector<std::string>{"module", "searchDirectories",
                                                         "references", "lines", "exitStatus"}));
    EXPECT_EQ(document.Find("module")->text, scenario.args.back());
    const JsonValue& lines = *document.Find("lines");
    const JsonValue& references = *document.Find("references");
    const JsonValue& directories = *document.Find("searchDirectories");
    EXPECT_EQ(Texts(lines, "text"), scenario.lines);
    EXPECT_EQ(document.Find("exitStatus")->number, scenario.exitCode);
    EXPECT_EQ(run.exitCode, scenario.exitCode);

    // A found module's line value is its reference index + 1, and its text is
    // that reference's path, in its directory; every other line has value 0.
    for (const JsonValue& line : lines.items) {
        const std::string& text = line.Find("text")->text;
        const double value = line.Find("value")->number;
        SCOPED_TRACE(text);
        if (value == 0) continue;
        ASSERT_GE(value, 1);
        ASSERT_LE(value, references.items.size());
        const JsonValue& reference = references.items[static_cast<size_t>(value) - 1];
        EXPECT_EQ(reference.Find("state")->text, "found");
        EXPECT_EQ(reference.Find("stateValue")->number, 3);
        const double index = reference.Find("directoryIndex")->number;
        ASSERT_LT(index, directories.items.size());
        EXPECT_EQ(reference.Find("path")->text, text);
        EXPECT_EQ(text.rfind(directories.items[static_cast<size_t>(index)].text, 0), 0u);
    }
    // The plain run gives the same lines.
    const ProcessResult plain = RunScan(scenario.args);
    EXPECT_EQ(SplitLines(plain.out), Texts(lines, "text"));
    EXPECT_EQ(plain.exitCode, run.exitCode);
}

// Message-only reports are documents too, with no references.
TEST(CliJson, DocumentsMatchThePlainReport) {
    KIVREL_REQUIRE_FIXTURES();
    const Scenario scenarios[] = {
        ChainScenario(),
        MissingScenario(),
        CycleScenario(),
        {{"--system-dir", "", "--path", "", ""}, {"No Windows module specified"}, 1},
        {{"--system-dir", "", "--path", "", Path({"text", "notes.txt"})},
         {"*** INVALID NT SIGNATURE ***"},
         1},
        {{"--system-dir", "", "--path", "", Path({"sys", "msvcrt.dll"})}, {"No referencies"}, 1},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.args.back());
        ProcessResult run;
        const JsonValue document = RunJson(scenario.args, run);
        ExpectConsistent(document, run, scenario);
        EXPECT_EQ(document.Find("references")->items.empty(), scenario.lines.size() == 1);
    }
}

TEST(CliJson, ReferencesRecordStateAndDirectoryOfEachName) {
    KIVREL_REQUIRE_FIXTURES();
    const Scenario scenario = DirsScenario();
    ProcessResult run;
    const JsonValue document = RunJson(scenario.args, run);
    ExpectConsistent(document, run, scenario);
    EXPECT_EQ(Texts(*document.Find("searchDirectories")),
              (std::vector<std::string>{Dir({"dirs"}), Dir({"first"}), Dir({"second"})}));

    // name: state, stateValue, directoryIndex
    const std::map<std::string, std::tuple<std::string, double, double>> expected{
        {"only2.dll", {"found", 3, 2}},
        {"shadow.dll", {"found", 3, 2}},  // after the text file in directory 1
        {"firstonly.dll", {"found", 3, 1}},
        {"bare.dll", {"found", 3, 2}},        // imported as "bare", replaced by the file name
        {"broken.dll", {"incorrect", 2, 1}},  // only a text file, in directory 1
    };
    const JsonValue& references = *document.Find("references");
    ASSERT_EQ(references.items.size(), expected.size());
    for (const JsonValue& reference : references.items) {
        const std::string& name = reference.Find("name")->text;
        SCOPED_TRACE(name);
        ASSERT_EQ(expected.count(name), 1u);
        EXPECT_EQ(
            std::make_tuple(reference.Find("state")->text, reference.Find("stateValue")->number,
                            reference.Find("directoryIndex")->number),
            expected.at(name));
    }
    // The extension-less import was replaced, so it moved to the end.
    EXPECT_EQ(references.items.back().Find("name")->text, "bare.dll");
}

// An undefined reference in the path list stays literal and finds nothing.
TEST(CliJson, UndefinedPathReferenceIsListedLiterally) {
    KIVREL_REQUIRE_FIXTURES();
    Scenario scenario = DirsScenario("%KIVREL_TEST_UNDEFINED%");
    scenario.lines = {"", "*** NOT FOUND or INCORRECT ***", "", "only2.dll"};
    ProcessResult run;
    const JsonValue document =
        RunJson(scenario.args, run, {{"KIVREL_TEST_UNDEFINED", std::nullopt}});
    ExpectConsistent(document, run, scenario);
    const std::string sep(1, fixtures::kSeparator);
    EXPECT_EQ(
        Texts(*document.Find("searchDirectories")),
        (std::vector<std::string>{Dir({"dirs"}), Dir({"first"}), "%KIVREL_TEST_UNDEFINED%" + sep}));
    const JsonValue& references = *document.Find("references");
    ASSERT_EQ(references.items.size(), 1u);
    EXPECT_EQ(references.items[0].Find("state")->text, "not-found");
    EXPECT_EQ(references.items[0].Find("directoryIndex")->number, 0);
}

TEST(CliJson, StringsRoundTripQuotesBackslashesAndHighBytes) {
    // The module is echoed: a name no file has, with the characters JSON must
    // escape. Under Wine the command line goes through the code page, so the
    // high byte is only tried natively.
    std::string module = "no such \"module\" \\ \t dir";
#ifndef _WIN32
    module += "\xE9\x01.dll";
#endif
    ProcessResult run;
    const JsonValue document = RunJson({"--system-dir", "", "--path", "", module}, run);
    ASSERT_EQ(document.kind, JsonValue::OBJECT);
    EXPECT_EQ(document.Find("module")->text, module);
    EXPECT_EQ(run.exitCode, 1);
}

}  // namespace
}  // namespace kivrel::test
