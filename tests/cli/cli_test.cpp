// kivrel-scan through the command's own entry point: tables of command lines
// with their exact output, exit status and standard error, on the fixture tree
// and on an installation written for the test; the option parser and the JSON
// writer against expected values; one run of the built program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "api_set_writer.h"
#include "fixture_paths.h"
#include "json_writer.h"
#include "options.h"
#include "pe_writer.h"
#include "scan_command.h"
#include "temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace kivrel::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::Dir;
using fixtures::Path;
using Env = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct Outcome {
    int status;
    std::string out, err;
};

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
#endif
}

// Runs the command with `env` set; natively the variables that choose search
// directories behind a test's back are removed first. The environment is
// restored afterwards.
Outcome RunCommand(const std::vector<std::string>& args, const Env& env = {}) {
    Env changes{{"KIVREL_SYSTEM_DIR", std::nullopt}, {"KIVREL_WINDOWS_DIR", std::nullopt},
                {"WINEPATH", std::nullopt}};
#ifdef _WIN32
    changes.clear();
#endif
    changes.insert(changes.end(), env.begin(), env.end());
    Env saved;
    for (const auto& [name, value] : changes) {
        const char* old = std::getenv(name.c_str());
        saved.emplace(saved.begin(), name, old ? std::optional<std::string>(old) : std::nullopt);
        SetEnv(name, value);
    }
    std::ostringstream out, err;
    const int status = RunScanCommand(args, out, err);
    for (const auto& [name, value] : saved) SetEnv(name, value);
    return {status, out.str(), err.str()};
}

// Standard error holds each of `parts`; with none it is empty.
void ExpectErr(const std::string& err, const std::vector<std::string>& parts) {
    if (parts.empty()) {
        EXPECT_EQ(err, "");
    }
    for (const std::string& part : parts)
        EXPECT_NE(err.find(part), std::string::npos) << part << " in\n" << err;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    return text;
}

// The search directories given as options: nothing else is searched.
std::vector<std::string> Scan(std::vector<std::string> args, const std::string& system = "",
                              const std::string& path = "") {
    const std::string module = args.back();
    args.pop_back();
    args.insert(args.end(), {"--system-dir", system, "--windows-dir", "", "--path", path, module});
    return args;
}

const std::string kHeading = "*** NOT FOUND or INCORRECT ***";
const std::string kInvalid = "*** INVALID NT SIGNATURE ***";
// The imports name "KERNEL32.dll"; where names are case-sensitive the report
// names the file as it is on disk.
#ifdef _WIN32
const std::string kKernel32 = "KERNEL32.dll";
#else
const std::string kKernel32 = "kernel32.dll";
#endif

// dirs.exe -> only2.dll -> shadow.dll -> firstonly.dll -> "bare", and
// shadow.dll -> broken.dll. The first directory holds firstonly.dll and text
// files named shadow.dll and broken.dll; the second the real modules.
// firstonly.dll is listed first although found later; "bare" is reported
// under the file's name.
std::vector<std::string> DirsReport() {
    return {Dir({"first"}) + "firstonly.dll", Dir({"second"}) + "only2.dll",
            Dir({"second"}) + "shadow.dll",   Dir({"second"}) + "bare.dll",
            "",
            kHeading,
            "",
            "broken.dll"};
}

