// Whole scans against an independent resolver: tools/pefile-resolve.py reads
// the import tables with Python's pefile and walks the same search order.
// kivrel-scan must list the same set of modules found and of names missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fixture_paths.h"
#include "json_value.h"
#include "mapped_image.h"
#include "process.h"
#include "text.h"
#include "wine_corpus.h"

namespace kivrel::test {
namespace {

// Neither program may take search directories from the caller's environment.
const std::vector<EnvChange> kCleanEnvironment{{"KIVREL_SYSTEM_DIR", std::nullopt},
                                               {"KIVREL_WINDOWS_DIR", std::nullopt},
                                               {"WINEPATH", std::nullopt}};

struct Outcome {
    std::set<std::string> found;    // full paths, case-folded
    std::set<std::string> missing;  // names, case-folded
};

JsonValue ParseOrFail(const ProcessResult& run, const char* who) {
    JsonValue document;
    std::string error;
    EXPECT_TRUE(run.started) << who << ": " << run.startError;
    EXPECT_TRUE(ParseJson(run.out, document, error)) << who << ": " << error << "\n"
                                                     << run.out << run.err;
    return document;
}

Outcome KivrelScan(const std::vector<std::string>& args) {
    std::vector<std::string> argv{KIVREL_SCAN_PATH, "--json"};
    argv.insert(argv.end(), args.begin(), args.end());
    const JsonValue document = ParseOrFail(RunProcess(argv, kCleanEnvironment), "kivrel-scan");
    Outcome outcome;
    const JsonValue* lines = document.Find("lines");
    if (lines == nullptr) return outcome;
    bool afterHeading = false;
    for (const JsonValue& line : lines->items) {
        const std::string& text = line.Find("text")->text;
        if (line.Find("value")->number != 0) {
            outcome.found.insert(ToLowerAscii(text));
        } else if (text == "*** NOT FOUND or INCORRECT ***") {
            afterHeading = true;
        } else if (afterHeading && !text.empty()) {
            outcome.missing.insert(ToLowerAscii(text));
        }
    }
    return outcome;
}

Outcome PefileResolve(const std::vector<std::string>& args) {
    std::vector<std::string> argv{KIVREL_PEFILE_PYTHON, KIVREL_PEFILE_RESOLVE, "--json"};
    argv.insert(argv.end(), args.begin(), args.end());
    const JsonValue document = ParseOrFail(RunProcess(argv, kCleanEnvironment), "pefile-resolve");
    Outcome outcome;
    if (const JsonValue* found = document.Find("found")) {
        for (const JsonValue& path : found->items) outcome.found.insert(ToLowerAscii(path.text));
    }
    if (const JsonValue* missing = document.Find("missing")) {
        for (const JsonValue& name : missing->items)
            outcome.missing.insert(ToLowerAscii(name.text));
    }
    return outcome;
}

#define REQUIRE_PEFILE()                                                       \
    do {                                                                       \
        if (std::string(KIVREL_PEFILE_PYTHON).empty())                         \
            GTEST_SKIP() << "no python3 with pefile (Debian: python3-pefile)"; \
    } while (0)

void ExpectSameOutcome(const std::vector<std::string>& args, size_t minimumFound) {
    const Outcome kivrel = KivrelScan(args);
    const Outcome peer = PefileResolve(args);
    EXPECT_EQ(kivrel.found, peer.found);
    EXPECT_EQ(kivrel.missing, peer.missing);
    EXPECT_GE(kivrel.found.size(), minimumFound);
}

class WineNotepad : public ::testing::TestWithParam<const char*> {};

TEST_P(WineNotepad, KivrelScanFindsWhatPefileFinds) {
    REQUIRE_PEFILE();
    const std::string directory = GetParam();
    const std::string notepad = directory + "/notepad.exe";
    if (!std::filesystem::is_regular_file(notepad)) GTEST_SKIP() << notepad << " is missing";

    // The core must read this image's own layout (PE32+ for x86_64): from the
    // PE32 offsets it would read unrelated header fields and find nothing.
    const CMappedImage image(notepad.c_str());
    ASSERT_NE(image.PeHeaders(), nullptr);
    EXPECT_EQ(image.IsPe32Plus(), directory == kWineX86_64Dlls);

    const std::vector<std::string> args{"--system-dir", directory, "--windows-dir", "",
                                        "--path",       "",        notepad};
    const Outcome kivrel = KivrelScan(args);
    const Outcome peer = PefileResolve(args);
    EXPECT_EQ(kivrel.found, peer.found);
    EXPECT_EQ(kivrel.missing, peer.missing);
    // Non-trivial: notepad needs the usual closure of Wine's system DLLs.
    EXPECT_GE(kivrel.found.size(), 10u);
    for (const char* name : {"kernel32.dll", "user32.dll", "gdi32.dll", "ntdll.dll"}) {
        EXPECT_EQ(kivrel.found.count(ToLowerAscii(directory + "/" + name)), 1u) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Wine, WineNotepad, ::testing::Values(kWineX86_64Dlls, kWineI386Dlls),
                         [](const auto& info) {
                             return std::string(info.param == kWineX86_64Dlls ? "x86_64" : "i386");
                         });

TEST(PefileResolve, FixtureChainsResolveAlike) {
    REQUIRE_PEFILE();
    KIVREL_REQUIRE_FIXTURES();
    using fixtures::Path;
    // The chains of tests/fixtures, with their non-PE files, cycle and
    // extension-less import.
    ExpectSameOutcome({"--initial-dir", Path({"chain", "lib"}), "--system-dir", Path({"sys"}),
                       "--path", "", Path({"chain", "bin", "app.exe"})},
                      4);
    ExpectSameOutcome(
        {"--system-dir", Path({"sys"}), "--path", "", Path({"missing", "usesghost.exe"})}, 3);
    ExpectSameOutcome({"--path", "", Path({"cycle", "loop.exe"})}, 3);
    ExpectSameOutcome(
        {"--initial-dir", Path({"first"}), "--path", Path({"second"}), Path({"dirs", "dirs.exe"})},
        4);
}

}  // namespace
}  // namespace kivrel::test
