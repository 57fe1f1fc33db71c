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

using Names = std::vector<std::string>;

Names Matches(const CDirectoryListing& listing, const std::string& pattern) {
    CDirectoryListing::Query query;
    CDirectoryListing::Prepare(ToLowerAscii(pattern), query);
    std::vector<uint32_t> entries;
    listing.Find(query, entries);
    Names names;
    for (uint32_t entry : entries) names.emplace_back(listing.Name(entry));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DirectoryListing, FindsByNameAliasAndStem) {
    CDirectoryListing listing;
    const std::pair<const char*, const char*> entries[] = {
        {"foo.dll", ""}, {"FOO.DLL", ""},  {"foo.bar.dll", "FOOBAR~1.DLL"},
        {"foo", ""},     {"fooa.dll", ""}, {"x.y.z", ""},
        {"a.b", "a.b"}};
    for (const auto& [name, alias] : entries)
        listing.Add(name, ToLowerAscii(name), ToLowerAscii(alias));
    listing.Index();
    const std::pair<const char*, Names> cases[] = {
        {"Foo.Dll", {"FOO.DLL", "foo.dll"}},
        {"foo.*", {"FOO.DLL", "foo.bar.dll", "foo.dll"}},  // not "foo" nor "fooa.dll"
        {"foobar~1.*", {"foo.bar.dll"}},
        {"x.*", {"x.y.z"}},
        {"a.b", {"a.b"}},  // an alias equal to its name: reported once
        {"f?o.dll", {"FOO.DLL", "foo.dll"}},
        {"nothing.*", {}},
    };
    for (const auto& [pattern, names] : cases)
        EXPECT_EQ(Matches(listing, pattern), names) << pattern;
}

}  // namespace
}  // namespace kivrel
