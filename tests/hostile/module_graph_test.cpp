// Import graphs a hostile set of modules can form: a module importing itself,
// two importing each other, and a cycle of a thousand. Each name resolves
// exactly once.
#include "module_graph.h"

#include <gtest/gtest.h>

namespace kivrel::test {
namespace {

TEST_F(ModuleGraph, ModuleImportingItselfResolvesOnce) {
    dir.Write("self.dll", ModuleImporting({"self.dll", "SELF.DLL", "self"}));
    scanner.Scan(dir.Write("main.exe", ModuleImporting({"self.dll"})), "", true, report);
    ExpectAllFoundOnce(1);
    EXPECT_EQ(platform.findCalls.size(), 1u);
}

TEST_F(ModuleGraph, TwoModulesImportingEachOtherResolveOnceEach) {
    dir.Write("ping.dll", ModuleImporting({"pong.dll"}));
    dir.Write("pong.dll", ModuleImporting({"ping.dll"}));
    scanner.Scan(dir.Write("main.exe", ModuleImporting({"ping.dll"})), "", true, report);
    ExpectAllFoundOnce(2);
    EXPECT_EQ(platform.findCalls.size(), 2u);
}

TEST_F(ModuleGraph, CycleOfAThousandModulesResolvesOnceEach) {
    const size_t length = 1000;
    scanner.Scan(WriteChain(length, {ModuleName(0)}), "", true, report);
    ExpectAllFoundOnce(length);
    EXPECT_EQ(platform.findCalls.size(), length);
}

}  // namespace
}  // namespace kivrel::test
