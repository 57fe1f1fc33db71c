// kivrel-scan through the command's own entry point, on an installation the
// PE writer lays out: command lines with their exact output, exit status and
// standard error; --copy-to; JSON strings; one run of the built program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

#include "api_set_writer.h"
#include "fixture_paths.h"
#include "json_writer.h"
#include "options.h"
#include "resource_writer.h"
#include "scan_command.h"
#include "temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#endif

namespace kivrel::cli {
namespace {

namespace fs = std::filesystem;
using test::FileText;
using Env = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct Outcome {
    int status;
    std::string out, err;
};

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
#endif
}

// Runs the command with `env` set, after removing the variables that choose
// search directories behind a test's back; the environment is restored afterwards.
Outcome RunCommand(const std::vector<std::string>& args, const Env& env = {}) {
    Env changes{{"KIVREL_SYSTEM_DIR", std::nullopt},
                {"KIVREL_WINDOWS_DIR", std::nullopt},
                {"WINEPATH", std::nullopt},
                {"WINEPREFIX", std::nullopt}};
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

const std::string kHeading = "\n*** NOT FOUND or INCORRECT ***\n\n";
// tool.exe's report without --api-sets, and the note on it.
const std::string kUnmapped = kHeading + "api-ms-win-crt-stdio-l1-1-0.dll\n";
const std::string kHint =
    "kivrel-scan: 1 unresolved name is an API set (api-*, ext-*); --api-sets maps them to their "
    "host DLLs\n";

// An installation in a temporary directory:
//
//   app/  app.exe -> LIBA, KERNEL32.dll, liba.dll (one module: the name
//                    without extension is replaced by the longer one)
//         liba.dll -> libb.dll, msvcrt.dll
//         bad.exe -> LIBC.DLL (the file is libc.dll)
//         tool.exe -> api-ms-win-crt-stdio-l1-1-0.dll (an API set hosted by
//                     msvcrt.dll); delay-loads later.dll, which exists nowhere
//         late.exe -> KERNEL32.dll; delay-loads Gone of msvcrt.dll, which lacks it
//         notes.txt
//         plug.dll -> liba.dll; mixed.exe -> wide.dll, hollow.dll
//   lib/  libb.dll -> KERNEL32.dll; libc.dll -> libb.dll, broken.dll, ghost.dll;
//         broken.dll: a text file; wide.dll (x86-64) -> KERNEL32.dll;
//         hollow.dll/: a directory
//   sys/  KERNEL32.dll, msvcrt.dll, apisetschema.dll, wide.dll -> KERNEL32.dll,
//         hollow.dll
//   wine/drive_c/windows/system32/  kernel32.dll, msvcrt.dll (a Wine prefix)
//   empty/
class Cli : public testing::Test {
protected:
    // Each exports ordinal 1, which each import of the writer names.
    static std::vector<uint8_t> Module(const std::vector<std::string>& imports) {
        test::PeBuilder builder;
        for (const std::string& name : imports) builder.Import(name);
        return builder.Exports({"#"}).Build();
    }
    Cli() {
        temp.Write("app/app.exe", Module({"LIBA", "KERNEL32.dll", "liba.dll"}));
        temp.Write("app/liba.dll", Module({"libb.dll", "msvcrt.dll"}));
        temp.Write("app/bad.exe", Module({"LIBC.DLL"}));
        temp.Write("app/tool.exe", test::PeBuilder()
                                       .Import("api-ms-win-crt-stdio-l1-1-0.dll")
                                       .DelayImport("later.dll")
                                       .Build());
        temp.Write("app/late.exe", test::PeBuilder()
                                       .Import("KERNEL32.dll")
                                       .DelayImport("msvcrt.dll", true, {"Gone"})
                                       .Build());
        temp.Write("app/mixed.exe", Module({"wide.dll", "hollow.dll"}));
        temp.WriteText("app/notes.txt", "not a module\n");
        temp.Write("app/plug.dll", Module({"liba.dll"}));
        temp.Write("lib/wide.dll", test::PeBuilder().Pe32Plus().Import("KERNEL32.dll").Build());
        temp.Write("sys/wide.dll", Module({"KERNEL32.dll"}));
        temp.MakeDir("lib/hollow.dll");
        for (const char* path : {"sys/hollow.dll", "sys/KERNEL32.dll", "sys/msvcrt.dll",
                                 "wine/drive_c/windows/system32/kernel32.dll",
                                 "wine/drive_c/windows/system32/msvcrt.dll"})
            temp.Write(path, Module({}));
        temp.Write("lib/libb.dll", Module({"KERNEL32.dll"}));
        temp.Write("lib/libc.dll", Module({"libb.dll", "broken.dll", "ghost.dll"}));
        temp.WriteText("lib/broken.dll", "not a module\n");
        temp.Write("sys/apisetschema.dll",
                   test::BuildApiSetSchemaDll(test::BuildApiSetSection(
                       6, {{"api-ms-win-crt-stdio-l1-1-0", {"msvcrt.dll"}}})));
        temp.MakeDir("empty");
    }
    // `module` under app/, after `args` and the search directories as options
    // (lib/ the initial directory, `system` the system's); none when `module`
    // is nullptr.
    Outcome RunOn(std::vector<std::string> args, const char* module,
                  const std::string& system = "sys", const Env& env = {}) {
        for (std::string& arg : args) arg = Expand(arg);
        if (module != nullptr) {
            args.insert(args.end(), {"--initial-dir", temp.File("lib"), "--system-dir",
                                     temp.File(system), "--windows-dir", "", "--path", "",
                                     temp.File(std::string("app/") + module)});
        }
        Env expanded = env;
        for (auto& [name, value] : expanded)
            if (value) value = Expand(*value);
        return RunCommand(args, expanded);
    }
    // {app} {bad} {tool} {notes}: the files' paths; {A} {L} {S} {E} {W}: the
    // directories; {c} {k}: libc.dll and app/kernel32.dll as the report names
    // them; {K} {X} {H} {P} {V} {T} {/}: those of LoaderRules; {F}: the fixtures'
    // functions/. Escaped as in JSON strings when `json`.
    std::string Expand(std::string text, bool json = false) const {
        // clang-format off
        const std::pair<const char*, std::string> names[] = {
            {"{app}", temp.File("app/app.exe")}, {"{bad}", temp.File("app/bad.exe")},
            {"{tool}", temp.File("app/tool.exe")}, {"{notes}", temp.File("app/notes.txt")},
            {"{A}", temp.Dir("app")}, {"{L}", temp.Dir("lib")}, {"{S}", temp.Dir("sys")},
            {"{E}", temp.Dir("empty")}, {"{W}", temp.Dir("wine")}, {"{c}", kLibC}, {"{k}", kKernel32},
            {"{K}", temp.File("known.txt")}, {"{X}", temp.Dir("app/app.exe.local")},
            {"{H}", temp.Dir("host")}, {"{P}", temp.File("pfx")}, {"{V}", temp.Dir("pfx/drive_c/windows")},
            {"{T}", temp.Dir()}, {"{/}", std::string(1, fixtures::kSeparator)},
            {"{F}", fixtures::Dir({"functions"})}};
        // clang-format on
        for (const auto& [key, value] : names) {
            std::ostringstream escaped;
            WriteJsonString(escaped, value);
            const std::string quoted = escaped.str();
            for (size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, std::string(key).size(),
                             json ? quoted.substr(1, quoted.size() - 2) : value);
        }
        return text;
    }

    // `args` after empty search directories, which they may replace.
    static std::vector<std::string> Bare(std::vector<std::string> args) {
        args.insert(args.begin(), {"--system-dir", "", "--windows-dir", "", "--path", ""});
        return args;
    }
    struct Row {
        std::vector<std::string> args;
        const char* module;  // under app/; nullptr: the arguments are the whole command line
        int status;
        std::string err;  // a part of standard error; "" for none at all
        std::string out;
        const char* system = "sys";
        Env env = {};
        const char* cwd = nullptr;  // the current directory, under the installation
    };
    void Check(const std::vector<Row>& rows) {
        const fs::path cwd = fs::current_path();
        for (const Row& c : rows) {
            std::string trace = c.module ? c.module : "";
            for (const std::string& arg : c.args) trace += " " + arg;
            SCOPED_TRACE(trace);
            if (c.cwd) fs::current_path(temp.File(c.cwd));
            const Outcome run = RunOn(c.args, c.module, c.system, c.env);
            fs::current_path(cwd);
            EXPECT_EQ(run.status, c.status);
            // Paths inside a JSON document are escaped.
            EXPECT_EQ(run.out, Expand(c.out, c.out.rfind("{\n", 0) == 0));
            if (c.err.empty())
                EXPECT_EQ(run.err, "");
            else
                EXPECT_NE(run.err.find(Expand(c.err)), std::string::npos) << run.err;
        }
    }

    // Paths and copies name a file as it is on disk where names are case-sensitive.
#ifdef _WIN32
    static constexpr const char* kLibC = "LIBC.DLL";
    static constexpr const char* kKernel32 = "KERNEL32.dll";
    static constexpr const char* kNoSuchFile = "";  // the system's own words
#else
    static constexpr const char* kLibC = "libc.dll";
    static constexpr const char* kKernel32 = "kernel32.dll";
    static constexpr const char* kNoSuchFile = "No such file or directory\n";
#endif
    test::TempDir temp;
};

// Every command line's exact output, exit status and a part of standard
// error. The tree lists imports in table order, expands each module once and
// with --missing-only keeps the branches that lead to an unresolved name;
// --why finds a name written without extension or in another case too; a
// DLL needed only through delay-loading does not fail the scan. Standard
// error says why the module or a matching file was not read.
TEST_F(Cli, CommandLines) {
    const std::string chain = "{A}liba.dll\n{L}libb.dll\n{S}KERNEL32.dll\n{S}msvcrt.dll\n";
    const std::string apiSets =
        "{S}msvcrt.dll\n\n*** API SETS ***\n\n"
        "api-ms-win-crt-stdio-l1-1-0.dll => msvcrt.dll\n";
    const std::string invalid = "*** INVALID NT SIGNATURE ***\n";
    // clang-format off
    Check({
        {{"--verbose"}, "app.exe", 0, "search directories:\n  0: {A}\n  1: {L}\n  2: {S}\nresolving KERNEL32.dll\nresolving liba.dll\n", chain},
        // Each option reaches its step of the search order; %NAME% in the path.
        {Bare({"{app}"}), nullptr, 1, "", "{A}liba.dll\n" + kHeading + "KERNEL32.dll\nlibb.dll\nmsvcrt.dll\n"},
        // A bare file name is the file in the current directory, whose folder is searched.
        {Bare({"--initial-dir", "{L}", "--system-dir", "{S}", "app.exe"}), nullptr, 0, "", chain, "", {}, "app"},
        {Bare({"--windows-dir", "{S}", "--path", ";{E};;%KV_LIB%;", "{app}"}), nullptr, 0, "",
         "{A}liba.dll\n{S}KERNEL32.dll\n{S}msvcrt.dll\n{L}libb.dll\n", "", {{"KV_LIB", "{L}"}}},
        {Bare({"--path", "%KV_UNDEFINED%", "--initial-dir", "{L}", "{app}"}), nullptr, 1,
         "kivrel-scan: cannot list search directory %KV_UNDEFINED%", "{A}liba.dll\n{L}libb.dll\n" + kHeading + "KERNEL32.dll\nmsvcrt.dll\n", "", {{"KV_UNDEFINED", std::nullopt}}},
        {Bare({"--", "{notes}"}), nullptr, 1, "kivrel-scan: {notes}: not a PE image (no MZ header)\n", invalid},
        {Bare({"-"}), nullptr, 1, std::string("kivrel-scan: -: ") + kNoSuchFile, invalid},
        {Bare({"{E}"}), nullptr, 1, "kivrel-scan: {E}: Is a directory\n", invalid},
        // Nothing is missing from a module without imports.
        {Bare({"{S}msvcrt.dll"}), nullptr, 0, "", "No referencies\n"},
        {{"-V"}, nullptr, 0, "", "kivrel-scan 1.3.0.1\n"},
        // --help wins over the module and other options, not over an unknown one.
        {{"--json", "-h", "x.exe"}, nullptr, 0, "", UsageText()},
        {{"--help", "--bogus"}, nullptr, 2, "unknown option --bogus", ""},
        {{"--json"}, nullptr, 2, "kivrel-scan: no MODULE given\nTry 'kivrel-scan --help'.\n", ""},
        {{"-x", "a.exe"}, nullptr, 2, "kivrel-scan: unknown option -x\n", ""},
        {{"a.exe", "b.exe"}, nullptr, 2, "kivrel-scan: more than one MODULE given: 'a.exe' and 'b.exe'\n", ""},
        {{"a.exe", "--path"}, nullptr, 2, "kivrel-scan: option --path needs a value\n", ""},
        {{"--loader=1", "a.exe"}, nullptr, 2, "kivrel-scan: option --loader takes no value\n", ""},
        {{"--tree", "--why", "a.dll"}, "app.exe", 2, "cannot be combined", ""},
        {{"--missing-only", "--json"}, "app.exe", 2, "cannot be combined", ""},
        {{"--force"}, "app.exe", 2, "need --copy-to", ""},
        {{"--format", "xml"}, "app.exe", 2, "unknown format 'xml'", ""},
        // A later format replaces an earlier one.
        {{"--json", "--format=ldd", "--missing-only"}, "bad.exe", 1, "", "broken.dll => not found\nghost.dll => not found\n"},
#ifndef _WIN32
        // Elsewhere than Windows the environment stands in for the options.
        {{"--initial-dir", "{L}", "{app}"}, nullptr, 0, "", chain, "", {{"KIVREL_SYSTEM_DIR", "{S}"}}},
        {{"--initial-dir", "{L}", "{app}"}, nullptr, 0, "", chain, "", {{"KIVREL_WINDOWS_DIR", "{S}"}}},
        {{"--initial-dir", "{L}", "{app}"}, nullptr, 0, "", chain, "", {{"WINEPATH", "%KV_SYS%"}, {"KV_SYS", "{S}"}}},
        {{}, "app.exe", 0, "", chain, "sys", {{"KIVREL_SYSTEM_DIR", "{E}"}, {"KIVREL_WINDOWS_DIR", "{E}"}, {"WINEPATH", "{L}"}}},
        // Without a system directory, Wine's DLLs are pointed at when they hold missing names.
        {{"--initial-dir", "{L}", "{app}"}, nullptr, 1,
         "kivrel-scan: 2 unresolved names are in Wine's DLL folder {W}drive_c/windows/system32; "
         "--system-dir {W}drive_c/windows/system32 searches it\n",
         "{A}liba.dll\n{L}libb.dll\n" + kHeading + "KERNEL32.dll\nmsvcrt.dll\n", "", {{"WINEPREFIX", "{W}"}}},
#else
        {{"--initial-dir", "{L}", "--system-dir", "", "--windows-dir", "", "{app}"}, nullptr, 0, "", chain, "", {{"PATH", "{S}"}}},
#endif
        // The answers.
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
        {{"--why", "nothere.dll"}, "app.exe", 1, "kivrel-scan: nothere.dll is not among the references of app.exe", ""},
        {{"--missing-only"}, "bad.exe", 1, "", "broken.dll\nghost.dll\n"},
        {{"--tree"}, "../lib/broken.dll", 1, invalid, ""},
        {{}, "tool.exe", 1, kHint, kUnmapped},
        {{"--api-sets"}, "tool.exe", 0, "", apiSets},
        {{"--loader"}, "tool.exe", 0, "", apiSets + "\n*** NOT FOUND (delay-load only) ***\n\nlater.dll\n"},
        // Each loader option on its own.
        {{"--delay-load"}, "tool.exe", 1, kHint, kUnmapped + "\n*** NOT FOUND (delay-load only) ***\n\nlater.dll\n"},
        // A module of another machine is found, but said so, or passed over;
        // a matching file that cannot be read is never passed over silently.
        {{}, "mixed.exe", 0,
         "kivrel-scan: cannot read {L}hollow.dll (Is a directory); passed over for hollow.dll\n"
         "kivrel-scan: 1 module found is not for the machine of mixed.exe (i386); --match-machine",
         "{L}wide.dll\n{S}hollow.dll\n{S}KERNEL32.dll\n"},
        {{"--match-machine", "--verbose"}, "mixed.exe", 0,
         "passed over for wide.dll (wrong machine (x86-64, not i386)): {L}wide.dll\n",
         "{S}wide.dll\n{S}hollow.dll\n{S}KERNEL32.dll\n"},
        {{}, "plug.dll", 1, "", kHeading + "liba.dll\n"},
        {{"--module-dir"}, "plug.dll", 0, "", "{A}liba.dll\n{L}libb.dll\n{S}msvcrt.dll\n{S}KERNEL32.dll\n"},
        {{"--functions", "--delay-load"}, "late.exe", 0, "", "{S}KERNEL32.dll\n{S}msvcrt.dll\n\n*** MISSING FUNCTIONS (delay-load only) ***\n\nlate.exe -> msvcrt.dll!Gone\n"},
        {{"--api-sets"}, "tool.exe", 1,
         "kivrel-scan: no API set schema ({E}apisetschema.dll: no such file); API set names "
         "are looked up as files\n", kUnmapped, "empty"},
        {{"--tree", "--loader"}, "tool.exe", 0, "",
         "tool.exe => {tool}\n  api-ms-win-crt-stdio-l1-1-0.dll => api-set msvcrt.dll\n"
         "    msvcrt.dll => {S}msvcrt.dll\n  later.dll => not found (delay-load)\n"},
        {{"--why", "msvcrt", "--api-sets"}, "tool.exe", 0, "", "tool.exe -> api-ms-win-crt-stdio-l1-1-0.dll -> msvcrt.dll\n"},
        {{"--format", "ldd", "--api-sets"}, "tool.exe", 0, "",
         "api-ms-win-crt-stdio-l1-1-0.dll => {S}msvcrt.dll\nmsvcrt.dll => {S}msvcrt.dll\n"},
        // --audit: a line per module with a problem in path order, non-PE files of a
        // directory passed over, one named on the command line reported, then the
        // missing names ranked.
        {Bare({"--audit", "--initial-dir", "{L}", "--system-dir", "{S}", "{A}", "{L}", "{notes}"}), nullptr, 1, "",
         "{A}bad.exe: not found: ghost.dll; incorrect: broken.dll\n{A}notes.txt: *** INVALID NT SIGNATURE ***\n"
         "{A}tool.exe: not found: api-ms-win-crt-stdio-l1-1-0.dll\n{L}libc.dll: not found: ghost.dll; incorrect: broken.dll\n"
         "\n11 modules checked, 4 with problems\nbroken.dll (needed by 2)\nghost.dll (needed by 2)\n"
         "api-ms-win-crt-stdio-l1-1-0.dll (needed by 1)\n"},
        {Bare({"--audit", "--initial-dir", "{L}", "--system-dir", "{S}", "--api-sets", "--delay-load", "--verbose", "{A}tool.exe"}),
         nullptr, 0, "resolving later.dll\n", "{A}tool.exe: ok\n\n1 module checked, 0 with problems\n"},
        {Bare({"--audit", "--tree", "{A}"}), nullptr, 2, "--audit can be combined with --json, but not", ""},
        {Bare({"--audit"}), nullptr, 2, "no PATH given to --audit", ""},
        // The JSON document: a found reference gives the path its line shows.
        {{"--json"}, "bad.exe", 1, "",
         "{\n  \"module\": \"{bad}\",\n  \"searchDirectories\": [\n    \"{A}\",\n    \"{L}\",\n    \"{S}\"\n  ],\n"
         "  \"references\": [\n"
         "    {\"name\": \"LIBC.DLL\", \"state\": \"found\", \"stateValue\": 3, \"directoryIndex\": 1, \"path\": \"{L}{c}\"},\n"
         "    {\"name\": \"libb.dll\", \"state\": \"found\", \"stateValue\": 3, \"directoryIndex\": 1, \"path\": \"{L}libb.dll\"},\n"
         "    {\"name\": \"broken.dll\", \"state\": \"incorrect\", \"stateValue\": 2, \"directoryIndex\": 1, "
         "\"rejected\": [{\"path\": \"{L}broken.dll\", \"reason\": \"not a PE image (no MZ header)\"}]},\n"
         "    {\"name\": \"ghost.dll\", \"state\": \"not-found\", \"stateValue\": 1},\n"
         "    {\"name\": \"KERNEL32.dll\", \"state\": \"found\", \"stateValue\": 3, \"directoryIndex\": 2, \"path\": \"{S}KERNEL32.dll\"}\n"
         "  ],\n  \"lines\": [\n"
         "    {\"text\": \"{L}{c}\", \"value\": 1},\n    {\"text\": \"{L}libb.dll\", \"value\": 2},\n"
         "    {\"text\": \"{S}KERNEL32.dll\", \"value\": 5},\n    {\"text\": \"\", \"value\": 0},\n"
         "    {\"text\": \"*** NOT FOUND or INCORRECT ***\", \"value\": 0},\n    {\"text\": \"\", \"value\": 0},\n"
         "    {\"text\": \"broken.dll\", \"value\": 0},\n    {\"text\": \"ghost.dll\", \"value\": 0}\n"
         "  ],\n  \"exitStatus\": 1\n}\n"},
        {Bare({"--format", "json", ""}), nullptr, 1, "",
         "{\n  \"module\": \"\",\n  \"searchDirectories\": [],\n  \"references\": [],\n"
         "  \"lines\": [\n    {\"text\": \"No Windows module specified\", \"value\": 0}\n"
         "  ],\n  \"exitStatus\": 1\n}\n"},
    });
    // clang-format on
}

// JSON tells the API set's host, which names only delay-loading needs, the
// files passed over for a name (here the first reference's) and an audit's summary.
TEST_F(Cli, JsonTellsHostsDelayLoadOnlyNamesAndFilesPassedOver) {
    const Outcome audit = RunOn({"--audit", "--json", "{A}nothere.exe"}, nullptr);
    EXPECT_EQ(audit.status, 1);
    const std::string json = RunOn({"--loader", "--json"}, "tool.exe").out +
                             RunOn({"--match-machine", "--json"}, "mixed.exe").out + audit.out;
    for (const std::string fact :
         {"\"api-set\", \"stateValue\": 4, \"host\": \"msvcrt.dll\"}",
          "\"later.dll\", \"state\": \"not-found\", \"stateValue\": 1, \"delayLoadOnly\": true}",
          "\"exitStatus\": 0\n", "\"summary\": {\"modulesChecked\": 1, \"withProblems\": 1",
          "\"wide.dll\", \"state\": \"found\", \"stateValue\": 3, \"directoryIndex\": 2, \"path\": "
          "\"{S}wide.dll\", \"rejected\": [{\"path\": \"{L}wide.dll\", \"reason\": \"wrong machine "
          "(x86-64, not i386)\"}]}"})
        EXPECT_NE(json.find(Expand(fact, true)), std::string::npos) << fact << " in\n" << json;
}

// The notes on standard error follow the report when both share a terminal;
// a report that cannot be written is a failure of its own.
TEST_F(Cli, ReportAndNotesOnTheirStreams) {
    std::ostringstream both, out, err;
    RunScanCommand({"--system-dir", temp.File("sys"), temp.File("app/tool.exe")}, both, both);
    EXPECT_EQ(both.str(), kUnmapped + kHint);
    out.setstate(std::ios::badbit);
    EXPECT_EQ(RunScanCommand(Bare({temp.File("app/app.exe")}), out, err), 2);
    EXPECT_EQ(err.str(), "kivrel-scan: cannot write the report\n");
}

// Control characters are escaped; elsewhere than Windows well-formed UTF-8
// passes and every other byte from 0x80 up is U+DC00 + the byte.
TEST(Json, StringsKeepEveryByte) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain C:\\dir\\a.dll", "\"plain C:\\\\dir\\\\a.dll\""},
        {"\"q\"\n\r\t", "\"\\\"q\\\"\\n\\r\\t\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {" ~", "\" ~\""},
#ifndef _WIN32
        {"\xc3\xbc \xe6\x97\xa5 \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf",
         "\"\xc3\xbc \xe6\x97\xa5 \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf\""},
        // Lone bytes, an overlong form, a surrogate, a cut sequence, beyond U+10FFFF.
        {"\x80\xe9\xff \xc0\xaf \xed\xa0\x80 \xe6\x97 \xf4\x90\x80\x80",
         "\"\\udc80\\udce9\\udcff \\udcc0\\udcaf \\udced\\udca0\\udc80 \\udce6\\udc97 "
         "\\udcf4\\udc90\\udc80\\udc80\""},
#endif
    };
    for (const auto& [text, json] : cases) {
        std::ostringstream out;
        WriteJsonString(out, text);
        EXPECT_EQ(out.str(), json);
    }