TEST(Cli, FixtureScenarios) {
    KIVREL_REQUIRE_FIXTURES();
    const std::string sep(1, fixtures::kSeparator);
    const std::string app = Path({"chain", "bin", "app.exe"});
    const std::string dirs = Path({"dirs", "dirs.exe"});
    const std::string firstDir = Path({"first"});
    const std::vector<std::string> chain{Dir({"chain", "lib"}) + "liba.dll",
                                         Dir({"chain", "lib"}) + "libb.dll",
                                         Dir({"sys"}) + kKernel32, Dir({"sys"}) + "msvcrt.dll"};
    const std::vector<std::string> chainArgs =
        Scan({"--initial-dir", Path({"chain", "lib"}), app}, Path({"sys"}));
    [[maybe_unused]] const std::vector<std::string> chainWithout{"--initial-dir", Path({"chain", "lib"}), app};
    std::vector<std::string> verbose = chainArgs;
    verbose.insert(verbose.begin(), "--verbose");
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> out;  // the exact lines of standard output
        int status;
        std::vector<std::string> err = {};
        Env env = {};
    } scenarios[] = {
        // clang-format off
        {"chain", chainArgs, chain, 0},
        {"missing", Scan({Path({"missing", "usesghost.exe"})}, Path({"sys"})),
         {Dir({"missing"}) + "needsghost.dll", Dir({"sys"}) + kKernel32, Dir({"sys"}) + "msvcrt.dll", "", kHeading, "", "ghost.dll"}, 1},
        {"cycle and self import", Scan({Path({"cycle", "loop.exe"})}),
         {Dir({"cycle"}) + "ping.dll", Dir({"cycle"}) + "pong.dll", Dir({"cycle"}) + "self.dll"}, 0},
        {"two directories", Scan({"--initial-dir", firstDir, dirs}, "", Path({"second"})), DirsReport(), 1},
        {"%NAME% in the path list", Scan({"--initial-dir", firstDir, dirs}, "", "%KV_TREE%" + sep + "%KV_LEAF%"),
         DirsReport(), 1, {}, {{"KV_TREE", Path({})}, {"KV_LEAF", "second"}}},
        {"empty and missing path elements",
         Scan({"--initial-dir", firstDir, dirs}, "", ";" + Path({"nowhere"}) + ";;" + Path({"second"}) + ";"), DirsReport(), 1},
        {"undefined %NAME% stays literal", Scan({"--initial-dir", firstDir, dirs}, "", "%KV_UNDEFINED%"),
         {"", kHeading, "", "only2.dll"}, 1, {}, {{"KV_UNDEFINED", std::nullopt}}},
        // Only an EXE adds its own directory.
        {"a DLL's directory is not searched", Scan({Path({"chain", "lib", "liba.dll"})}, Path({"sys"})),
         {Dir({"sys"}) + "msvcrt.dll", "", kHeading, "", "libb.dll"}, 1},
        {"verbose", verbose, chain, 0, {"search directories:\n", "  0: " + Dir({"chain", "bin"}) + "\n",
         "  2: " + Dir({"sys"}) + "\n", "resolving liba.dll\n", "resolving msvcrt.dll\n"}},
        {"module after --", {"--path=", "--system-dir=", "--", Path({"text", "notes.txt"})}, {kInvalid}, 1},
        {"module \"-\"", {"--system-dir", "", "--path", "", "-"}, {kInvalid}, 1},
        {"no module", Scan({""}), {"No Windows module specified"}, 1},
        {"text file", Scan({Path({"text", "notes.txt"})}), {kInvalid}, 1},
        {"text file named like a DLL", Scan({Path({"first", "broken.dll"})}), {kInvalid}, 1},
        {"missing file", Scan({Path({"text", "absent.exe"})}), {kInvalid}, 1},
        {"directory", Scan({Path({"cycle"})}), {kInvalid}, 1},
        {"no imports", Scan({Path({"sys", "kernel32.dll"})}), {"No referencies"}, 1},
        {"version", {"--version"}, {"kivrel-scan 1.3.0.1"}, 0},
        {"no MODULE", {"--json"}, {}, 2, {"kivrel-scan: no MODULE given\n", "kivrel-scan --help"}},
        {"unknown option", {"--bogus", "a.exe"}, {}, 2, {"kivrel-scan: unknown option --bogus\n"}},
        {"unknown short option", {"-x", "a.exe"}, {}, 2, {"kivrel-scan: unknown option -x\n"}},
        {"two modules", {"a.exe", "b.exe"}, {}, 2, {"kivrel-scan: more than one MODULE given: 'a.exe' and 'b.exe'\n"}},
        {"value missing", {"a.exe", "--path"}, {}, 2, {"kivrel-scan: option --path needs a value\n"}},
        {"value given to a switch", {"--loader=1", "a.exe"}, {}, 2, {"kivrel-scan: option --loader takes no value\n"}},
#ifndef _WIN32
        // Elsewhere than Windows the environment stands in for the options.
        {"KIVREL_SYSTEM_DIR", chainWithout, chain, 0, {}, {{"KIVREL_SYSTEM_DIR", Path({"sys"})}}},
        {"KIVREL_WINDOWS_DIR", chainWithout, chain, 0, {}, {{"KIVREL_WINDOWS_DIR", Path({"sys"})}}},
        {"WINEPATH", chainWithout, chain, 0, {}, {{"WINEPATH", "%KV_SYS%"}, {"KV_SYS", Path({"sys"})}}},
        {"options win over the environment", chainArgs, chain, 0, {},
         {{"KIVREL_SYSTEM_DIR", Path({"nowhere"})}, {"KIVREL_WINDOWS_DIR", Path({"cycle"})}, {"WINEPATH", Path({"missing"})}}},
#else
        {"PATH is the path step", {"--initial-dir", firstDir, "--system-dir", "", "--windows-dir", "", dirs},
         DirsReport(), 1, {}, {{"PATH", Path({"second"})}}},
#endif
        // clang-format on
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const Outcome run = RunCommand(scenario.args, scenario.env);
        EXPECT_EQ(run.status, scenario.status);
        EXPECT_EQ(run.out, Lines(scenario.out));
        ExpectErr(run.err, scenario.err);
    }
}

