// The indexed reference list against the plain walk over the entries: random
// sequences of additions, resolution steps, look-ups and clears, built from
// names that are prefixes, extensions and case variants of one another, and
// compared entry by entry after every step.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "plain_reference_list.h"
#include "reference_list.h"

namespace kivrel::bench {
namespace {

// Empty when both lists agree in every entry and in the first pending one.
std::string Difference(const CReferenceList& fast, const CPlainReferenceList& plain) {
    if (fast.size() != plain.size()) return "sizes differ";
    for (size_t i = 0; i < fast.size(); ++i) {
        if (fast[i].text != plain[i].text || fast[i].value != plain[i].value)
            return "entry " + std::to_string(i) + ": " + fast[i].text + " and " + plain[i].text;
    }
    return fast.FindFirstPending() == plain.FindFirstPending() ? "" : "first pending entry";
}

TEST(ReferenceListEquivalence, RandomSequencesMatchThePlainWalk) {
    // Sort order and prefix order disagree ('-' sorts before '.'); letter
    // case and non-ASCII bytes vary.
    const char* const stems[] = {"a", "A", "ab", "aB", "a-b", "b", "k32", "K32", "\xC9", "\xE9"};
    const char* const extensions[] = {"",    ".",     ".dll", ".DLL",  ".d",
                                      ".dl", ".dllx", ".x",   ".dll.x"};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        auto name = [&] {
            return std::string(stems[random() % std::size(stems)]) +
                   extensions[random() % std::size(extensions)];
        };
        CReferenceList fast;
        CPlainReferenceList plain;
        for (int step = 0; step < 2000; ++step) {
            const unsigned choice = random() % 100;
            std::string text;
            uint16_t state = 0;
            if (choice < 60) {
                text = name();
                state = static_cast<uint16_t>(random() % 3 == 0 ? random() % 4 : 0u);
            } else if (choice < 90) {
                // A resolution step: the first pending entry gets a final
                // state, sometimes through a longer name (a found file).
                const long pending = fast.FindFirstPending();
                if (pending < 0) continue;
                text = fast[static_cast<size_t>(pending)].text;
                if (text.back() == '.' && random() % 2 == 0) text += "dll";
                state = static_cast<uint16_t>(1 + random() % 3);
            } else if (choice < 99) {
                text = name();
                ASSERT_EQ(fast.Find(text), plain.Find(text)) << "find " << text << " seed " << seed;
                continue;
            } else {
                fast.Clear();
                plain.Clear();
            }
            if (!text.empty()) {
                const uint32_t directory = random() % 5;
                fast.AddReference(text, directory, state);
                plain.AddReference(text, directory, state);
            }
            ASSERT_EQ(Difference(fast, plain), "")
                << "seed " << seed << " step " << step << " " << text;
        }
    }
}

}  // namespace
}  // namespace kivrel::bench
