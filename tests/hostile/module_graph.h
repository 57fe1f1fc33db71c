// Import graphs written with the PE writer: chains and cycles of modules named
// m00000.dll, m00001.dll ..., scanned from a main.exe in the same directory.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "hostile_scan.h"

namespace kivrel::test {

// Five digits keep every name the same length, so none is a prefix of another.
inline std::string ModuleName(size_t index) {
    std::string digits = std::to_string(index);
    return "m" + std::string(digits.size() < 5 ? 5 - digits.size() : 0, '0') + digits + ".dll";
}

class ModuleGraph : public ::testing::Test {
protected:
    // Writes m00000.dll ... so that module i imports module i + 1, and the
    // last imports `lastImports`; main.exe imports m00000.dll.
    std::string WriteChain(size_t length, const std::vector<std::string>& lastImports) {
        for (size_t i = 0; i < length; ++i) {
            dir.Write(ModuleName(i),
                      ModuleImporting(i + 1 < length ? std::vector<std::string>{ModuleName(i + 1)}
                                                     : lastImports));
        }
        return dir.Write("main.exe", ModuleImporting({ModuleName(0)}));
    }

    // Every entry found in the module's own directory, and nothing else listed.
    void ExpectAllFoundOnce(size_t count) {
        ASSERT_EQ(scanner.References().size(), count);
        for (const Reference& entry : scanner.References().Entries()) {
            ASSERT_EQ(entry.State(), REF_FOUND) << entry.text;
            ASSERT_EQ(entry.DirectoryIndex(), 0) << entry.text;
        }
        ASSERT_EQ(report.lines.size(), count);
    }

    TempDir dir;
    FakePlatform platform;
    CReferenceScanner scanner{platform};
    CCollectedReport report;
};

}  // namespace kivrel::test
