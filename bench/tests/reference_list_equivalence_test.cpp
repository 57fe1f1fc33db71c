// The indexed reference list against the plain walk over the entries: random
// sequences of additions, resolution steps, look-ups and clears, built from
// names that are prefixes, extensions and case variants of one another, and
// compared entry by entry after every step.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "plain_reference_list.h"
#include "reference_list.h"

namespace kivrel::bench {
namespace {

class ListPair {
public:
    void Add(const std::string& name, uint32_t directory, uint16_t state) {
        fast.AddReference(name, directory, state);
        plain.AddReference(name, directory, state);
    }

    // Empty when both lists agree in every entry and in the first pending one.
    std::string Difference() const {
        if (fast.size() != plain.size()) {
            return "sizes " + std::to_string(fast.size()) + " and " + std::to_string(plain.size());
        }
        for (size_t i = 0; i < fast.size(); ++i) {
            if (fast[i].text != plain[i].text || fast[i].value != plain[i].value) {
                return "entry " + std::to_string(i) + ": " + fast[i].text + "/" +
                       std::to_string(fast[i].value) + " and " + plain[i].text + "/" +
                       std::to_string(plain[i].value);
            }
        }
        if (fast.FindFirstPending() != plain.FindFirstPending()) return "first pending entry";
        return "";
    }

    CReferenceList fast;
    CPlainReferenceList plain;
};

// Stems and extensions chosen so that sort order and prefix order disagree
// ('-' sorts before '.') and letter case and non-ASCII bytes vary.
std::string RandomName(std::mt19937& random) {
    static const char* const kStems[] = {"a", "A",   "ab",  "aB",   "a-b",
                                         "b", "k32", "K32", "\xC9", "\xE9"};
    static const char* const kExtensions[] = {"",    ".",     ".dll", ".DLL",  ".d",
                                              ".dl", ".dllx", ".x",   ".dll.x"};
    std::string name = kStems[random() % std::size(kStems)];
    name += kExtensions[random() % std::size(kExtensions)];
    return name;
}

TEST(ReferenceListEquivalence, RandomSequencesMatchThePlainWalk) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        ListPair lists;
        for (int step = 0; step < 2000; ++step) {
            const unsigned choice = random() % 100;
            std::string what;
            if (choice < 60) {
                const std::string name = RandomName(random);
                const uint16_t state = static_cast<uint16_t>(random() % 3 == 0 ? random() % 4 : 0u);
                const uint32_t directory = random() % 5;
                what = "add " + name + " state " + std::to_string(state);
                lists.Add(name, directory, state);
            } else if (choice < 90) {
                // A resolution step: the first pending entry gets a final
                // state, sometimes through a longer name (a found file).
                const long pending = lists.fast.FindFirstPending();
                ASSERT_EQ(pending, lists.plain.FindFirstPending())
                    << "seed " << seed << " step " << step;
                if (pending < 0) continue;
                std::string name = lists.fast[static_cast<size_t>(pending)].text;
                if (name.back() == '.' && random() % 2 == 0) name += "dll";
                what = "resolve " + name;
                lists.Add(name, random() % 5, static_cast<uint16_t>(1 + random() % 3));
            } else if (choice < 99) {
                const std::string name = RandomName(random);
                ASSERT_EQ(lists.fast.Find(name), lists.plain.Find(name))
                    << "find " << name << " seed " << seed;
                continue;
            } else {
                what = "clear";
                lists.fast.Clear();
                lists.plain.Clear();
            }
            const std::string difference = lists.Difference();
            ASSERT_EQ(difference, "") << "seed " << seed << " step " << step << " (" << what << ")";
        }
    }
}

TEST(ReferenceListEquivalence, ResolvingEveryPendingEntryVisitsThemInListOrder) {
    // The search for the next pending entry only moves forward; entries that
    // are appended behind it, also by replacing an earlier entry, are still met.
    ListPair lists;
    for (const char* name : {"c.dll", "x", "b.dll", "y"}) lists.Add(name, 0, REF_PENDING);
    std::vector<std::string> visited;
    for (long pending; (pending = lists.fast.FindFirstPending()) >= 0;) {
        const std::string text = lists.fast[static_cast<size_t>(pending)].text;
        visited.push_back(text);
        if (text == "c.dll")
            lists.Add("x.dll", 0, REF_PENDING);  // replaces the pending "x." behind it
        lists.Add(text, 1, REF_FOUND);
        ASSERT_EQ(lists.Difference(), "") << text;
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"c.dll", "b.dll", "y.", "x.dll"}));
}

TEST(ReferenceListEquivalence, NameBetweenTwoExtensionsIsDropped) {
    // Two entries extend "a."; neither is replaced and neither is raised.
    ListPair lists;
    lists.Add("a.b", 2, REF_INCORRECT);
    lists.Add("a.c", 2, REF_INCORRECT);
    lists.Add("A", 4, REF_FOUND);
    EXPECT_EQ(lists.Difference(), "");
    ASSERT_EQ(lists.fast.size(), 2u);
    EXPECT_EQ(lists.fast[0].State(), REF_INCORRECT);
    EXPECT_EQ(lists.fast[1].State(), REF_INCORRECT);
    EXPECT_EQ(lists.fast.Find("a."), -1);
}

TEST(ReferenceListEquivalence, ClearStartsTheSearchForPendingEntriesOver) {
    ListPair lists;
    lists.Add("a.dll", 0, REF_PENDING);
    lists.Add("a.dll", 0, REF_FOUND);
    EXPECT_EQ(lists.fast.FindFirstPending(), -1);
    lists.fast.Clear();
    lists.plain.Clear();
    lists.Add("b.dll", 0, REF_PENDING);
    EXPECT_EQ(lists.fast.FindFirstPending(), 0);
    EXPECT_EQ(lists.Difference(), "");
}

}  // namespace
}  // namespace kivrel::bench
