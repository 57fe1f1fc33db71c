// A closure of twenty thousand modules in one chain: deeper than any recursion
// could go, and every image must be released before the next is mapped.
#include <fstream>

#include "hostile_scan.h"

namespace kivrel::test {
namespace {

TEST_F(HostileScan, ChainOfTwentyThousandModulesResolvesWithoutRecursion) {
    const size_t length = 20000;
    // Five digits keep every name the same length: none a prefix of another.
    auto name = [](size_t i) { return "m" + std::to_string(100000 + i).substr(1) + ".dll"; };
    for (size_t i = 0; i < length; ++i)
        dir.Write(name(i), PeImporting(i + 1 < length ? name(i + 1) : ""));
    scanner.Scan(dir.Write("main.exe", PeImporting(name(0))), "", true, report);

    ASSERT_EQ(scanner.References().size(), length);
    for (const Reference& entry : scanner.References().Entries())
        ASSERT_EQ(entry.State(), REF_FOUND) << entry.text;
    EXPECT_EQ(report.Lines().size(), length);
    EXPECT_EQ(report.Lines().back().text, dir.Dir() + name(length - 1));
    // No mapping of a file under the directory is left behind.
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        EXPECT_EQ(line.find(dir.Path().string()), std::string::npos) << line;
}

}  // namespace
}  // namespace kivrel::test
