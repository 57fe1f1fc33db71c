// One image's export directory (data-directory entry 0), copied out of the
// mapped file so that it outlives the mapping: the address table, the name
// pointer table with its ordinals, and the forwarder texts. Lookups bind a
// name or an ordinal as the loader does, so a table the loader cannot use
// gives the answer the loader gives.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kivrel {

class CMappedImage;

constexpr unsigned kExportDirectory = 0;
// The longest function name read (compilers cut decorated names at 4,096
// characters); a longer one reads as unreadable.
constexpr size_t kMaxFunctionName = 4096;

struct ExportMatch {
    bool found = false;
    uint32_t index = 0;            // into the address table, when found
    std::string_view forwarder;    // the export's forwarder text, when it forwards
    const char* reason = nullptr;  // why it is not found
};

class CExportTable {
public:
    explicit CExportTable(std::pmr::memory_resource* memory = std::pmr::get_default_resource())
        : m_addresses(memory),
          m_names(memory),
          m_forwarders(memory),
          m_text(memory),
          m_nameOrder(memory) {}

    // The export directory of `image`; a table without any entry when the
    // image has none or it does not translate into the file. Its arrays are
    // allocated from `memory`.
    static CExportTable Read(const CMappedImage& image,
                             std::pmr::memory_resource* memory = std::pmr::get_default_resource());

    uint32_t Base() const { return m_nBase; }
    // Entries that lie in the file (never more than the directory claims).
    size_t FunctionCount() const { return m_addresses.size(); }
    size_t NameCount() const { return m_names.size(); }
    // Name pointer table entry `i`, or "" for one that cannot be read.
    std::string_view NameAt(size_t i) const;

    // The loader's way: the hint as an index into the name pointer table,
    // then a binary search with an exact byte compare. A name the search
    // misses because the table is not sorted is not found.
    ExportMatch FindName(std::string_view name, uint16_t hint) const;
    // `ordinal - Base` must index the address table, and its entry be nonzero.
    ExportMatch FindOrdinal(uint32_t ordinal) const;

private:
    // The entry at address table index `index`, or why it binds nothing.
    ExportMatch Entry(uint32_t index) const;

    static constexpr uint32_t kUnreadable = 0xFFFFFFFF;

    uint32_t m_nBase = 0;
    std::pmr::vector<uint32_t> m_addresses;  // RVAs, by ordinal - Base
    // A name pointer table entry with the ordinal table's entry beside it.
    struct Name {
        uint32_t start;  // in m_text, or kUnreadable
        uint32_t length;
        uint16_t ordinal;
    };
    std::pmr::vector<Name> m_names;
    // Address index and start in m_text of each export that forwards, by index.
    std::pmr::vector<std::pair<uint32_t, uint32_t>> m_forwarders;
    std::pmr::string m_text;  // names and forwarder texts, each followed by a zero
    // For a name table out of order: its readable entries in name order, so
    // that telling a name it holds from one it lacks takes no scan of it.
    std::pmr::vector<uint32_t> m_nameOrder;
};

// A forwarder "MODULE.Name" or "MODULE.#ordinal", split at its last dot as
// the loader splits it. The module gets ".dll" when it has no extension.
struct Forwarder {
    std::string module;
    std::string_view name;  // in the parsed text; empty for one by ordinal
    uint16_t ordinal = 0;
};

// False for a text the loader cannot follow: no dot, an empty part, a module
// that does not fit a path buffer, an ordinal that is not a decimal number
// from 1 to 65535. (A module name the scan may not look up ends not found
// there, as any import name does.)
bool ParseForwarder(std::string_view text, Forwarder& forwarder);

}  // namespace kivrel
