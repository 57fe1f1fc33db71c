// --tree, --why, --missing-only, --format ldd and --copy-to end to end, on an
// installation the PE writer lays out in a temporary directory:
//
//   app/  app.exe -> liba.dll, KERNEL32.dll; liba.dll -> libb.dll, msvcrt.dll
//         bad.exe -> libc.dll
//   lib/  libb.dll -> KERNEL32.dll; libc.dll -> libb.dll, broken.dll, ghost.dll;
//         broken.dll: a text file
//   sys/  KERNEL32.dll, msvcrt.dll
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "pe_writer.h"
#include "scan_runner.h"
#include "temp_dir.h"

namespace kivrel::test {
namespace {

namespace fs = std::filesystem;

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
        temp.Write("app/bad.exe", Module({"libc.dll"}));
        temp.Write("lib/libb.dll", Module({"KERNEL32.dll"}));
        temp.Write("lib/libc.dll", Module({"libb.dll", "broken.dll", "ghost.dll"}));
        temp.WriteText("lib/broken.dll", "not a module\n");
        temp.Write("sys/KERNEL32.dll", Module({}));
        temp.Write("sys/msvcrt.dll", Module({}));
    }
    ProcessResult Run(std::vector<std::string> args, const std::string& module) {
        args.insert(args.end(),
                    {"--initial-dir", temp.File("lib"), "--system-dir", temp.File("sys"),
                     "--windows-dir", "", "--path", "", temp.File("app/" + module)});
        return RunScan(args);
    }
    // Replaces {app} {A} {L} {S} by the module's path and the three directories.
    std::string Expand(std::string text) const {
        const std::pair<const char*, std::string> names[] = {{"{app}", temp.File("app/app.exe")},
                                                             {"{bad}", temp.File("app/bad.exe")},
                                                             {"{A}", temp.Dir("app")},
                                                             {"{L}", temp.Dir("lib")},
                                                             {"{S}", temp.Dir("sys")}};
        for (const auto& [key, value] : names) {
            for (size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, strlen(key), value);
        }
        return text;
    }

    TempDir temp;
};

struct AnswerCase {
    std::vector<std::string> args;
    const char* module;
    const char* out;
    int exitCode;
    const char* err;  // a part of standard error; "" for none at all
};