#ifdef _WIN32
    // Windows names are in the ANSI code page: "é" of the Western one.
    std::ostringstream out;
    WriteJsonString(out, "caf\xe9");
    if (GetACP() == 1252) {
        EXPECT_EQ(out.str(), "\"caf\xc3\xa9\"");
    }
#endif
}

#ifndef _WIN32
// The completion keeps names with spaces whole, reads escaped and quoted
// words, and completes the value of --opt=value however readline split it.
TEST_F(Cli, BashCompletion) {
    temp.MakeDir("my dir/sub dir");
    const std::pair<const char*, const char*> cases[] = {
        {"'my\\ dir/s'", "my dir/sub dir|"},
        {"'\"my dir/s'", "my dir/sub dir|"},
        {"--system-dir = 'my\\ d'", "my dir|"},
        {"--format=l", "--format=lines|--format=ldd|"},
    };
    std::string script = "source \"" KIVREL_COMPLETION_PATH "\"\ncd \"" + temp.File("") + "\"\n";
    std::string expected;
    for (const auto& [words, replies] : cases) {
        script += std::string("COMP_WORDS=(kivrel-scan ") + words +
                  "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _kivrel_scan; "
                  "printf '%s|' \"${COMPREPLY[@]}\"; echo\n";
        expected += replies + std::string("\n");
    }
    temp.WriteText("complete.sh", script);
    const std::string command =
        "bash \"" + temp.File("complete.sh") + "\" > \"" + temp.File("replies.txt") + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(FileText(temp.File("replies.txt")), expected);
}
#endif