TEST(Cli, HelpWinsOverTheModuleAndOtherOptions) {
    const Outcome run = RunCommand({"--json", "--help", "x.exe"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, UsageText());
    EXPECT_EQ(run.err, "");
}

TEST(Cli, AReportThatCannotBeWrittenIsAFailure) {
    KIVREL_REQUIRE_FIXTURES();
    std::ostringstream out, err;
    out.setstate(std::ios::badbit);
    EXPECT_EQ(RunScanCommand(Scan({Path({"cycle", "loop.exe"})}), out, err), 2);
    EXPECT_EQ(err.str(), "kivrel-scan: cannot write the report\n");
}

std::string Json(const std::string& text) {
    std::ostringstream out;
    WriteJsonString(out, text);
    return out.str();
}

TEST(Cli, JsonDocumentExplainsEveryLine) {
    KIVREL_REQUIRE_FIXTURES();
    const std::string dirs = Path({"dirs", "dirs.exe"});
    const Outcome run =
        RunCommand(Scan({"--json", "--initial-dir", Path({"first"}), dirs}, "", Path({"second"})));
    EXPECT_EQ(run.status, 1);
    auto line = [](const std::string& text, int value) {
        return "{\"text\": " + Json(text) + ", \"value\": " + std::to_string(value) + "}";
    };
    // A found reference also gives the path its report line shows.
    auto ref = [](const std::string& name, const char* state, int value, int directory,
                  const std::string& found) {
        return "    {\"name\": \"" + name + "\", \"state\": \"" + state +
               "\", \"stateValue\": " + std::to_string(value) +
               ", \"directoryIndex\": " + std::to_string(directory) +
               (found.empty() ? "" : ", \"path\": " + Json(found + name)) + "}";
    };
    // shadow.dll was first met as a text file in directory 1, then found in 2;
    // broken.dll is only a text file; "bare" became bare.dll and moved to the
    // end of the list.
    const std::string expected =
        "{\n  \"module\": " + Json(dirs) + ",\n  \"searchDirectories\": [\n    " +
        Json(Dir({"dirs"})) + ",\n    " + Json(Dir({"first"})) + ",\n    " +
        Json(Dir({"second"})) + "\n  ],\n  \"references\": [\n" +
        ref("only2.dll", "found", 3, 2, Dir({"second"})) + ",\n" +
        ref("shadow.dll", "found", 3, 2, Dir({"second"})) + ",\n" +
        ref("broken.dll", "incorrect", 2, 1, "") + ",\n" +
        ref("firstonly.dll", "found", 3, 1, Dir({"first"})) + ",\n" +
        ref("bare.dll", "found", 3, 2, Dir({"second"})) + "\n  ],\n  \"lines\": [\n    " +
        line(Dir({"first"}) + "firstonly.dll", 4) + ",\n    " +
        line(Dir({"second"}) + "only2.dll", 1) + ",\n    " +
        line(Dir({"second"}) + "shadow.dll", 2) + ",\n    " +
        line(Dir({"second"}) + "bare.dll", 5) + ",\n    " + line("", 0) + ",\n    " +
        line(kHeading, 0) + ",\n    " + line("", 0) + ",\n    " + line("broken.dll", 0) +
        "\n  ],\n  \"exitStatus\": 1\n}\n";
    EXPECT_EQ(run.out, expected);

    // A message-only report is a document with empty lists.
    EXPECT_EQ(RunCommand({"--format", "json", "--system-dir", "", "--path", "", ""}).out,
              "{\n  \"module\": \"\",\n  \"searchDirectories\": [],\n  \"references\": [],\n"
              "  \"lines\": [\n    {\"text\": \"No Windows module specified\", \"value\": 0}\n"
              "  ],\n  \"exitStatus\": 1\n}\n");
}

TEST(Cli, JsonStringsKeepEveryByte) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain C:\\dir\\a.dll", "\"plain C:\\\\dir\\\\a.dll\""},
        {"\"q\"\n\r\t", "\"\\\"q\\\"\\n\\r\\t\""},
        {std::string("\x01\x1f\x7f\x80\xe9\xff", 6),
         "\"\\u0001\\u001f\\u007f\\u0080\\u00e9\\u00ff\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {" ~", "\" ~\""},
    };
    for (const auto& [text, json] : cases) EXPECT_EQ(Json(text), json);
}

