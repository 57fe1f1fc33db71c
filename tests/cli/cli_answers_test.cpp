// --tree, --why, --missing-only, --format ldd and --copy-to end to end, on an
// installation the PE writer lays out in a temporary directory:
//
//   app/  app.exe -> liba.dll, KERNEL32.dll; liba.dll -> libb.dll, msvcrt.dll
//         bad.exe -> LIBC.DLL (the file is libc.dll)
//   lib/  libb.dll -> KERNEL32.dll; libc.dll -> libb.dll, broken.dll, ghost.dll;
//         broken.dll: a text file
//         crt.exe -> api-ms-win-crt-stdio-l1-1-0.dll (an API set hosted by msvcrt.dll)
//   sys/  KERNEL32.dll, msvcrt.dll, apisetschema.dll
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "api_set_writer.h"
#include "pe_writer.h"
#include "scan_runner.h"
#include "temp_dir.h"

namespace kivrel::test {
namespace {

namespace fs = std::filesystem;

// Paths and copies name a file as it is on disk where names are case-sensitive.
#ifdef _WIN32
const char* const kLibC = "LIBC.DLL";
#else
const char* const kLibC = "libc.dll";
#endif

std::vector<uint8_t> Module(const std::vector<std::string>& imports) {
    PeBuilder builder;
    for (const std::string& name : imports) builder.Import(name);
    return builder.Build();
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliAnswers : public testing::Test {
protected:
    CliAnswers() {
        temp.Write("app/app.exe", Module({"liba.dll", "KERNEL32.dll"}));
        temp.Write("app/liba.dll", Module({"libb.dll", "msvcrt.dll"}));
        temp.Write("app/bad.exe", Module({"LIBC.DLL"}));
        temp.Write("lib/libb.dll", Module({"KERNEL32.dll"}));
        temp.Write("lib/libc.dll", Module({"libb.dll", "broken.dll", "ghost.dll"}));
        temp.WriteText("lib/broken.dll", "not a module\n");
        temp.Write("sys/KERNEL32.dll", Module({}));
        temp.Write("sys/msvcrt.dll", Module({}));
        temp.Write("app/crt.exe", Module({"api-ms-win-crt-stdio-l1-1-0.dll"}));
        temp.Write("sys/apisetschema.dll",
                   BuildApiSetSchemaDll(
                       BuildApiSetSection(6, {{"api-ms-win-crt-stdio-l1-1-0", {"msvcrt.dll"}}})));
    }
    ProcessResult Run(std::vector<std::string> args, const std::string& module) {
        args.insert(args.end(),
                    {"--initial-dir", temp.File("lib"), "--system-dir", temp.File("sys"),
                     "--windows-dir", "", "--path", "", temp.File("app/" + module)});
        const ProcessResult run = RunScan(args);
        EXPECT_TRUE(run.started) << run.startError;
        return run;
    }
    // {app} {bad} {A} {L} {S} {c}: the modules' paths, the directories, kLibC.
    std::string Expand(std::string text) const {
        const std::pair<const char*, std::string> names[] = {{"{app}", temp.File("app/app.exe")},
                                                             {"{bad}", temp.File("app/bad.exe")},
                                                             {"{crt}", temp.File("app/crt.exe")},
                                                             {"{A}", temp.Dir("app")},
                                                             {"{L}", temp.Dir("lib")},
                                                             {"{S}", temp.Dir("sys")},
                                                             {"{c}", kLibC}};
        for (const auto& [key, value] : names)
            for (size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, strlen(key), value);
        return text;
    }

    TempDir temp;
};

// Each answer's exact output and exit status: the tree lists imports in
// table order, expands each module once and with --missing-only keeps the
// branches that lead to an unresolved name; --why finds a name written
// without extension or in another case too.
TEST_F(CliAnswers, EachFormatAnswersExactly) {
    // clang-format off
    const struct {
        std::vector<std::string> args;
        const char* module;
        int exitCode;
        const char* err;  // a part of standard error; "" for none at all
        const char* out;
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
        {{"--tree", "--api-sets"}, "crt.exe", 0, "",
         "crt.exe => {crt}\n"
         "  api-ms-win-crt-stdio-l1-1-0.dll => api-set msvcrt.dll\n"
         "    msvcrt.dll => {S}msvcrt.dll\n"},
        {{"--why", "msvcrt", "--api-sets"}, "crt.exe", 0, "", "crt.exe -> api-ms-win-crt-stdio-l1-1-0.dll -> msvcrt.dll\n"},
        {{"--format", "ldd", "--api-sets"}, "crt.exe", 0, "",
         "api-ms-win-crt-stdio-l1-1-0.dll => {S}msvcrt.dll\nmsvcrt.dll => {S}msvcrt.dll\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.module);
        const ProcessResult run = Run(c.args, c.module);
        EXPECT_EQ(run.out, Expand(c.out));
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(*c.err ? run.err.find(c.err) != std::string::npos : run.err.empty()) << run.err;
    }
}

// Found modules outside the system directory land in the destination; equal
// files, the sources themselves and excluded directories are left alone; a
// different file is kept unless --force, as is a file whose name differs
// only in case; a destination that cannot be a directory or be written is
// exit 1. Contents are "@FILE" (a copy of FILE) or the text itself.
TEST_F(CliAnswers, CopyToBundlesWhatTheProgramNeeds) {
    const std::string a = "@app/liba.dll", b = "@lib/libb.dll";
    const std::map<std::string, std::string> none;
    // clang-format off
    const struct {
        const char* destination;  // under the installation, or absolute
        std::map<std::string, std::string> before;  // written in out/ first
        std::vector<std::string> args;              // "LIB" stands for lib/
        const char* module;
        int exitCode;
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
        const ProcessResult run = Run(args, c.module);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
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

}  // namespace
}  // namespace kivrel::test