// Found modules outside the system directory land in the destination; equal
// files, the sources themselves and excluded directories are left alone; a
// different file is kept unless --force, as is a file whose name differs
// only in case; a module of another machine is never copied; a destination
// that cannot be a directory or be written is exit 1. Contents are "@FILE"
// (a copy of FILE) or the text itself.
TEST_F(Cli, CopyToBundlesWhatTheProgramNeeds) {
    const std::string a = "@app/liba.dll", b = "@lib/libb.dll";
    const std::map<std::string, std::string> none;
    // clang-format off
    const struct {
        const char* destination;  // under the installation, or absolute
        std::map<std::string, std::string> before;  // written in out/ first
        std::vector<std::string> args;
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
        {"app", none, {"--exclude-dir", "{L}"}, "app.exe", 0, "", none},
        {"out", none, {"--exclude-dir", "{L}"}, "app.exe", 0, "", {{"liba.dll", a}}},
        {"out/f", {{"f", "x"}}, {}, "app.exe", 1, "not a directory", none},
        {"out", none, {}, "mixed.exe", 1, "wide.dll is not copied: it is for x86-64, the program for i386\n", none},
#ifndef _WIN32
        {"/sys", none, {}, "app.exe", 1, "cannot copy ", none},
#endif
    };
    // clang-format on
    auto contents = [&](const std::string& text) {
        return text[0] == '@' ? FileText(temp.File(text.substr(1))) : text;
    };
    const std::string appBefore = FileText(temp.File("app/liba.dll"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination + (c.before.empty() ? "" : " over " + c.before.begin()->second));
        for (const auto& [name, text] : c.before) temp.WriteText("out/" + name, contents(text));
        const std::string destination =
            c.destination[0] == '/' ? c.destination : temp.File(c.destination);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--copy-to", destination});
        const Outcome run = RunOn(args, c.module);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        if (!c.after.empty()) {
            std::map<std::string, std::string> held, expected;
            for (const auto& entry : fs::directory_iterator(destination))
                held[entry.path().filename().string()] = FileText(entry.path());
            for (const auto& [name, text] : c.after) expected[name] = contents(text);
            EXPECT_EQ(held, expected);
        }
        EXPECT_EQ(FileText(temp.File("app/liba.dll")), appBefore);
        fs::remove_all(temp.File("out"));
    }
}

