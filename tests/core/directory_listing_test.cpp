// The directory listing's indexes: whole names, aliases and "name.*" stems
// found exactly as a match of every entry would find them.
#include "directory_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text.h"

namespace kivrel {
namespace {

struct Named {
    const char* name;
    const char* alias;
};

std::vector<std::string> Matches(const CDirectoryListing& listing, const std::string& pattern) {
    CDirectoryListing::Query query;
    CDirectoryListing::Prepare(ToLowerAscii(pattern), query);
    std::vector<uint32_t> entries;
    listing.Find(query, entries);
    std::vector<std::string> names;
    for (uint32_t entry : entries) names.emplace_back(listing.Name(entry));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DirectoryListing, FindsByNameAliasAndStem) {
    CDirectoryListing listing;
    for (const Named& entry : std::vector<Named>{{"foo.dll", ""},
                                                 {"FOO.DLL", ""},
                                                 {"foo.bar.dll", "FOOBAR~1.DLL"},
                                                 {"Long Name.dll", "LONGNA~1.DLL"},
                                                 {"foo", ""},
                                                 {"fooa.dll", ""},
                                                 {"x.y.z", ""},
                                                 {"a.b", "a.b"}}) {
        listing.Add(entry.name, ToLowerAscii(entry.name), ToLowerAscii(entry.alias));
    }
    listing.Index();
    const struct {
        const char* pattern;
        std::vector<std::string> names;
    } cases[] = {
        {"Foo.Dll", {"FOO.DLL", "foo.dll"}},
        {"foo.*", {"FOO.DLL", "foo.bar.dll", "foo.dll"}},  // not "foo" nor "fooa.dll"
        {"foobar~1.dll", {"foo.bar.dll"}},
        {"foobar~1.*", {"foo.bar.dll"}},
        {"longna~1.dll", {"Long Name.dll"}},
        {"long name.*", {"Long Name.dll"}},
        {"x.y.*", {"x.y.z"}},
        {"x.*", {"x.y.z"}},
        {"a.b", {"a.b"}},  // an alias equal to its name: reported once
        {"foo", {"foo"}},
        {"f?o.dll", {"FOO.DLL", "foo.dll"}},
        {"*.dll", {"FOO.DLL", "Long Name.dll", "foo.bar.dll", "foo.dll", "fooa.dll"}},
        {"nothing.dll", {}},
        {"nothing.*", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Matches(listing, c.pattern), c.names) << c.pattern;
}

TEST(DirectoryListing, EmptyListingMatchesNothing) {
    CDirectoryListing listing;
    listing.Index();
    for (const char* pattern : {"a.dll", "a.*", "*"})
        EXPECT_TRUE(Matches(listing, pattern).empty());
}

TEST(DirectoryListings, EachDirectoryIsReadOncePerScan) {
    std::vector<std::string> reads;
    CDirectoryListings listings([&](const std::string& directory, CDirectoryListing& listing) {
        reads.push_back(directory);
        listing.Add(directory + ".dll", ToLowerAscii(directory + ".dll"));
    });
    for (const char* directory : {"a", "b", "a", "c", "b", "a"}) {
        EXPECT_EQ(Matches(listings.Get(directory), std::string(directory) + ".dll"),
                  std::vector<std::string>{std::string(directory) + ".dll"});
    }
    EXPECT_EQ(reads, (std::vector<std::string>{"a", "b", "c"}));
    listings.Clear();
    listings.Get("b");
    EXPECT_EQ(reads.back(), "b");
    EXPECT_EQ(reads.size(), 4u);
}

}  // namespace
}  // namespace kivrel
