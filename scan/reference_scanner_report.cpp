// The report: found modules grouped by search directory, then API set names
// with their hosts, the names that stayed unresolved, and those of them
// imported only through delay-loading, each group under its heading.
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

    // Each group: an empty line, its heading, an empty line, then its lines.
    auto writeGroup = [&](const char* heading, auto belongs, auto lineOf) {
        bool headingWritten = false;
        for (const Reference& entry : references) {
            if (!belongs(entry)) continue;
            if (!headingWritten) {
                sink.AddLine("", 0);
                sink.AddLine(heading, 0);
                sink.AddLine("", 0);
                headingWritten = true;
            }
            sink.AddLine(lineOf(entry), 0);
        }
    };
    auto text = [](const Reference& entry) { return entry.text; };
    auto unresolved = [](const Reference& entry) {
        return entry.State() != REF_FOUND && entry.State() != REF_API_SET;
    };
    writeGroup(
        kApiSetsHeading, [](const Reference& entry) { return entry.State() == REF_API_SET; },
        [](const Reference& entry) { return entry.text + " => " + entry.host; });
    writeGroup(
        MessageText(IDS_NOT_FOUND_HEADING),
        [&](const Reference& entry) { return unresolved(entry) && !entry.delayLoadOnly; }, text);
    writeGroup(
        kDelayLoadOnlyHeading,
        [&](const Reference& entry) { return unresolved(entry) && entry.delayLoadOnly; }, text);
}

}  // namespace kivrel