// Each answer's exact output and exit status; the tree lists imports in
// table order, expands each module once and with --missing-only keeps the
// branches that lead to an unresolved name; --why finds the chains of a name
// written without extension too.
TEST_F(CliAnswers, EachFormatAnswersExactly) {
    const AnswerCase cases[] = {
        {{"--tree"},
         "app.exe",
         "app.exe => {app}\n"
         "  liba.dll => {A}liba.dll\n"
         "    libb.dll => {L}libb.dll\n"
         "      KERNEL32.dll => {S}KERNEL32.dll\n"
         "    msvcrt.dll => {S}msvcrt.dll\n"
         "  KERNEL32.dll => {S}KERNEL32.dll (see above)\n",
         0,
         ""},
        {{"--tree"},
         "bad.exe",
         "bad.exe => {bad}\n"
         "  libc.dll => {L}libc.dll\n"
         "    libb.dll => {L}libb.dll\n"
         "      KERNEL32.dll => {S}KERNEL32.dll\n"
         "    broken.dll => incorrect\n"
         "    ghost.dll => not found\n",
         1,
         ""},
        {{"--tree", "--missing-only"},
         "bad.exe",
         "bad.exe => {bad}\n"
         "  libc.dll => {L}libc.dll\n"
         "    broken.dll => incorrect\n"
         "    ghost.dll => not found\n",
         1,
         ""},
        {{"--missing-only", "--tree"}, "app.exe", "", 0, ""},
        {{"--why", "ghost.dll"}, "bad.exe", "bad.exe -> libc.dll -> ghost.dll\n", 0, ""},
        {{"--why", "kernel32"}, "app.exe", "app.exe -> KERNEL32.dll\n", 0, ""},
        {{"--why", "LIBB.DLL"}, "app.exe", "app.exe -> liba.dll -> libb.dll\n", 0, ""},
        {{"--why", "nothere.dll"},
         "app.exe",
         "",
         1,
         "kivrel-scan: nothere.dll is not among the references of app.exe\n"},
        {{"--format", "ldd"},
         "bad.exe",
         "libc.dll => {L}libc.dll\nlibb.dll => {L}libb.dll\nbroken.dll => not found\n"
         "ghost.dll => not found\nKERNEL32.dll => {S}KERNEL32.dll\n",
         1,
         ""},
        {{"--format=ldd", "--missing-only"},
         "bad.exe",
         "broken.dll => not found\nghost.dll => not found\n",
         1,
         ""},
        {{"--missing-only"}, "bad.exe", "broken.dll\nghost.dll\n", 1, ""},
        {{"--tree"}, "../lib/broken.dll", "", 1, "*** INVALID NT SIGNATURE ***"},
        {{"--tree", "--why", "a.dll"}, "app.exe", "", 2, "cannot be combined"},
        {{"--missing-only", "--json"}, "app.exe", "", 2, "cannot be combined"},
        {{"--force"}, "app.exe", "", 2, "need --copy-to"},
        {{"--format", "xml"}, "app.exe", "", 2, "unknown format 'xml'"},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.module);
        const ProcessResult run = Run(c.args, c.module);
        ASSERT_TRUE(run.started) << run.startError;
        EXPECT_EQ(run.out, Expand(c.out));
        EXPECT_EQ(run.exitCode, c.exitCode);
        if (*c.err == 0) {
            EXPECT_EQ(run.err, "");
        }
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

struct CopyCase {
    const char* title;
    std::function<std::string(const TempDir&)> prepare;  // returns the destination
    std::vector<std::string> args;                       // before --copy-to
    const char* module;
    int exitCode;
    const char* err;
    // What the destination holds afterwards: name -> the file whose bytes it
    // must have (relative to the installation), or "=" + literal contents.
    std::map<std::string, std::string> holds;
};

std::string Fresh(const TempDir& t) { return t.File("out/dist"); }
std::string WithFile(const TempDir& t, const char* name, const char* text) {
    t.WriteText(std::string("out/") + name, text);
    return t.File("out");
}

// Found modules outside the system directory land in the destination; equal
// files, the sources themselves and excluded directories are left alone; a
// different file is kept unless --force, as is a file whose name differs
// only in case; a failed copy is exit 1 naming the file, the others still
// made; a destination that cannot be a directory is exit 1.
TEST_F(CliAnswers, CopyToBundlesWhatTheProgramNeeds) {
    const std::string liba = "app/liba.dll", libb = "lib/libb.dll";
    const CopyCase cases[] = {
        {"created, nested",
         Fresh,
         {"--verbose"},
         "app.exe",
         0,
         "copied ",
         {{"liba.dll", liba}, {"libb.dll", libb}}},
        {"the scan's exit status",
         Fresh,
         {},
         "bad.exe",
         1,
         "",
         {{"libc.dll", "lib/libc.dll"}, {"libb.dll", libb}}},
        {"equal file kept",
         [](const TempDir& t) {
             fs::create_directories(t.File("out"));
             fs::copy_file(t.File("app/liba.dll"), t.File("out/liba.dll"));
             return t.File("out");
         },
         {"--verbose"},
         "app.exe",
         0,
         "unchanged",
         {{"liba.dll", liba}, {"libb.dll", libb}}},
        {"different file refused",
         [](const TempDir& t) { return WithFile(t, "liba.dll", "mine"); },
         {},
         "app.exe",
         1,
         "liba.dll differs from",
         {{"liba.dll", "=mine"}, {"libb.dll", libb}}},
        {"different file forced",
         [](const TempDir& t) { return WithFile(t, "liba.dll", "mine"); },
         {"--force"},
         "app.exe",
         0,
         "",
         {{"liba.dll", liba}, {"libb.dll", libb}}},
        {"name differing in case",
         [](const TempDir& t) { return WithFile(t, "LIBB.DLL", "mine"); },
         {},
         "app.exe",
         1,
         "LIBB.DLL differs from",
         {{"liba.dll", liba}, {"LIBB.DLL", "=mine"}}},
        {"own folder",
         [](const TempDir& t) { return t.File("app"); },
         {"--exclude-dir", "LIB"},
         "app.exe",
         0,
         "",
         {}},
        {"excluded directory",
         Fresh,
         {"--exclude-dir", "LIB"},
         "app.exe",
         0,
         "",
         {{"liba.dll", liba}}},
        {"destination is a file",
         [](const TempDir& t) {
             WithFile(t, "f", "x");
             return t.File("out/f");
         },
         {},
         "app.exe",
         1,
         "not a directory",
         {}},
#ifndef _WIN32
        {"unwritable destination",
         [](const TempDir&) { return std::string("/sys"); },
         {},
         "app.exe",
         1,
         "cannot copy ",
         {}},
#endif
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string appBefore = Contents(temp.File(liba));
        const std::string destination = c.prepare(temp);
        std::vector<std::string> args = c.args;
        for (std::string& arg : args)
            if (arg == "LIB") arg = temp.File("lib");
        args.insert(args.end(), {"--copy-to", destination});
        const ProcessResult run = Run(args, c.module);
        ASSERT_TRUE(run.started) << run.startError;
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        if (!c.holds.empty()) {
            std::map<std::string, std::string> held, expected;
            for (const auto& entry : fs::directory_iterator(destination))
                held[entry.path().filename().string()] = Contents(entry.path());
            for (const auto& [name, source] : c.holds)
                expected[name] = source[0] == '=' ? source.substr(1) : Contents(temp.File(source));
            EXPECT_EQ(held, expected);
        }
        EXPECT_EQ(Contents(temp.File(liba)), appBefore);
        fs::remove_all(temp.File("out"));
    }
}

}  // namespace
}  // namespace kivrel::test