// An installation the PE writer lays out in a temporary directory:
//
//   app/  app.exe -> liba.dll, KERNEL32.dll; liba.dll -> libb.dll, msvcrt.dll
//         bad.exe -> LIBC.DLL (the file is libc.dll)
//         tool.exe -> api-ms-win-crt-stdio-l1-1-0.dll (an API set hosted by
//                     msvcrt.dll); delay-loads later.dll, which exists nowhere
//   lib/  libb.dll -> KERNEL32.dll; libc.dll -> libb.dll, broken.dll, ghost.dll;
//         broken.dll: a text file
//   sys/  KERNEL32.dll, msvcrt.dll, apisetschema.dll
//   empty/
class CliInstallation : public testing::Test {
protected:
    static std::vector<uint8_t> Module(const std::vector<std::string>& imports) {
        test::PeBuilder builder;
        for (const std::string& name : imports) builder.Import(name);
        return builder.Build();
    }
    CliInstallation() {
        temp.Write("app/app.exe", Module({"liba.dll", "KERNEL32.dll"}));
        temp.Write("app/liba.dll", Module({"libb.dll", "msvcrt.dll"}));
        temp.Write("app/bad.exe", Module({"LIBC.DLL"}));
        temp.Write("app/tool.exe", test::PeBuilder()
                                       .Import("api-ms-win-crt-stdio-l1-1-0.dll")
                                       .DelayImport("later.dll")
                                       .Build());
        temp.Write("lib/libb.dll", Module({"KERNEL32.dll"}));
        temp.Write("lib/libc.dll", Module({"libb.dll", "broken.dll", "ghost.dll"}));
        temp.WriteText("lib/broken.dll", "not a module\n");
        temp.Write("sys/KERNEL32.dll", Module({}));
        temp.Write("sys/msvcrt.dll", Module({}));
        temp.Write("sys/apisetschema.dll",
                   test::BuildApiSetSchemaDll(test::BuildApiSetSection(
                       6, {{"api-ms-win-crt-stdio-l1-1-0", {"msvcrt.dll"}}})));
        temp.MakeDir("empty");
    }
    Outcome RunOn(std::vector<std::string> args, const std::string& module,
                  const std::string& system = "sys") {
        args.insert(args.end(), {"--initial-dir", temp.File("lib"), "--system-dir",
                                 temp.File(system), "--windows-dir", "", "--path", "",
                                 temp.File("app/" + module)});
        return RunCommand(args);
    }
    // {app} {bad} {tool}: the modules' paths; {A} {L} {S} {E}: the directories.
    std::string Expand(std::string text) const {
        const std::pair<const char*, std::string> names[] = {
            {"{app}", temp.File("app/app.exe")},   {"{bad}", temp.File("app/bad.exe")},
            {"{tool}", temp.File("app/tool.exe")}, {"{A}", temp.Dir("app")},
            {"{L}", temp.Dir("lib")},              {"{S}", temp.Dir("sys")},
            {"{E}", temp.Dir("empty")},            {"{c}", kLibC}};
        for (const auto& [key, value] : names)
            for (size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, std::string(key).size(), value);
        return text;
    }

