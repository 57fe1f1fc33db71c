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

namespace kivrel::test {

using Line = std::pair<std::string, uint32_t>;  // text, item value

class RecordingSink : public IReportSink {
public:
    void ResetLines() override {
        lines.clear();
        ++resets;
    }
    void AddLine(const std::string& text, uint32_t value) override {
        lines.emplace_back(text, value);
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Line& line : lines) texts.push_back(line.first);
        return texts;
    }

    std::vector<Line> lines;
    int resets = 0;
};

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
