// A directory's entries, read once per scan, and the indexes that answer the
// scan's searches without reading the directory again. The platform layer
// fills a listing (with names folded as its file system compares them) and
// decides the order in which matches are reported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kivrel {

// The entries live in one buffer: each entry's folded name, its folded alias
// (a Windows short name; may be empty) and its real name. Two open-addressing
// hashes find them: one by whole folded name or alias, one by every folded
// prefix that ends in '.', for the pattern "name.*" of an extension-less
// import. Any other pattern is matched against every entry.
class CDirectoryListing {
public:
    // `folded` and `foldedAlias` are the keys the entry is found by; they need
    // not have the length of `name`.
    void Add(std::string_view name, std::string_view folded, std::string_view foldedAlias = {});
    // Call once all entries are added.
    void Index();

    size_t size() const { return m_entries.size(); }
    std::string_view Name(uint32_t entry) const {
        const Entry& e = m_entries[entry];
        return {m_text.data() + e.offset + e.foldedLength + e.aliasLength, e.nameLength};
    }

    // A folded pattern prepared once for all the directories it is looked up in.
    struct Query {
        enum Kind { NAME, STEM, OTHER } kind = OTHER;
        std::string folded;  // the pattern, or for a stem its part before the '*'
        size_t hash = 0;
    };
    static void Prepare(std::string foldedPattern, Query& query);

    // Appends the numbers of the entries that match, in no particular order;
    // an entry found by both its name and its alias is appended once. OTHER
    // patterns ('*', '?') are matched against folded names only.
    void Find(const Query& query, std::vector<uint32_t>& entries) const;

private:
    struct Entry {
        uint32_t offset;
        uint32_t foldedLength;
        uint32_t aliasLength;
        uint32_t nameLength;
    };
    // The first `length` characters of an entry's folded name, or of its
    // alias when the top bit of `length` is set. Eight bytes keep the tables
    // small for directories of tens of thousands of entries.
    struct Key {
        uint32_t entry;
        uint32_t length;
    };
    static constexpr uint32_t kAliasKey = 0x80000000u;

    class KeyTable {
    public:
        static size_t Hash(std::string_view key) { return std::hash<std::string_view>{}(key); }
        void Reserve(size_t count);
        void Insert(std::string_view key, Key value);
        void Find(const CDirectoryListing& listing, std::string_view key, size_t hash,
                  std::vector<uint32_t>& entries) const;

    private:
        static constexpr uint32_t kNone = UINT32_MAX;
        std::vector<Key> m_slots;
    };

    std::string_view Folded(uint32_t entry) const {
        return {m_text.data() + m_entries[entry].offset, m_entries[entry].foldedLength};
    }
    std::string_view Alias(uint32_t entry) const {
        const Entry& e = m_entries[entry];
        return {m_text.data() + e.offset + e.foldedLength, e.aliasLength};
    }

    std::string m_text;
    std::vector<Entry> m_entries;
    KeyTable m_byName;
    KeyTable m_byStem;
};

// The listings of one scan, each read on its first use through `Read`.
class CDirectoryListings {
public:
    using Reader = std::function<void(const std::string& directory, CDirectoryListing& listing)>;
    explicit CDirectoryListings(Reader read) : m_read(std::move(read)) {}

    const CDirectoryListing& Get(const std::string& directory);
    // A scan begins: every directory is read again on its next use.
    void Clear();

private:
    struct Listed {
        CDirectoryListing listing;
        size_t position = 0;  // in m_searchOrder
    };

    Reader m_read;
    // Node-based, so that the pointers of m_searchOrder stay valid.
    std::unordered_map<std::string, Listed> m_listings;
    // The directories in the order first asked for.
    std::vector<std::pair<const std::string*, const CDirectoryListing*>> m_searchOrder;
    size_t m_nNextInOrder = 0;
};

}  // namespace kivrel
