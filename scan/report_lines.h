// The report as a list of lines, as the results list would hold it: the one
// collector behind the command line, the tests, the fuzz target and the
// benchmark.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "reference_scanner.h"

namespace kivrel {

struct ReportLine {
    std::string text;
    uint32_t value = 0;  // reference index + 1 for a found module's path, else 0

    bool operator==(const ReportLine& other) const {
        return text == other.text && value == other.value;
    }
    bool operator!=(const ReportLine& other) const { return !(*this == other); }
};

inline std::ostream& operator<<(std::ostream& out, const ReportLine& line) {
    return out << '"' << line.text << "\" " << line.value;
}

class CReportLines final : public IReportSink {
public:
    void ResetLines() override { m_lines.clear(); }
    void AddLine(const std::string& text, uint32_t value) override {
        m_lines.push_back({text, value});
    }

    const std::vector<ReportLine>& Lines() const { return m_lines; }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        texts.reserve(m_lines.size());
        for (const ReportLine& line : m_lines) texts.push_back(line.text);
        return texts;
    }

private:
    std::vector<ReportLine> m_lines;
};

}  // namespace kivrel
