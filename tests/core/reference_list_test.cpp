// CReferenceList::AddReference: the trailing-dot rule, state raising and the
// prefix rule, each case a sequence of additions and the list it leaves.
#include "reference_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kivrel {
namespace {

using Entry = std::pair<std::string, uint32_t>;  // text, value

struct Add {
    const char* name;
    uint32_t directory;
    uint16_t state;
};

Entry E(const std::string& text, uint16_t state, uint32_t directory) {
    return {text, MakeRefValue(state, directory)};
}

std::vector<Entry> Contents(const CReferenceList& list) {
    std::vector<Entry> entries;
    for (const Reference& r : list.Entries()) entries.emplace_back(r.text, r.value);
    return entries;
}

TEST(ReferenceValue, StateHighDirectoryLow) {
    EXPECT_EQ(MakeRefValue(REF_FOUND, 2), 0x00030002u);
    EXPECT_EQ(MakeRefValue(REF_INCORRECT, 0x12345), 0x00022345u);  // index cut to 16 bits
    const Reference r{"a.dll", 0x0003FFFF};
    EXPECT_EQ(r.State(), REF_FOUND);
    EXPECT_EQ(r.DirectoryIndex(), 0xFFFF);
}

TEST(AddReference, Sequences) {
    const struct {
        const char* name;
        std::vector<Add> adds;
        std::vector<Entry> expected;
    } cases[] = {
        // clang-format off
        {"a name without a dot gets one; a new entry takes the given state",
         {{"ntdll", 0, REF_PENDING}, {"x.dll", 7, REF_NOT_FOUND}},
         {E("ntdll.", REF_PENDING, 0), E("x.dll", REF_NOT_FOUND, 7)}},
        {"names with dots stay as given",
         {{"KERNEL32.DLL", 0, REF_PENDING}, {"A.B.C", 0, REF_PENDING}, {"x.", 0, REF_PENDING}, {".", 0, REF_PENDING}},
         {E("KERNEL32.DLL", 0, 0), E("A.B.C", 0, 0), E("x.", 0, 0), E(".", 0, 0)}},
        {"a longer name replaces its prefix", {{"ntdll.", 0, REF_PENDING}, {"NTDLL.DLL", 2, REF_FOUND}},
         {E("NTDLL.DLL", REF_FOUND, 2)}},
        {"a shorter name is dropped", {{"NTDLL.DLL", 0, REF_PENDING}, {"ntdll", 0, REF_PENDING}},
         {E("NTDLL.DLL", REF_PENDING, 0)}},
        {"a shorter name does not raise the longer entry", {{"a.dll", 1, REF_INCORRECT}, {"A.", 5, REF_FOUND}},
         {E("a.dll", REF_INCORRECT, 1)}},
        {"a higher state sets state and directory, the text is kept",
         {{"a.dll", 1, REF_INCORRECT}, {"A.DLL", 3, REF_FOUND}}, {E("a.dll", REF_FOUND, 3)}},
        {"a lower state changes nothing", {{"a.dll", 1, REF_INCORRECT}, {"A.DLL", 0, REF_NOT_FOUND}},
         {E("a.dll", REF_INCORRECT, 1)}},
        {"an equal state keeps the directory", {{"a.dll", 1, REF_INCORRECT}, {"a.dll", 4, REF_INCORRECT}},
         {E("a.dll", REF_INCORRECT, 1)}},
        {"a replacement moves to the end",
         {{"KERNEL32", 0, REF_PENDING}, {"user32.dll", 0, REF_PENDING}, {"gdi32.dll", 0, REF_PENDING},
          {"kernel32.dll", 1, REF_FOUND}},
         {E("user32.dll", 0, 0), E("gdi32.dll", 0, 0), E("kernel32.dll", REF_FOUND, 1)}},
        {"a replacement ignores the old state", {{"a.dll", 2, REF_FOUND}, {"a.dll.mui", 0, REF_PENDING}},
         {E("a.dll.mui", REF_PENDING, 0)}},
        {"the prefix test is on characters, not on name parts",
         {{"ab.dll", 0, REF_PENDING}, {"abc.dll", 0, REF_PENDING}, {"AB.DLLX", 0, REF_PENDING}},
         {E("abc.dll", 0, 0), E("AB.DLLX", 0, 0)}},
        {"only ASCII letters are folded",
         {{"\xC9t\xC9.dll", 0, REF_PENDING}, {"\xE9t\xE9.dll", 0, REF_PENDING}, {"\xC9T\xC9.DLL", 0, REF_FOUND}},
         {E("\xC9t\xC9.dll", REF_FOUND, 0), E("\xE9t\xE9.dll", REF_PENDING, 0)}},
        {"a name that several entries extend is dropped, none of them changes",
         {{"a.dll", 1, REF_FOUND}, {"a.exe", 0, REF_PENDING}, {"A", 2, REF_NOT_FOUND}, {"a.", 2, REF_NOT_FOUND}},
         {E("a.dll", REF_FOUND, 1), E("a.exe", REF_PENDING, 0)}},
        {"only the entry the name extends is replaced, whatever sorts near it",
         {{"ab-x.dll", 0, REF_FOUND}, {"ab", 0, REF_PENDING}, {"ab/", 0, REF_NOT_FOUND}, {"a.dll", 0, REF_PENDING},
          {"AB.DLL", 4, REF_FOUND}},
         {E("ab-x.dll", REF_FOUND, 0), E("ab/.", REF_NOT_FOUND, 0), E("a.dll", REF_PENDING, 0),
          E("AB.DLL", REF_FOUND, 4)}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CReferenceList list;
        for (const Add& a : c.adds) list.AddReference(a.name, a.directory, a.state);
        EXPECT_EQ(Contents(list), c.expected);
    }
}

// A replacement is pending again and is found by the next search for pending
// entries, although it stands after entries already resolved.
TEST(ReferenceList, FindFirstPendingFindAndClear) {
    CReferenceList list;
    EXPECT_EQ(list.FindFirstPending(), -1);
    list.AddReference("a.dll", 0, REF_PENDING);
    list.AddReference("b.dll", 0, REF_PENDING);
    list.AddReference("c.dll", 0, REF_FOUND);
    EXPECT_EQ(list.FindFirstPending(), 0);
    EXPECT_EQ(list.Find("C.DLL"), 2);
    EXPECT_EQ(list.Find("c.dl"), -1);
    list.AddReference("a.dll", 1, REF_FOUND);
    list.AddReference("b.dll", 1, REF_FOUND);
    EXPECT_EQ(list.FindFirstPending(), -1);
    list.AddReference("a.dll.local", 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 2);
    EXPECT_THAT(Contents(list),
                testing::ElementsAre(E("b.dll", REF_FOUND, 1), E("c.dll", REF_FOUND, 0),
                                     E("a.dll.local", REF_PENDING, 0)));
    list.Clear();
    EXPECT_TRUE(list.empty());
    list.AddReference("c.dll", 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 0);
}

}  // namespace
}  // namespace kivrel
