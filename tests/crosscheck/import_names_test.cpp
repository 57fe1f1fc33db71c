// Every PE file Wine installs: the import names the core reads must be the
// "DLL Name:" lines that MinGW objdump prints for it; likewise for the DLLs
// of the MinGW runtime and the fixture chains.
//
// Compared as ordered lists with exact letter case, after feeding objdump's
// names through a fresh CReferenceList, so both sides get the list's own
// merging (equal names without regard to case, '.' appended to bare names,
// the prefix rule). Order and case are what the report shows: a reader that
// starts at the wrong descriptor, walks them in another order, stops early or
// folds case passes a case-folded set comparison but not this one. The list
// semantics themselves are the core tests' business, not this one's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fixture_paths.h"
#include "process.h"
#include "reference_scanner.h"
#include "text.h"
#include "wine_corpus.h"

namespace kivrel::test {
namespace {

namespace fs = std::filesystem;

// The PE test of the format itself, written here without the core's code:
// "MZ", then "PE\0\0" at the offset stored at 60.
bool LooksLikePe(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    char dos[64];
    if (!file.read(dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint32_t offset = uint8_t(dos[60]) | uint8_t(dos[61]) << 8 | uint8_t(dos[62]) << 16 |
                            uint32_t(uint8_t(dos[63])) << 24;
    char signature[4];
    file.seekg(offset);
    return file.read(signature, 4) && std::string(signature, 4) == std::string("PE\0\0", 4);
}

// objdump -p for many files in one process: each file's "DLL Name:" lines
// from its import tables, keyed by the path objdump echoes.
std::map<std::string, std::vector<std::string>> ObjdumpImportNames(
    const std::vector<std::string>& paths, std::string& diagnostics) {
    std::vector<std::string> argv{KIVREL_OBJDUMP, "-p"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    const ProcessResult run = RunProcess(argv);
    std::map<std::string, std::vector<std::string>> names;
    // A file objdump cannot read makes it exit nonzero but still print the
    // others; the caller reports each file it printed nothing for.
    diagnostics = run.startError + run.err.substr(0, 2000);
    if (!run.started) return names;
    const std::string header = ":     file format ";
    const std::string dllName = "\tDLL Name: ";
    std::vector<std::string>* current = nullptr;
    bool inImportTables = false;
    size_t start = 0;
    while (start < run.out.size()) {
        size_t end = run.out.find('\n', start);
        if (end == std::string::npos) end = run.out.size();
        const std::string line = run.out.substr(start, end - start);
        start = end + 1;
        const size_t at = line.find(header);
        if (at != std::string::npos && line.compare(0, 1, "/") == 0) {
            current = &names[line.substr(0, at)];
            inImportTables = false;
        } else if (line.rfind("The Import Tables", 0) == 0) {
            inImportTables = true;
        } else if (line.rfind("The ", 0) == 0) {
            inImportTables = false;  // exports, relocations ...: other tables
        } else if (inImportTables && current && line.rfind(dllName, 0) == 0) {
            current->push_back(line.substr(dllName.size()));
        }
    }
    return names;
}

std::vector<std::string> ListTexts(const CReferenceList& list) {
    std::vector<std::string> texts;
    for (const Reference& entry : list.Entries()) texts.push_back(entry.text);
    return texts;
}

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return "[" + text + "]";
}

// The PE files directly in `directory` (recursively when asked), sorted.
std::vector<std::string> PeFilesIn(const std::string& directory, bool recursive = false) {
    std::vector<std::string> paths;
    std::error_code error;
    auto add = [&](const fs::directory_entry& entry) {
        if (entry.is_regular_file() && LooksLikePe(entry.path()))
            paths.push_back(entry.path().string());
    };
    if (recursive) {
        for (const auto& entry : fs::recursive_directory_iterator(directory, error)) add(entry);
    } else {
        for (const auto& entry : fs::directory_iterator(directory, error)) add(entry);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Compares the core's names with objdump's for each of `paths`.
void CrossCheckFiles(const std::string& label, const std::vector<std::string>& paths) {
    const auto begin = std::chrono::steady_clock::now();
    std::string diagnostics;
    const auto objdump = ObjdumpImportNames(paths, diagnostics);
    ASSERT_FALSE(objdump.empty()) << "objdump failed: " << diagnostics;

    auto platform = CreateNativePlatform();
    size_t names = 0, filesWithImports = 0, merged = 0;
    std::vector<std::string> mismatches;
    for (const std::string& path : paths) {
        const auto found = objdump.find(path);
        if (found == objdump.end()) {
            mismatches.push_back(path + ": objdump printed nothing for it");
            continue;
        }
        CReferenceList expected;
        for (const std::string& name : found->second) {
            // The core skips names that do not fit a 260-character buffer.
            if (FitsPathBuffer(name)) expected.AddReference(name, 0, REF_PENDING);
        }
        merged += found->second.size() - expected.size();

        CReferenceScanner scanner(*platform);
        int errorId = -1;
        const int isPe = scanner.ScanModule(path, &errorId);
        const std::vector<std::string> actual = ListTexts(scanner.References());
        const std::vector<std::string> wanted = ListTexts(expected);
        if (!isPe) {
            mismatches.push_back(path + ": not read as a PE image");
        } else if (actual != wanted) {
            mismatches.push_back(path + ": core " + Join(actual) + ", objdump " + Join(wanted));
        } else if ((errorId == 0) != !actual.empty()) {
            mismatches.push_back(path + ": error id " + std::to_string(errorId) + " with " +
                                 std::to_string(actual.size()) + " names");
        }
        names += actual.size();
        filesWithImports += actual.empty() ? 0 : 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("%s: %zu PE files, %zu with imports, %zu names, %zu merged by the list, %.2f s\n",
                label.c_str(), paths.size(), filesWithImports, names, merged, seconds);

    // A reader that found nothing anywhere would agree with a broken parse.
    EXPECT_GT(filesWithImports, paths.size() / 2);
    EXPECT_GT(names, paths.size());
    std::string examples;
    for (size_t i = 0; i < mismatches.size() && i < 20; ++i)
        examples += "  " + mismatches[i] + "\n";
    EXPECT_TRUE(mismatches.empty())
        << mismatches.size() << " of " << paths.size() << " files differ, e.g.:\n"
        << examples;
}

#define REQUIRE_OBJDUMP() \
    if (std::string(KIVREL_OBJDUMP).empty()) GTEST_SKIP() << "no MinGW objdump was found"

// Wine's modules: hundreds of real images, PE32+ and PE32. Their import
// names happen to be lower case and sorted.
void CrossCheckWineDirectory(const char* directory) {
    REQUIRE_OBJDUMP();
    std::error_code error;
    if (!fs::is_directory(directory, error)) GTEST_SKIP() << directory << " is missing (no Wine)";
    const std::vector<std::string> paths = PeFilesIn(directory);
    ASSERT_GT(paths.size(), 100u) << "too few PE files in " << directory;
    CrossCheckFiles(directory, paths);
}

TEST(CrossCheckImports, WineX86_64ModulesMatchObjdump) { CrossCheckWineDirectory(kWineX86_64Dlls); }

TEST(CrossCheckImports, WineI386ModulesMatchObjdump) { CrossCheckWineDirectory(kWineI386Dlls); }

// What MinGW links: its runtime DLLs and our fixture chains, whose names are
// in link order and mixed case (KERNEL32.dll, msvcrt.dll, libgcc_s_seh-1.dll)
// and include an extension-less one, where Wine's are sorted and lower case.
TEST(CrossCheckImports, MinGWLinkedModulesMatchObjdump) {
    REQUIRE_OBJDUMP();
    std::vector<std::string> paths;
    for (const char* triplet : {"x86_64-w64-mingw32", "i686-w64-mingw32"}) {
        std::error_code error;
        for (const auto& version :
             fs::directory_iterator(std::string("/usr/lib/gcc/") + triplet, error)) {
            for (const std::string& path : PeFilesIn(version.path().string()))
                paths.push_back(path);
        }
        for (const std::string& path : PeFilesIn(std::string("/usr/") + triplet + "/lib")) {
            paths.push_back(path);
        }
    }
    if (fixtures::Available()) {
        for (const std::string& path : PeFilesIn(fixtures::Path({}), true)) paths.push_back(path);
    }
    if (paths.size() < 5) GTEST_SKIP() << "no MinGW runtime DLLs and no fixture tree";
    CrossCheckFiles("MinGW runtime and fixtures", paths);
}

}  // namespace
}  // namespace kivrel::test
