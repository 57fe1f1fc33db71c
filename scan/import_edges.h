// Who imports what, recorded while the scan runs: for every module read, the
// reference-list entries its import table names, in table order. Entries are
// named by their serial numbers, which survive the deletion of other entries;
// an entry replaced by a longer name is followed to its successor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "reference_list.h"

namespace kivrel {

class CImportEdges {
public:
    // The importer of the names of the module that the user named.
    static constexpr uint64_t kScannedModule = kNoSerial - 1;

    enum Kind : uint8_t {
        IMPORT,        // the import table
        DELAY_IMPORT,  // the delay-load import table
        API_SET_HOST,  // an API set to the host the schema maps it to
    };

    void Clear();
    // `importer` (a serial, or kScannedModule) imports these entries, in
    // order; those from `delayFrom` on through its delay-load table.
    void AddImports(uint64_t importer, const std::vector<uint64_t>& imported,
                    size_t delayFrom = SIZE_MAX);
    void AddApiSetHost(uint64_t apiSet, uint64_t host) {
        m_pairs.emplace_back(apiSet, host);
        m_kinds.push_back(API_SET_HOST);
    }
    // Entry `from` was replaced by the longer entry `to`: both its importers
    // and its imports now belong to `to`.
    void Redirect(uint64_t from, uint64_t to) { m_replacedBy[from] = to; }

    // The entry that `serial` stands for now.
    uint64_t Follow(uint64_t serial) const;
    // (importer, imported) in the order recorded, serials as recorded.
    const std::vector<std::pair<uint64_t, uint64_t>>& Pairs() const { return m_pairs; }
    // Parallel to Pairs(): how each was recorded.
    const std::vector<Kind>& Kinds() const { return m_kinds; }

private:
    std::vector<std::pair<uint64_t, uint64_t>> m_pairs;
    std::vector<Kind> m_kinds;
    std::unordered_map<uint64_t, uint64_t> m_replacedBy;
};

}  // namespace kivrel
