// ResolveReferences over real directories: which directory wins,
// the final states, termination, the names never looked up
// and a match reported under an unrelated name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_helpers.h"
#include "fake_platform.h"
#include "pe_writer.h"
#include "reference_scanner.h"
#include "temp_dir.h"

namespace kivrel {
namespace {

using test::PeBuilder;
using test::RefEntry;
using test::Refs;
using testing::ElementsAre;

class ResolveObserver : public IScanObserver {
public:
    void OnResolving(const std::string& name) override { resolving.push_back(name); }
    std::vector<std::string> resolving;
};

class ResolveTest : public testing::Test {
protected:
    ResolveTest() : scanner(platform, &observer) { platform.maxFindCalls = 10000; }

    // Creates the search directories d0 .. d<count-1>, in this order.
    void Directories(int count) {
        for (int i = 0; i < count; ++i) {
            dirs.push_back(temp.MakeDir("d" + std::to_string(i)));
            scanner.AddSearchDirectory(dirs.back());
        }
    }
    void Put(int dir, const std::string& name, const PeBuilder& pe) {
        temp.Write("d" + std::to_string(dir) + "/" + name, pe.Build());
    }
    void PutText(int dir, const std::string& name) {
        temp.WriteText("d" + std::to_string(dir) + "/" + name, "not a module\n");
    }
    // Scans a root module with these imports (kept outside the search
    // directories) and resolves.
    std::vector<RefEntry> Resolve(const PeBuilder& root) {
        const std::string path = temp.Write("root/root.dll", root.Build());
        EXPECT_EQ(scanner.ScanModule(path), 1);
        scanner.ResolveReferences();
        return Refs(scanner.References());
    }

