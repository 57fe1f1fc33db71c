// Helpers shared by the scanner tests: a report sink that behaves like the
// results list, and a readable form of the reference list.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "reference_list.h"
#include "reference_scanner.h"
#include "report_lines.h"

namespace kivrel::test {

// (text, state, directory index) of every entry, in list order.
struct RefEntry {
    std::string text;
    unsigned state;
    unsigned directory;
    bool operator==(const RefEntry& other) const {
        return text == other.text && state == other.state && directory == other.directory;
    }
};

inline std::ostream& operator<<(std::ostream& out, const RefEntry& e) {
    return out << "{" << e.text << ", state " << e.state << ", dir " << e.directory << "}";
}

inline std::vector<RefEntry> Refs(const CReferenceList& list) {
    std::vector<RefEntry> entries;
    for (const Reference& r : list.Entries())
        entries.push_back({r.text, r.State(), r.DirectoryIndex()});
    return entries;
}

}  // namespace kivrel::test