#ifdef _WIN32
// With the system's own directories: the default system directory comes
// after the module's and the initial one.
TEST_F(Cli, TheSystemsOwnDirectories) {
    char system[MAX_PATH];
    const std::string systemDir = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\";
    const Outcome run = RunOn({"--initial-dir", "{L}", "{app}"}, nullptr);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(Expand("{A}liba.dll\n{L}libb.dll\n"), 0), 0u) << run.out;
    for (const char* name : {"KERNEL32.dll\n", "msvcrt.dll\n"}) {
        std::string lower = run.out, wanted = systemDir + name;
        CharLowerBuffA(&lower[0], static_cast<DWORD>(lower.size()));
        CharLowerBuffA(&wanted[0], static_cast<DWORD>(wanted.size()));
        EXPECT_NE(lower.find(wanted), std::string::npos) << name << " in\n" << run.out;
    }
}
#endif

// The MinGW fixtures, as the loader binds them: a DLL rebuilt without a
// function, exports by ordinal only, forwarders to a second DLL, to an API set
// (mapped by a schema to the stand-in kernel32.dll, which exports Sleep) and
// in a loop. Without --functions the report is the plain one.
TEST_F(Cli, MissingFunctionsOfRealModules) {
    KIVREL_REQUIRE_FIXTURES();
    temp.Write("fsys/apisetschema.dll",
               test::BuildApiSetSchemaDll(test::BuildApiSetSection(
                   6, {{"api-ms-win-core-synch-l1-2-0", {"kernel32.dll"}}})));
    fs::copy_file(fixtures::Path({"sys", "kernel32.dll"}), temp.File("fsys/kernel32.dll"));
    // {F}: the fixtures' folder, fsys/: the system directory.
    const std::string found = "{F}forwards.dll\n{F}ordinals.dll\n{F}versioned.dll\n";
    const std::string missing =
        "\n*** MISSING FUNCTIONS ***\n\n"
        "functions.exe -> forwards.dll!fwd_bad (forwarded to target.dll!target_gone)\n"
        "functions.exe -> forwards.dll!loop_a (forwarded to forwards.dll!loop_a)\n"
        "functions.exe -> ordinals.dll!#6\n"
        "functions.exe -> versioned.dll!ver_gone\n";
    const std::string functions = "{F}functions.exe", system = "{T}fsys";
    // clang-format off
    Check({
        {Bare({"--system-dir", system, functions}), nullptr, 0, "", found},
        {Bare({"--functions", "--system-dir", system, functions}), nullptr, 1, "kivrel-scan: 1 unresolved name is an API set", found + "{F}target.dll\n" + kHeading + "api-ms-win-core-synch-l1-2-0.dll\n" + missing},
        {Bare({"--functions", "--api-sets", "--system-dir", system, functions}), nullptr, 1, "",
         found + "{F}target.dll\n{T}fsys{/}kernel32.dll\n\n*** API SETS ***\n\napi-ms-win-core-synch-l1-2-0.dll => kernel32.dll\n" + missing},
        {Bare({"--functions", "--tree", "--api-sets", "--system-dir", system, functions}), nullptr, 1, "",
         "functions.exe => {F}functions.exe [4 missing functions]\n  forwards.dll => {F}forwards.dll\n"
         "    api-ms-win-core-synch-l1-2-0.dll => api-set kernel32.dll\n      kernel32.dll => {T}fsys{/}kernel32.dll\n"
         "    target.dll => {F}target.dll\n    forwards.dll => {F}forwards.dll (see above)\n"
         "  ordinals.dll => {F}ordinals.dll\n  versioned.dll => {F}versioned.dll\n"},
    });
    // clang-format on
    // --loader checks functions; --verbose says why each does not bind.
    const Outcome run =
        RunOn({"--loader", "--verbose", "--json", "--system-dir", system, functions}, nullptr);
    for (const char* fact :
         {"\"target.dll\", \"state\": \"found\", \"stateValue\": 3, \"directoryIndex\": 0, "
          "\"path\": ",
          "\"via\": \"forwarder\"}",
          "{\"importer\": \"functions.exe\", \"module\": \"ordinals.dll\", \"ordinal\": 6, "
          "\"delayLoadOnly\": false}",
          "\"name\": \"fwd_bad\", \"forwardedTo\": \"target.dll!target_gone\", \"delayLoadOnly\": "
          "false}",
          "\"exitStatus\": 1\n"})
        EXPECT_NE(run.out.find(fact), std::string::npos) << fact << " in\n" << run.out;
    EXPECT_NE(run.err.find("kivrel-scan: functions.exe -> forwards.dll!loop_a (forwarded to "
                           "forwards.dll!loop_a): a loop of forwarders\n"),
              std::string::npos)
        << run.err;
}