    // Paths and copies name a file as it is on disk where names are case-sensitive.
#ifdef _WIN32
    static constexpr const char* kLibC = "LIBC.DLL";
#else
    static constexpr const char* kLibC = "libc.dll";
#endif
    test::TempDir temp;
};

// Each answer's and loader option's exact output and exit status: the tree
// lists imports in table order, expands each module once and with
// --missing-only keeps the branches that lead to an unresolved name; --why
// finds a name written without extension or in another case too; a DLL
// needed only through delay-loading does not fail the scan.
TEST_F(CliInstallation, AnswersAndLoaderOptions) {
    const std::string hint = "kivrel-scan: 1 unresolved name is an API set (api-*, ext-*); "
                             "--api-sets maps them to their host DLLs\n";
    const std::string apiSets = "{S}msvcrt.dll\n\n*** API SETS ***\n\n"
                                "api-ms-win-crt-stdio-l1-1-0.dll => msvcrt.dll\n";
    const std::string unmapped = "\n" + kHeading + "\n\napi-ms-win-crt-stdio-l1-1-0.dll\n";
    // clang-format off
    const struct {
        std::vector<std::string> args;
        const char* module;
        int status;
        std::string err;  // a part of standard error; "" for none at all
        std::string out;
        const char* system = "sys";
    } cases[] = {
        {{"--tree"}, "app.exe", 0, "",
         "app.exe => {app}\n  liba.dll => {A}liba.dll\n    libb.dll => {L}libb.dll\n"
         "      KERNEL32.dll => {S}KERNEL32.dll\n    msvcrt.dll => {S}msvcrt.dll\n"
         "  KERNEL32.dll => {S}KERNEL32.dll (see above)\n"},
        {{"--tree", "--missing-only"}, "bad.exe", 1, "",
         "bad.exe => {bad}\n  LIBC.DLL => {L}{c}\n    broken.dll => incorrect\n"
         "    ghost.dll => not found\n"},
        {{"--missing-only", "--tree"}, "app.exe", 0, "", ""},
        {{"--why", "ghost.dll"}, "bad.exe", 0, "", "bad.exe -> LIBC.DLL -> ghost.dll\n"},
        {{"--why", "kernel32"}, "app.exe", 0, "", "app.exe -> KERNEL32.dll\n"},
        {{"--why", "LIBB.DLL"}, "app.exe", 0, "", "app.exe -> liba.dll -> libb.dll\n"},
        {{"--why", "nothere.dll"}, "app.exe", 1,
         "kivrel-scan: nothere.dll is not among the references of app.exe", ""},
        {{"--format", "ldd"}, "bad.exe", 1, "",
         "LIBC.DLL => {L}{c}\nlibb.dll => {L}libb.dll\nbroken.dll => not found\n"
         "ghost.dll => not found\nKERNEL32.dll => {S}KERNEL32.dll\n"},
        {{"--format=ldd", "--missing-only"}, "bad.exe", 1, "",
         "broken.dll => not found\nghost.dll => not found\n"},
        {{"--missing-only"}, "bad.exe", 1, "", "broken.dll\nghost.dll\n"},
        {{"--tree"}, "../lib/broken.dll", 1, "*** INVALID NT SIGNATURE ***", ""},
        {{"--tree", "--why", "a.dll"}, "app.exe", 2, "cannot be combined", ""},
        {{"--missing-only", "--json"}, "app.exe", 2, "cannot be combined", ""},
        {{"--force"}, "app.exe", 2, "need --copy-to", ""},
        {{"--format", "xml"}, "app.exe", 2, "unknown format 'xml'", ""},
        {{}, "tool.exe", 1, hint, unmapped},
        {{"--api-sets"}, "tool.exe", 0, "", apiSets},
        {{"--loader"}, "tool.exe", 0, "",
         apiSets + "\n*** NOT FOUND (delay-load only) ***\n\nlater.dll\n"},
        {{"--api-sets"}, "tool.exe", 1,
         "kivrel-scan: no API set schema ({E}apisetschema.dll: no such file); API set names "
         "are looked up as files\n", unmapped, "empty"},
        {{"--tree", "--api-sets"}, "tool.exe", 0, "",
         "tool.exe => {tool}\n  api-ms-win-crt-stdio-l1-1-0.dll => api-set msvcrt.dll\n"
         "    msvcrt.dll => {S}msvcrt.dll\n"},
        {{"--why", "msvcrt", "--api-sets"}, "tool.exe", 0, "",
         "tool.exe -> api-ms-win-crt-stdio-l1-1-0.dll -> msvcrt.dll\n"},
        {{"--format", "ldd", "--api-sets"}, "tool.exe", 0, "",
         "api-ms-win-crt-stdio-l1-1-0.dll => {S}msvcrt.dll\nmsvcrt.dll => {S}msvcrt.dll\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE((c.args.empty() ? "" : c.args[0]) + " " + c.module);
        const Outcome run = RunOn(c.args, c.module, c.system);
        EXPECT_EQ(run.out, Expand(c.out));
        EXPECT_EQ(run.status, c.status);
        ExpectErr(run.err, c.err.empty() ? std::vector<std::string>{}
                                         : std::vector<std::string>{Expand(c.err)});
    }
    // JSON tells the API set's host and which names only delay-loading needs.
    const std::string json = RunOn({"--loader", "--json"}, "tool.exe").out;
    for (const char* fact :
         {"\"name\": \"api-ms-win-crt-stdio-l1-1-0.dll\", \"state\": \"api-set\", \"stateValue\": "
          "4, \"directoryIndex\": 0, \"host\": \"msvcrt.dll\"}",
          "\"name\": \"later.dll\", \"state\": \"not-found\", \"stateValue\": 1, "
          "\"directoryIndex\": 0, \"delayLoadOnly\": true}",
          "\"exitStatus\": 0\n"}) {
        EXPECT_NE(json.find(fact), std::string::npos) << fact << " in\n" << json;
    }
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Found modules outside the system directory land in the destination; equal
// files, the sources themselves and excluded directories are left alone; a
// different file is kept unless --force, as is a file whose name differs
// only in case; a destination that cannot be a directory or be written is
// exit 1. Contents are "@FILE" (a copy of FILE) or the text itself.
TEST_F(CliInstallation, CopyToBundlesWhatTheProgramNeeds) {
    const std::string a = "@app/liba.dll", b = "@lib/libb.dll";
    const std::map<std::string, std::string> none;
    // clang-format off
    const struct {
        const char* destination;  // under the installation, or absolute
        std::map<std::string, std::string> before;  // written in out/ first
        std::vector<std::string> args;              // "LIB" stands for lib/
        const char* module;
        int status;
        const char* err;
        std::map<std::string, std::string> after;  // the destination; none: not looked at
    } cases[] = {
        {"out/dist", none, {"--verbose"}, "app.exe", 0, "copied ", {{"liba.dll", a}, {"libb.dll", b}}},
        {"out", none, {}, "bad.exe", 1, "", {{kLibC, "@lib/libc.dll"}, {"libb.dll", b}}},
        {"out", {{"liba.dll", a}}, {"--verbose"}, "app.exe", 0, "unchanged", {{"liba.dll", a}, {"libb.dll", b}}},
        {"out", {{"liba.dll", "mine"}}, {}, "app.exe", 1, "liba.dll differs from", {{"liba.dll", "mine"}, {"libb.dll", b}}},
        {"out", {{"liba.dll", "mine"}}, {"--force"}, "app.exe", 0, "", {{"liba.dll", a}, {"libb.dll", b}}},
        {"out", {{"LIBB.DLL", "mine"}}, {}, "app.exe", 1, "LIBB.DLL differs from", {{"liba.dll", a}, {"LIBB.DLL", "mine"}}},
        {"app", none, {"--exclude-dir", "LIB"}, "app.exe", 0, "", none},
        {"out", none, {"--exclude-dir", "LIB"}, "app.exe", 0, "", {{"liba.dll", a}}},
        {"out/f", {{"f", "x"}}, {}, "app.exe", 1, "not a directory", none},
#ifndef _WIN32
        {"/sys", none, {}, "app.exe", 1, "cannot copy ", none},
#endif
    };
    // clang-format on
    auto contents = [&](const std::string& text) {
        return text[0] == '@' ? Contents(temp.File(text.substr(1))) : text;
    };
    const std::string appBefore = Contents(temp.File("app/liba.dll"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination + (c.before.empty() ? "" : " over " + c.before.begin()->second));
        for (const auto& [name, text] : c.before) temp.WriteText("out/" + name, contents(text));
        const std::string destination =
            c.destination[0] == '/' ? c.destination : temp.File(c.destination);
        std::vector<std::string> args = c.args;
        for (std::string& arg : args)
            if (arg == "LIB") arg = temp.File("lib");
        args.insert(args.end(), {"--copy-to", destination});
        const Outcome run = RunOn(args, c.module);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        if (!c.after.empty()) {
            std::map<std::string, std::string> held, expected;
            for (const auto& entry : fs::directory_iterator(destination))
                held[entry.path().filename().string()] = Contents(entry.path());
            for (const auto& [name, text] : c.after) expected[name] = contents(text);
            EXPECT_EQ(held, expected);
        }
        EXPECT_EQ(Contents(temp.File("app/liba.dll")), appBefore);
        fs::remove_all(temp.File("out"));
    }
}

#ifdef _WIN32
// With the system's own directories: the default system directory comes
// after the module's and the initial one, and kivrel-scan.exe itself, whose
// runtimes are linked in, needs nothing but system modules.
TEST(CliWindows, TheSystemsOwnDirectories) {
    KIVREL_REQUIRE_FIXTURES();
    char system[MAX_PATH];
    const std::string systemDir = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\";
    const Outcome run = RunCommand({"--initial-dir", Path({"chain", "lib"}), Path({"chain", "bin", "app.exe"})});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(Lines({Dir({"chain", "lib"}) + "liba.dll",
                                   Dir({"chain", "lib"}) + "libb.dll"}),
                            0),
              0u)
        << run.out;
    for (const char* name : {"KERNEL32.dll\n", "msvcrt.dll\n"}) {
        std::string lower = run.out, wanted = systemDir + name;
        CharLowerBuffA(&lower[0], static_cast<DWORD>(lower.size()));
        CharLowerBuffA(&wanted[0], static_cast<DWORD>(wanted.size()));
        EXPECT_NE(lower.find(wanted), std::string::npos) << name << " in\n" << run.out;
    }

    const std::string self = KIVREL_SCAN_PATH;
    const Outcome own = RunCommand({self});
    EXPECT_EQ(own.status, 0) << own.out;
    EXPECT_EQ(own.out.find(self.substr(0, self.find_last_of('\\') + 1)), std::string::npos)
        << own.out;
}
#endif

// The built program: its exit status, and lines that end in "\n" alone on
// every platform.
TEST(Cli, ProgramExitsWithTheReportStatus) {
    KIVREL_REQUIRE_FIXTURES();
    const test::TempDir temp;
    const std::string output = temp.File("out.txt");
    auto run = [&](const std::string& module) {
        std::string command = std::string("\"") + KIVREL_SCAN_PATH +
                              "\" --system-dir \"\" --windows-dir \"\" --path \"\" \"" + module +
                              "\" > \"" + output + "\"";
#ifdef _WIN32
        // cmd.exe drops the outer quotes of a line that begins with one.
        return std::system(("\"" + command + "\"").c_str());
#else
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    };
    EXPECT_EQ(run(Path({"cycle", "loop.exe"})), 0);
    EXPECT_EQ(Contents(output), Lines({Dir({"cycle"}) + "ping.dll", Dir({"cycle"}) + "pong.dll",
                                       Dir({"cycle"}) + "self.dll"}));
    EXPECT_EQ(run(Path({"text", "notes.txt"})), 1);
    EXPECT_EQ(Contents(output), Lines({kInvalid}));
}

}  // namespace
}  // namespace kivrel::cli
