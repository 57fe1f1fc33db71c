#include "directory_listing.h"

#include <algorithm>

#include "text.h"

namespace kivrel {

void CDirectoryListing::Add(std::string_view name, std::string_view folded,
                            std::string_view foldedAlias) {
    const size_t offset = m_text.size();
    m_entries.push_back(Entry{static_cast<uint32_t>(offset), static_cast<uint32_t>(folded.size()),
                              static_cast<uint32_t>(foldedAlias.size()),
                              static_cast<uint32_t>(name.size())});
    m_text.append(folded).append(foldedAlias).append(name);
}

void CDirectoryListing::Index() {
    size_t keys = 0;
    size_t stems = 0;
    for (uint32_t i = 0; i < m_entries.size(); ++i) {
        for (std::string_view key : {Folded(i), Alias(i)}) {
            keys += key.empty() ? 0 : 1;
            stems += static_cast<size_t>(std::count(key.begin(), key.end(), '.'));
        }
    }
    m_byName.Reserve(keys);
    m_byStem.Reserve(stems);
    for (uint32_t i = 0; i < m_entries.size(); ++i) {
        for (const uint32_t kind : {0u, kAliasKey}) {
            const std::string_view key = kind == 0 ? Folded(i) : Alias(i);
            if (key.empty()) continue;
            m_byName.Insert(key, Key{i, kind | static_cast<uint32_t>(key.size())});
            for (size_t dot = key.find('.'); dot != std::string_view::npos;
                 dot = key.find('.', dot + 1)) {
                m_byStem.Insert(key.substr(0, dot + 1),
                                Key{i, kind | static_cast<uint32_t>(dot + 1)});
            }
        }
    }
}

void CDirectoryListing::Prepare(std::string foldedPattern, Query& query) {
    query.folded = std::move(foldedPattern);
    const size_t wildcard = query.folded.find_first_of("*?");
    if (wildcard == std::string::npos) {
        query.kind = Query::NAME;
    } else if (wildcard + 1 == query.folded.size() && query.folded.back() == '*' && wildcard > 0 &&
               query.folded[wildcard - 1] == '.') {
        query.kind = Query::STEM;
        query.folded.pop_back();
    } else {
        query.kind = Query::OTHER;
    }
    query.hash = KeyTable::Hash(query.folded);
}

void CDirectoryListing::Find(const Query& query, std::vector<uint32_t>& entries) const {
    const size_t first = entries.size();
    switch (query.kind) {
        case Query::NAME:
            m_byName.Find(*this, query.folded, query.hash, entries);
            break;
        case Query::STEM:
            m_byStem.Find(*this, query.folded, query.hash, entries);
            break;
        case Query::OTHER:
            for (uint32_t i = 0; i < m_entries.size(); ++i) {
                if (MatchesWildcardNoCase(query.folded, Folded(i))) entries.push_back(i);
            }
            return;
    }
    // A name and its alias may both match; neither is ever keyed twice.
    if (entries.size() - first > 1) {
        std::sort(entries.begin() + static_cast<std::ptrdiff_t>(first), entries.end());
        entries.erase(
            std::unique(entries.begin() + static_cast<std::ptrdiff_t>(first), entries.end()),
            entries.end());
    }
}

void CDirectoryListing::KeyTable::Reserve(size_t count) {
    size_t capacity = 16;
    while (capacity < 2 * count) capacity *= 2;  // at most half full
    m_slots.assign(capacity, Key{kNone, 0});
}

void CDirectoryListing::KeyTable::Insert(std::string_view key, Key value) {
    size_t slot = Hash(key) & (m_slots.size() - 1);
    while (m_slots[slot].entry != kNone) slot = (slot + 1) & (m_slots.size() - 1);
    m_slots[slot] = value;
}

void CDirectoryListing::KeyTable::Find(const CDirectoryListing& listing, std::string_view key,
                                       size_t hash, std::vector<uint32_t>& entries) const {
    if (m_slots.empty()) return;
    for (size_t slot = hash & (m_slots.size() - 1); m_slots[slot].entry != kNone;
         slot = (slot + 1) & (m_slots.size() - 1)) {
        const Key& candidate = m_slots[slot];
        if ((candidate.length & ~kAliasKey) != key.size()) continue;
        const std::string_view text = (candidate.length & kAliasKey) != 0
                                          ? listing.Alias(candidate.entry)
                                          : listing.Folded(candidate.entry);
        if (text.substr(0, key.size()) == key) entries.push_back(candidate.entry);
    }
}

// The scan asks for the directories in search order for each name, so the one
// after the last asked, or else the first, is nearly always the one wanted:
// comparing it spares hashing the directory text on every one of the searches.
const CDirectoryListing& CDirectoryListings::Get(const std::string& directory) {
    // The next in search order, the same again (one directory asked for many
    // names), or the first.
    for (size_t guess : {m_nNextInOrder, m_nNextInOrder - 1, size_t(0)}) {
        if (guess < m_searchOrder.size() && *m_searchOrder[guess].first == directory) {
            m_nNextInOrder = guess + 1;
            return *m_searchOrder[guess].second;
        }
    }
    auto found = m_listings.find(directory);
    if (found != m_listings.end()) {
        m_nNextInOrder = found->second.position + 1;
        return found->second.listing;
    }
    auto added = m_listings.emplace(directory, Listed{}).first;
    Listed& listed = added->second;
    listed.position = m_searchOrder.size();
    m_searchOrder.emplace_back(&added->first, &listed.listing);
    m_nNextInOrder = m_searchOrder.size();
    m_read(directory, listed.listing);
    listed.listing.Index();
    return listed.listing;
}

void CDirectoryListings::Clear() {
    m_listings.clear();
    m_searchOrder.clear();
    m_nNextInOrder = 0;
}

}  // namespace kivrel