// The built program: its exit status, and lines that end in "\n" alone on
// every platform.
TEST_F(Cli, ProgramExitsWithTheReportStatus) {
    const std::string output = temp.File("out.txt");
    auto run = [&](const std::string& module) {
        std::string command = std::string("\"") + KIVREL_SCAN_PATH + "\" --system-dir \"" +
                              temp.File("sys") + "\" --windows-dir \"\" --path \"\" \"" +
                              temp.File(module) + "\" > \"" + output + "\"";
#ifdef _WIN32
        // cmd.exe drops the outer quotes of a line that begins with one.
        return std::system(("\"" + command + "\"").c_str());
#else
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    };
    EXPECT_EQ(run("lib/libb.dll"), 0);
    EXPECT_EQ(FileText(output), Expand("{S}KERNEL32.dll\n"));
    EXPECT_EQ(run("app/notes.txt"), 1);
    EXPECT_EQ(FileText(output), "*** INVALID NT SIGNATURE ***\n");
}

// Over a generated tree of shared, missing, non-PE, delay-loaded and
// other-machine DLLs (none exports what the others import), and t/f/: user.dll
// imports a function lib.dll lacks and one it forwards to gone.dll, and two
// programs load user.dll; three.exe imports a function fwd.dll forwards to
// far.dll, of lib.dll only what it exports itself, late.dll, which
// delay-loads the function lib.dll forwards, and junk.dll, which is no module
// in its folder but one in the system directory; sxs1.exe's manifest names a
// private assembly, sxs2.exe's file beside it one that is nowhere. The
// audit's answer for each module is what a scan of that module alone reports
// (--module-dir for a DLL): the unresolved names, the missing functions and
// the exit status.
TEST_F(Cli, AuditAnswersAsScansOfEachModule) {
    const std::vector<std::string> dirs{"t/a/", "t/b/", "t/c/"};
    uint32_t seed = 7;
    auto next = [&](uint32_t below) {
        return (seed = seed * 1103515245u + 12345u) / 65536u % below;
    };
    for (int i = 0; i < 36; ++i) {
        test::PeBuilder module;
        if (i % 9 == 4) module.Pe32Plus();
        for (uint32_t k = next(4); k > 0; --k)
            module.Import("m" + std::to_string(next(40)) + ".dll");
        for (uint32_t k = next(2); k > 0; --k)
            module.DelayImport("m" + std::to_string(next(40)) + ".dll");
        const std::string name =
            i % 12 == 0 ? "app" + std::to_string(i) + ".exe" : "m" + std::to_string(i) + ".dll";
        temp.Write(dirs[i % 3] + name, module.Build());
    }
    temp.WriteText("t/b/m37.dll", "not a module\n");
    using test::PeBuilder;
    temp.Write("t/f/lib.dll", PeBuilder().Dll().Exports({"fwd=gone.x", "present"}).Build());
    temp.Write(
        "t/f/user.dll",
        PeBuilder().Dll().Import("lib.dll", {"present", "absent", "fwd"}).Exports({"u"}).Build());
    temp.Write("t/f/late.dll",
               PeBuilder().Dll().DelayImport("lib.dll", true, {"fwd"}).Exports({"l"}).Build());
    temp.Write("t/f/one.exe", PeBuilder().Import("user.dll", {"u"}).Build());
    temp.Write("t/f/two.exe", PeBuilder()
                                  .Import("user.dll", {"u"})
                                  .DelayImport("lib.dll", true, {"late", "fwd"})
                                  .Build());
    // Binds none of lib.dll's forwarders: gone.dll is not its to load.
    temp.Write("t/f/plain.exe", PeBuilder().Import("lib.dll", {"present"}).Build());
    temp.Write("t/f/fwd.dll", PeBuilder().Dll().Exports({"far=far.gone"}).Build());
    temp.Write("t/f/three.exe", PeBuilder()
                                    .Import("fwd.dll", {"far"})
                                    .Import("junk.dll")
                                    .Import("lib.dll", {"present"})
                                    .Import("late.dll", {"l"})
                                    .Build());
    temp.WriteText("t/f/junk.dll", "not a module\n");
    temp.Write("t/c/junk.dll", PeBuilder().Dll().Build());
    temp.Write("t/f/sxs1.exe",
               test::PeWithResources(
                   {{24, 1, test::AssemblyText("One", "1.0.0.0", "", "Kivrel.Priv/1.0.0.0")}},
                   PeBuilder().Import("priv.dll")));
    temp.WriteText("t/f/Kivrel.Priv/Kivrel.Priv.manifest",
                   test::AssemblyText("Kivrel.Priv", "1.0.0.0", "priv.dll"));
    temp.Write("t/f/Kivrel.Priv/priv.dll", PeBuilder().Dll().Build());
    temp.Write("t/f/sxs2.exe", PeBuilder().Import("user.dll", {"u"}).Build());
    temp.WriteText("t/f/sxs2.exe.manifest",
                   test::AssemblyText("Two", "1.0.0.0", "", "Kivrel.Gone/1.0.0.0"));
    fs::create_directories(temp.File("w/winsxs/Manifests"));
    // Each object of a "missingFunctions" array in [from, to), sorted.
    auto functions = [](const std::string& json, size_t from, size_t to) {
        std::vector<std::string> found;
        for (size_t at = json.find("{\"importer\"", from); at < to;
             at = json.find("{\"importer\"", at + 1))
            found.push_back(json.substr(at, json.find('}', at) + 1 - at));
        std::sort(found.begin(), found.end());
        return found;
    };
    const std::vector<std::vector<std::string>> rows{
        {}, {"--delay-load"}, {"--match-machine"}, {"--loader"}, {"--functions", "--delay-load"}};
    for (const auto& options : rows) {
        SCOPED_TRACE(options.empty() ? "" : options.front());
        std::vector<std::string> args{"--system-dir", temp.File("t/c"), "--windows-dir",
                                      temp.File("w"), "--path",         ""};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<std::string> auditArgs = args;
        auditArgs.insert(auditArgs.end(), {"--audit", "--json", "--recursive", temp.File("t")});
        const std::string json = RunCommand(auditArgs).out;
        size_t checked = 0;
        for (const auto& entry : fs::recursive_directory_iterator(temp.File("t"))) {
            const std::string path = entry.path().string();
            if (!entry.is_regular_file() || FileText(path).rfind("MZ", 0) != 0) continue;
            std::vector<std::string> single = args;
            single.insert(single.end(), {"--module-dir", "--missing-only", path});
            const Outcome alone = RunCommand(single);
            single.end()[-2] = "--json";
            const std::string aloneJson = RunCommand(single).out;
            std::vector<std::string> names;
            std::istringstream lines(alone.out);
            for (std::string line; std::getline(lines, line);) names.push_back(line);
            std::sort(names.begin(), names.end());
            // The module's entry of the document, and the names it gives.
            std::ostringstream key;
            WriteJsonString(key, path);
            const size_t at = json.find("{\"path\": " + key.str());
            ASSERT_NE(at, std::string::npos) << path;
            const size_t end = json.find("]}", json.find("\"missingFunctions\"", at));
            const std::string module = json.substr(at, end - at);
            std::vector<std::string> audited;
            for (const char* field : {"\"unresolved\": [", "\"delayLoadOnly\": ["}) {
                const size_t from = module.find(field) + std::string(field).size();
                std::istringstream list(module.substr(from, module.find(']', from) - from));
                // What comes before each opening quote, then the name up to its closing one.
                for (std::string name;
                     std::getline(list, name, '"') && std::getline(list, name, '"');)
                    audited.push_back(name);
            }
            std::sort(audited.begin(), audited.end());
            audited.erase(std::unique(audited.begin(), audited.end()), audited.end());
            EXPECT_EQ(audited, names) << path;
            EXPECT_EQ(functions(json, at, end), functions(aloneJson, 0, aloneJson.size())) << path;
            EXPECT_NE(module.find("\"exitStatus\": " + std::to_string(alone.status)),
                      std::string::npos)
                << path << module;
            ++checked;
        }
        EXPECT_EQ(checked, 48u);
        if (options.empty() || options.front() != "--loader") continue;
        for (const char* fact : {"\"importer\": \"user.dll\", \"module\": \"lib.dll\", \"name\": "
                                 "\"absent\", \"delayLoadOnly\": false}",
                                 "\"Kivrel.Gone 1.0.0.0 (side-by-side assembly)\"",
                                 "\"unresolved\": [\"far.dll\", \"gone.dll\"]"})
            EXPECT_NE(json.find(fact), std::string::npos) << fact << " in\n" << json;
        EXPECT_EQ(RunCommand({"--audit", "--functions", temp.File("t/f/one.exe")}).out,
                  temp.File("t/f/one.exe") +
                      ": not found: gone.dll; missing functions: 1\n\n"
                      "1 module checked, 1 with problems\n"
                      "gone.dll (needed by 1)\n");
    }
}

