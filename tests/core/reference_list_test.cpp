// CReferenceList::AddReference: the trailing-dot rule, state raising and the
// prefix rule.
#include "reference_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kivrel {
namespace {

using Entry = std::pair<std::string, uint32_t>;  // text, value

std::vector<Entry> Contents(const CReferenceList& list) {
    std::vector<Entry> entries;
    for (const Reference& r : list.Entries()) entries.emplace_back(r.text, r.value);
    return entries;
}

Entry E(const std::string& text, uint16_t state, uint32_t directory) {
    return {text, MakeRefValue(state, directory)};
}

TEST(ReferenceValue, StateHighDirectoryLow) {
    EXPECT_EQ(MakeRefValue(REF_FOUND, 2), 0x00030002u);
    EXPECT_EQ(MakeRefValue(REF_INCORRECT, 0x12345), 0x00022345u);  // index cut to 16 bits
    const Reference r{"a.dll", 0x0003FFFF};
    EXPECT_EQ(r.State(), REF_FOUND);
    EXPECT_EQ(r.DirectoryIndex(), 0xFFFF);
}

TEST(AddReference, NameWithoutDotGetsOne) {
    CReferenceList list;
    list.AddReference("ntdll", 0, REF_PENDING);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("ntdll.", REF_PENDING, 0)));
}

TEST(AddReference, NamesWithDotsStayAsGiven) {
    CReferenceList list;
    list.AddReference("KERNEL32.DLL", 0, REF_PENDING);
    list.AddReference("A.B.C", 0, REF_PENDING);
    list.AddReference("x.", 0, REF_PENDING);
    list.AddReference(".", 0, REF_PENDING);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("KERNEL32.DLL", 0, 0), E("A.B.C", 0, 0),
                                                     E("x.", 0, 0), E(".", 0, 0)));
}

TEST(AddReference, LongerNameReplacesItsPrefix) {
    CReferenceList list;
    list.AddReference("ntdll.", 0, REF_PENDING);
    list.AddReference("NTDLL.DLL", 2, REF_FOUND);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("NTDLL.DLL", REF_FOUND, 2)));
}

TEST(AddReference, ShorterNameIsDropped) {
    CReferenceList list;
    list.AddReference("NTDLL.DLL", 0, REF_PENDING);
    list.AddReference("ntdll", 0, REF_PENDING);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("NTDLL.DLL", REF_PENDING, 0)));
}

// A shorter name neither adds nor raises, even with a higher state.
TEST(AddReference, ShorterNameDoesNotRaiseTheLongerEntry) {
    CReferenceList list;
    list.AddReference("a.dll", 1, REF_INCORRECT);
    list.AddReference("A.", 5, REF_FOUND);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("a.dll", REF_INCORRECT, 1)));
}

class AddReferenceFromIncorrect : public testing::Test {
protected:
    void SetUp() override { list.AddReference("a.dll", 1, REF_INCORRECT); }
    CReferenceList list;
};

TEST_F(AddReferenceFromIncorrect, HigherStateSetsStateAndDirectory) {
    list.AddReference("A.DLL", 3, REF_FOUND);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("a.dll", REF_FOUND, 3)));  // text kept
}

TEST_F(AddReferenceFromIncorrect, LowerStateChangesNothing) {
    list.AddReference("A.DLL", 0, REF_NOT_FOUND);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("a.dll", REF_INCORRECT, 1)));
}

TEST_F(AddReferenceFromIncorrect, EqualStateKeepsTheDirectory) {
    list.AddReference("a.dll", 4, REF_INCORRECT);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("a.dll", REF_INCORRECT, 1)));
}

TEST(AddReference, ReplacementMovesToTheEnd) {
    CReferenceList list;
    list.AddReference("KERNEL32", 0, REF_PENDING);
    list.AddReference("user32.dll", 0, REF_PENDING);
    list.AddReference("gdi32.dll", 0, REF_PENDING);
    list.AddReference("kernel32.dll", 1, REF_FOUND);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("user32.dll", 0, 0), E("gdi32.dll", 0, 0),
                                                     E("kernel32.dll", REF_FOUND, 1)));
}

// The prefix rule replaces whatever the state: a found entry can become pending again.
TEST(AddReference, ReplacementIgnoresTheOldState) {
    CReferenceList list;
    list.AddReference("a.dll", 2, REF_FOUND);
    list.AddReference("a.dll.mui", 0, REF_PENDING);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("a.dll.mui", REF_PENDING, 0)));
}

