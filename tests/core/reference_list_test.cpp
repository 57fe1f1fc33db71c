// CReferenceList: the trailing-dot rule, state raising and the prefix rule,
// each case a sequence of additions and the list it leaves.
#include "reference_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kivrel {
namespace {

using Entry = std::pair<std::string, uint32_t>;  // text, value

Entry E(const std::string& text, uint16_t state, uint32_t directory) {
    return {text, MakeRefValue(state, directory)};
}

std::vector<Entry> Contents(const CReferenceList& list) {
    std::vector<Entry> entries;
    for (const Reference& r : list.Entries()) entries.emplace_back(r.text, r.value);
    return entries;
}

TEST(ReferenceList, AddReference) {
    const uint16_t P = REF_PENDING, F = REF_FOUND, I = REF_INCORRECT, N = REF_NOT_FOUND;
    const struct {
        const char* name;
        std::vector<Entry> adds;  // text, state << 16 | directory
        std::vector<Entry> expected;
    } cases[] = {
        // clang-format off
        {"a name without a dot gets one; names with dots stay",
         {E("ntdll", P, 0), E("x.dll", N, 7), E("A.B.C", P, 0), E(".", P, 0)},
         {E("ntdll.", P, 0), E("x.dll", N, 7), E("A.B.C", P, 0), E(".", P, 0)}},
        {"a longer name replaces its prefix, whatever its state, at the end",
         {E("KERNEL32", F, 1), E("user32.dll", P, 0), E("kernel32.dll", P, 0)},
         {E("user32.dll", P, 0), E("kernel32.dll", P, 0)}},
        {"a shorter name is dropped and raises nothing", {E("a.dll", I, 1), E("A.", F, 5)}, {E("a.dll", I, 1)}},
        {"a higher state sets state and directory, the text is kept",
         {E("a.dll", I, 1), E("A.DLL", F, 3)}, {E("a.dll", F, 3)}},
        {"a lower state changes nothing", {E("a.dll", I, 1), E("A.DLL", N, 0)}, {E("a.dll", I, 1)}},
        {"an equal state keeps the directory", {E("a.dll", I, 1), E("a.dll", I, 4)}, {E("a.dll", I, 1)}},
        {"the prefix test is on characters, not on name parts",
         {E("ab.dll", P, 0), E("abc.dll", P, 0), E("AB.DLLX", P, 0)}, {E("abc.dll", P, 0), E("AB.DLLX", P, 0)}},
        {"only ASCII letters are folded",
         {E("\xC9t\xC9.dll", P, 0), E("\xE9t\xE9.dll", P, 0), E("\xC9T\xC9.DLL", F, 0)},
         {E("\xC9t\xC9.dll", F, 0), E("\xE9t\xE9.dll", P, 0)}},
        {"a name that several entries extend is dropped",
         {E("a.dll", F, 1), E("a.exe", P, 0), E("A", N, 2)}, {E("a.dll", F, 1), E("a.exe", P, 0)}},
        {"only the entry the name extends is replaced, whatever sorts near it",
         {E("ab-x.dll", F, 0), E("ab", P, 0), E("ab/", N, 0), E("a.dll", P, 0), E("AB.DLL", F, 4)},
         {E("ab-x.dll", F, 0), E("ab/.", N, 0), E("a.dll", P, 0), E("AB.DLL", F, 4)}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CReferenceList list;
        for (const Entry& a : c.adds)
            list.AddReference(a.first, a.second & 0xFFFF, static_cast<uint16_t>(a.second >> 16));
        EXPECT_EQ(Contents(list), c.expected);
    }
}

// A replacement is pending again and found by the next search for pending
// entries, although it stands after entries already resolved.
TEST(ReferenceList, FindFirstPendingAfterAReplacement) {
    CReferenceList list;
    for (const char* name : {"a.dll", "b.dll", "c.dll"}) list.AddReference(name, 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 0);
    for (const char* name : {"a.dll", "b.dll", "c.dll"}) list.AddReference(name, 1, REF_FOUND);
    EXPECT_EQ(list.FindFirstPending(), -1);
    list.AddReference("a.dll.local", 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 2);
    EXPECT_EQ(list.Find("C.DLL"), 1);
    list.Clear();
    list.AddReference("c.dll", 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 0);
}

}  // namespace
}  // namespace kivrel