// The loader rules, each on its own installation beside the common one:
//   app/kernel32.dll and app/kernelbase.dll: app-local copies; sys/KERNEL32.dll
//     -> kernelbase.dll, which sys/ also holds
//   app/app.exe.local/liba.dll; app/man.exe and app/res.exe -> liba.dll,
//     with man.exe.manifest and a manifest resource, each with a .local
//     folder holding liba.dll; app/bad.exe.local: a FIFO (not on Windows)
//   host/host.exe -> hostdep.dll (-> lost.dll, which the host's process
//     settled already), hostonly.dll; host/extra.dll, which the host does
//     not load; plug/addon.node -> host.exe, hostdep.dll, extra.dll, KERNEL32.dll
//   pfx/: a Wine prefix whose system32 and syswow64 both hold KERNEL32.dll,
//     scanned for the 32-bit program the i686 compiler built and a 64-bit one
TEST_F(Cli, LoaderRules) {
    for (const char* path :
         {"app/kernel32.dll", "app/kernelbase.dll", "sys/kernelbase.dll",
          "app/app.exe.local/liba.dll", "app/man.exe.local/liba.dll", "app/res.exe.local/liba.dll",
          "host/hostonly.dll", "host/extra.dll", "pfx/drive_c/windows/syswow64/KERNEL32.dll"})
        temp.Write(path, Module({}));
    temp.Write("sys/KERNEL32.dll", Module({"kernelbase.dll"}));
    temp.Write("app/man.exe", Module({"liba.dll"}));
    temp.WriteText("app/man.exe.manifest", "<assembly/>");
    temp.Write("app/res.exe", test::PeWithResources({{24, 1, "<assembly/>"}},
                                                    test::PeBuilder().Import("liba.dll")));
#ifndef _WIN32
    ASSERT_EQ(mkfifo(temp.File("app/bad.exe.local").c_str(), 0600), 0);
#endif
    temp.Write("host/host.exe", Module({"hostdep.dll", "hostonly.dll"}));
    temp.Write("host/hostdep.dll", Module({"lost.dll"}));
    temp.Write("plug/addon.node", Module({"host.exe", "hostdep.dll", "extra.dll", "KERNEL32.dll"}));
    temp.Write("pfx/drive_c/windows/system32/KERNEL32.dll", test::PeBuilder().Pe32Plus().Build());
    temp.Write("app64.exe", test::PeBuilder().Pe32Plus().Import("KERNEL32.dll").Build());
    temp.WriteText("known.txt", "# only\nmsvcrt.dll\n");
    const std::string kernel = "{A}{k}\n{A}liba.dll\n{L}libb.dll\n{S}msvcrt.dll\n";
    // clang-format off
    std::vector<Row> rows = {
        {{}, "app.exe", 0, "", kernel},
        {{"--known-dlls"}, "app.exe", 0, "", "{A}liba.dll\n{L}libb.dll\n{S}KERNEL32.dll\n{S}kernelbase.dll\n{S}msvcrt.dll\n"},
        {{"--known-dlls-list", "{K}"}, "app.exe", 0, "", kernel},
        {{"--known-dlls-list", "{E}none.txt"}, "app.exe", 2, "kivrel-scan: cannot read the KnownDLLs list {E}none.txt", ""},
        {{"--dot-local"}, "app.exe", 0, "", "{X}liba.dll\n{A}{k}\n"},
        {{"--dot-local"}, "man.exe", 0, "", "{A}liba.dll\n{A}{k}\n{L}libb.dll\n{S}msvcrt.dll\n"},
        {{"--dot-local"}, "res.exe", 0, "", "{A}liba.dll\n{A}{k}\n{L}libb.dll\n{S}msvcrt.dll\n"},
        {{"--dot-local"}, "bad.exe", 1, "", "{A}{k}\n{L}{c}\n{L}libb.dll\n" + kHeading + "broken.dll\nghost.dll\n"},
        {{}, "../plug/addon.node", 1, "", "{S}KERNEL32.dll\n{S}kernelbase.dll\n" + kHeading + "host.exe\nhostdep.dll\nextra.dll\n"},
        {{"--host", "{H}host.exe"}, "../plug/addon.node", 0, "", "{H}host.exe\n{H}hostdep.dll\n{H}extra.dll\n{S}KERNEL32.dll\n{S}kernelbase.dll\n"},
        {{"--audit", "--host", "{H}host.exe", "{H}"}, nullptr, 2, "--host and --dot-local cannot be combined with --audit", ""},
        {{"--host", "{H}hostdep"}, "../plug/addon.node", 2, "kivrel-scan: the host {H}hostdep is not a PE image", ""},
        {{"--wine-prefix", "{P}", "--path", "", "{T}app64.exe"}, nullptr, 0, "", "{V}system32{/}KERNEL32.dll\n"},
    };
    if (fixtures::Available())  // the 32-bit program the i686 compiler built
        rows.push_back({{"--wine-prefix", "{P}", "--path", "", fixtures::Path({"wow", "app32.exe"})}, nullptr, 0, "", "{V}syswow64{/}KERNEL32.dll\n"});
    // clang-format on
    Check(rows);
}

}  // namespace
}  // namespace kivrel::cli