// The prefix test is on characters, not on name parts: 'ab.dll' is a prefix of 'AB.DLLX'.
TEST(AddReference, PrefixIsCharacterWise) {
    CReferenceList list;
    list.AddReference("ab.dll", 0, REF_PENDING);
    list.AddReference("abc.dll", 0, REF_PENDING);  // no prefix relation
    list.AddReference("AB.DLLX", 0, REF_PENDING);  // 'ab.dll' is a prefix of it
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("abc.dll", 0, 0), E("AB.DLLX", 0, 0)));
}

// Only ASCII letters are folded: bytes of the system code page stay distinct.
TEST(AddReference, OnlyAsciiLettersAreFolded) {
    CReferenceList list;
    list.AddReference("\xC9t\xC9.dll", 0, REF_PENDING);
    list.AddReference("\xE9t\xE9.dll", 0, REF_PENDING);
    list.AddReference("\xC9T\xC9.DLL", 0, REF_FOUND);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("\xC9t\xC9.dll", REF_FOUND, 0),
                                                     E("\xE9t\xE9.dll", REF_PENDING, 0)));
}

// Several entries may extend a name: the name is dropped, none of them changes.
TEST(AddReference, NameThatSeveralEntriesExtend) {
    CReferenceList list;
    list.AddReference("a.dll", 1, REF_FOUND);
    list.AddReference("a.exe", 0, REF_PENDING);
    list.AddReference("A", 2, REF_NOT_FOUND);
    list.AddReference("a.", 2, REF_NOT_FOUND);
    EXPECT_THAT(Contents(list),
                testing::ElementsAre(E("a.dll", REF_FOUND, 1), E("a.exe", REF_PENDING, 0)));
}

// Only the entry that the name extends is replaced, whatever sorts near it.
TEST(AddReference, ReplacementAmongSimilarNames) {
    CReferenceList list;
    list.AddReference("ab-x.dll", 0, REF_FOUND);
    list.AddReference("ab", 0, REF_PENDING);  // 'ab.'
    list.AddReference("ab/", 0, REF_NOT_FOUND);
    list.AddReference("a.dll", 0, REF_PENDING);
    list.AddReference("AB.DLL", 4, REF_FOUND);
    EXPECT_THAT(Contents(list),
                testing::ElementsAre(E("ab-x.dll", REF_FOUND, 0), E("ab/.", REF_NOT_FOUND, 0),
                                     E("a.dll", REF_PENDING, 0), E("AB.DLL", REF_FOUND, 4)));
    EXPECT_EQ(list.FindFirstPending(), 2);
}

// A replacement is pending again and is found by the next search for pending
// entries, although it stands after entries already resolved.
TEST(AddReference, ReplacementIsPendingAgain) {
    CReferenceList list;
    list.AddReference("a.dll", 0, REF_PENDING);
    list.AddReference("b.dll", 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 0);
    list.AddReference("a.dll", 1, REF_FOUND);
    list.AddReference("b.dll", 1, REF_FOUND);
    EXPECT_EQ(list.FindFirstPending(), -1);
    list.AddReference("a.dll.local", 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 1);
    EXPECT_THAT(Contents(list),
                testing::ElementsAre(E("b.dll", REF_FOUND, 1), E("a.dll.local", REF_PENDING, 0)));
    list.Clear();
    list.AddReference("c.dll", 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 0);
}

TEST(AddReference, FinalStateWhenNew) {
    CReferenceList list;
    list.AddReference("x.dll", 7, REF_NOT_FOUND);
    EXPECT_THAT(Contents(list), testing::ElementsAre(E("x.dll", REF_NOT_FOUND, 7)));
}

TEST(ReferenceList, FindAndFirstPending) {
    CReferenceList list;
    EXPECT_EQ(list.FindFirstPending(), -1);
    list.AddReference("a.dll", 0, REF_FOUND);
    list.AddReference("b.dll", 0, REF_PENDING);
    list.AddReference("c.dll", 0, REF_PENDING);
    EXPECT_EQ(list.FindFirstPending(), 1);
    EXPECT_EQ(list.Find("C.DLL"), 2);
    EXPECT_EQ(list.Find("c.dl"), -1);
    list.Clear();
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace kivrel
