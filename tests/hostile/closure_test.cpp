// A closure of twenty thousand modules in one chain: deeper than any recursion
// could go, and every image must be released before the next is mapped.
#include <fstream>

#include "module_graph.h"

namespace kivrel::test {
namespace {

// Lines of /proc/self/maps naming a file under `directory`: mappings left behind.
size_t MappingsUnder(const std::string& directory) {
    std::ifstream maps("/proc/self/maps");
    size_t count = 0;
    for (std::string line; std::getline(maps, line);)
        count += line.find(directory) != std::string::npos;
    return count;
}

TEST_F(ModuleGraph, ChainOfTwentyThousandModulesResolvesWithoutRecursion) {
    const size_t length = 20000;
    scanner.Scan(WriteChain(length, {}), "", true, report);
    ExpectAllFoundOnce(length);
    EXPECT_EQ(MappingsUnder(dir.Path().string()), 0u);
    EXPECT_EQ(report.lines.back(), dir.Dir() + ModuleName(length - 1));
}

}  // namespace
}  // namespace kivrel::test