    test::TempDir temp;
    test::FakePlatform platform;
    ResolveObserver observer;
    CReferenceScanner scanner;
    std::vector<std::string> dirs;
};

// A non-PE match does not stop the search: the first directory with a PE
// image wins, and the entry keeps the text it was imported under.
TEST_F(ResolveTest, FirstDirectoryWithAPeImageWins) {
    Directories(3);
    PutText(0, "a.dll");
    Put(1, "a.dll", PeBuilder());
    Put(2, "a.dll", PeBuilder());
    EXPECT_THAT(Resolve(PeBuilder().Import("A.DLL")), ElementsAre(RefEntry{"A.DLL", REF_FOUND, 1}));
}

// Only non-PE matches give INCORRECT with the first such directory; no match
// at all gives NOT_FOUND with index 0.
TEST_F(ResolveTest, IncorrectAndNotFound) {
    Directories(3);
    PutText(1, "a.dll");
    temp.Write("d2/a.dll", {});  // empty: a mapping failure, also not a PE image
    PutText(1, "other.dll");
    EXPECT_THAT(Resolve(PeBuilder().Import("a.dll").Import("missing.dll")),
                ElementsAre(RefEntry{"a.dll", REF_INCORRECT, 1},
                            RefEntry{"missing.dll", REF_NOT_FOUND, 0}));
}

TEST_F(ResolveTest, NoDirectoriesAtAll) {
    EXPECT_THAT(Resolve(PeBuilder().Import("a.dll")),
                ElementsAre(RefEntry{"a.dll", REF_NOT_FOUND, 0}));
}

TEST_F(ResolveTest, ImportsOfFoundModulesAreResolvedToo) {
    Directories(2);
    Put(0, "a.dll", PeBuilder().Pe32Plus().Import("b.dll").Import("c.dll"));
    Put(1, "b.dll", PeBuilder().Import("a.dll"));
    EXPECT_THAT(Resolve(PeBuilder().Import("a.dll")),
                ElementsAre(RefEntry{"a.dll", REF_FOUND, 0}, RefEntry{"b.dll", REF_FOUND, 1},
                            RefEntry{"c.dll", REF_NOT_FOUND, 0}));
    EXPECT_THAT(observer.resolving, ElementsAre("a.dll", "b.dll", "c.dll"));
}

// A self import and a cycle of two: each module is resolved once.
TEST_F(ResolveTest, SelfImportAndCycleResolveOnceEach) {
    Directories(1);
    Put(0, "self.dll", PeBuilder().Import("SELF.DLL").Import("a.dll"));
    Put(0, "a.dll", PeBuilder().Import("b.dll"));
    Put(0, "b.dll", PeBuilder().Import("a.dll"));
    EXPECT_THAT(Resolve(PeBuilder().Import("self.dll")),
                ElementsAre(RefEntry{"self.dll", REF_FOUND, 0}, RefEntry{"a.dll", REF_FOUND, 0},
                            RefEntry{"b.dll", REF_FOUND, 0}));
    EXPECT_THAT(observer.resolving, ElementsAre("self.dll", "a.dll", "b.dll"));
    // With nothing pending a further resolution looks nothing up.
    const size_t finds = platform.findCalls.size();
    scanner.ResolveReferences();
    EXPECT_EQ(observer.resolving.size(), 3u);
    EXPECT_EQ(platform.findCalls.size(), finds);
}

// 'FOO.' is looked up as 'FOO.*'; the file's own name replaces the entry.
TEST_F(ResolveTest, ExtensionlessNameIsReplacedByTheFileName) {
    Directories(1);
    Put(0, "foo.dll", PeBuilder());
    EXPECT_THAT(
        Resolve(PeBuilder().Import("FOO").Import("bar.dll")),
        ElementsAre(RefEntry{"bar.dll", REF_NOT_FOUND, 0}, RefEntry{"foo.dll", REF_FOUND, 0}));
    EXPECT_THAT(platform.Patterns(), testing::Contains("FOO.*"));
}

// Whatever order the platform gives the matches in, the PE image ends found.
TEST_F(ResolveTest, ExtensionlessNameWithSeveralMatches) {
    Directories(1);
    PutText(0, "foo.dll");
    Put(0, "foo.exe", PeBuilder());
    EXPECT_THAT(Resolve(PeBuilder().Import("foo")), ElementsAre(RefEntry{"foo.exe", REF_FOUND, 0}));
}

// A name with a wildcard (also the DOS forms '<', '>' and '"' that
// FindFirstFileA takes; under Wine '>>>.dll' finds 'abc.dll'), a path
// separator or a colon, and "." and "..", are never handed to the file
// system, even where a file would match them.
TEST_F(ResolveTest, HostileNamesAreNeverLookedUp) {
    Directories(1);
    for (const char* file : {"x.dll", "ok.dll", "abc.dll", "sub/evil.dll"})
        temp.Write(std::string("d0/") + file, PeBuilder().Build());
    temp.Write("evil.dll", PeBuilder().Build());
    // clang-format off
    const std::pair<const char*, const char*> names[] = {  // imported, listed as
        {"*.dll", "*.dll"}, {"x?dll", "x?dll."}, {"..\\evil.dll", "..\\evil.dll"},
        {"sub/evil.dll", "sub/evil.dll"}, {"C:evil.dll", "C:evil.dll"}, {">>>.dll", ">>>.dll"},
        {"a<.dll", "a<.dll"}, {"abc\"dll", "abc\"dll."}, {".", "."}, {"..", ".."}};
    // clang-format on
    for (const auto& [name, text] : names) {
        SCOPED_TRACE(name);
        scanner.ClearLists();
        scanner.AddSearchDirectory(dirs[0]);
        platform.findCalls.clear();
        EXPECT_THAT(
            Resolve(PeBuilder().Import(name).Import("ok.dll")),
            ElementsAre(RefEntry{text, REF_NOT_FOUND, 0}, RefEntry{"ok.dll", REF_FOUND, 0}));
        EXPECT_THAT(platform.Patterns(), ElementsAre("ok.dll"));
    }
}

// A match reported under a name unrelated to the pattern (a Windows short-name
// alias) would leave the entry pending: it is raised to FOUND in the same
// directory, and the file is listed under its reported name as well.
TEST_F(ResolveTest, MatchUnderAnUnrelatedNameTerminates) {
    Directories(2);
    Put(1, "longname.dll", PeBuilder().Import("dep.dll"));
    Put(1, "dep.dll", PeBuilder());
    platform.Script(dirs[1], {{"dep.dll", ""}, {"longname.dll", "LONGNA~1.DLL"}});
    EXPECT_THAT(
        Resolve(PeBuilder().Import("LONGNA~1.DLL")),
        ElementsAre(RefEntry{"LONGNA~1.DLL", REF_FOUND, 1}, RefEntry{"dep.dll", REF_FOUND, 1},
                    RefEntry{"longname.dll", REF_FOUND, 1}));
    EXPECT_THAT(observer.resolving, ElementsAre("LONGNA~1.DLL", "dep.dll"));
    EXPECT_EQ(platform.findCalls.size(), 4u);  // each name in d0, then in d1
}

// The alias names an already resolved module: nothing is looked up twice.
TEST_F(ResolveTest, AliasOfAModuleAlreadyFound) {
    Directories(1);
    Put(0, "longname.dll", PeBuilder());
    platform.Script(dirs[0], {{"longname.dll", "LONGNA~1.DLL"}});
    EXPECT_THAT(Resolve(PeBuilder().Import("longname.dll").Import("LONGNA~1.DLL")),
                ElementsAre(RefEntry{"longname.dll", REF_FOUND, 0},
                            RefEntry{"LONGNA~1.DLL", REF_FOUND, 0}));
    EXPECT_THAT(observer.resolving, ElementsAre("longname.dll", "LONGNA~1.DLL"));
    EXPECT_EQ(platform.findCalls.size(), 2u);
}

// A directory whose text and the pattern together do not fit a path buffer
// is not searched; the later directories are.
TEST_F(ResolveTest, DirectoryTooLongForThePatternIsNotSearched) {
    const std::string longDir(250, 'q');  // with its separator and the name: 265 characters
    scanner.AddSearchDirectory(longDir);
    dirs.push_back(temp.MakeDir("d0"));
    scanner.AddSearchDirectory(dirs[0]);
    Put(0, "abcdefghij.dll", PeBuilder());
    EXPECT_THAT(Resolve(PeBuilder().Import("abcdefghij.dll")),
                ElementsAre(RefEntry{"abcdefghij.dll", REF_FOUND, 1}));
    ASSERT_EQ(platform.findCalls.size(), 1u);
    EXPECT_EQ(platform.findCalls[0].first, dirs[0]);
}

// A chain of 200 modules, each importing the next and the first.
TEST_F(ResolveTest, LongChainEnds) {
    Directories(1);
    const int count = 200;
    for (int i = 0; i < count; ++i) {
        PeBuilder pe;
        pe.Import("m0.dll");
        if (i + 1 < count) pe.Import("m" + std::to_string(i + 1) + ".dll");
        Put(0, "m" + std::to_string(i) + ".dll", pe);
    }
    const auto refs = Resolve(PeBuilder().Import("m0.dll"));
    ASSERT_EQ(refs.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(refs[i], (RefEntry{"m" + std::to_string(i) + ".dll", REF_FOUND, 0}));
    }
    EXPECT_EQ(observer.resolving.size(), static_cast<size_t>(count));
}

}  // namespace
}  // namespace kivrel
