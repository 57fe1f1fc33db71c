// The report: found modules grouped by search directory, then the names that
// stayed unresolved under their heading.
#include <vector>

#include "messages.h"
#include "reference_scanner.h"

namespace kivrel {

std::string CReferenceScanner::FoundPath(size_t index) const {
    const Reference& entry = m_references[index];
    const bool onDisk = m_platform.NamesAreCaseSensitive() && !entry.fileName.empty();
    return m_directories[entry.DirectoryIndex()] + (onDisk ? entry.fileName : entry.text);
}

void CReferenceScanner::ReportReferences(IReportSink& sink) const {
    const auto& references = m_references.Entries();
    if (references.empty()) return;

    // Found entries by directory, each bucket in reference-list order.
    std::vector<std::vector<size_t>> byDirectory(m_directories.size());
    for (size_t j = 0; j < references.size(); ++j) {
        const Reference& entry = references[j];
        if (entry.State() == REF_FOUND && entry.DirectoryIndex() < byDirectory.size()) {
            byDirectory[entry.DirectoryIndex()].push_back(j);
        }
    }
    for (size_t d = 0; d < byDirectory.size(); ++d) {
        for (size_t j : byDirectory[d]) {
            sink.AddLine(FoundPath(j), static_cast<uint32_t>(j + 1));
        }
    }

    bool headingWritten = false;
    for (const Reference& entry : references) {
        if (entry.State() == REF_FOUND) continue;
        if (!headingWritten) {
            sink.AddLine("", 0);
            sink.AddLine(MessageText(IDS_NOT_FOUND_HEADING), 0);
            sink.AddLine("", 0);
            headingWritten = true;
        }
        sink.AddLine(entry.text, 0);
    }
}

}  // namespace kivrel
