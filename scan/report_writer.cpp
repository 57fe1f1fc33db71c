// The report: found modules grouped by search directory, then API set names
// with their hosts, the names that stayed unresolved, and those of them
// imported only through delay-loading, each group under its heading.
#include "report_writer.h"

#include <vector>

#include "messages.h"

namespace kivrel {

void WriteReport(const CScanResult& result, IReportSink& sink) {
    const auto& references = result.References().Entries();
    if (references.empty()) return;

    // Found entries by directory, each bucket in reference-list order.
    std::vector<std::vector<size_t>> byDirectory(result.SearchDirectories().size());
    for (size_t j = 0; j < references.size(); ++j) {
        const Reference& entry = references[j];
        if (entry.State() == REF_FOUND && entry.DirectoryIndex() < byDirectory.size()) {
            byDirectory[entry.DirectoryIndex()].push_back(j);
        }
    }
    for (const std::vector<size_t>& bucket : byDirectory) {
        for (size_t j : bucket) sink.AddLine(result.PathOf(j), static_cast<uint32_t>(j + 1));
    }

    // Each group: an empty line, its heading, an empty line, then its lines.
    auto writeGroup = [&](const char* heading, auto belongs, auto lineOf) {
        bool headingWritten = false;
        for (size_t j = 0; j < references.size(); ++j) {
            if (!belongs(j)) continue;
            if (!headingWritten) {
                sink.AddLine("", 0);
                sink.AddLine(heading, 0);
                sink.AddLine("", 0);
                headingWritten = true;
            }
            sink.AddLine(lineOf(references[j]), 0);
        }
    };
    auto text = [](const Reference& entry) { return entry.text; };
    writeGroup(
        kApiSetsHeading, [&](size_t j) { return references[j].State() == REF_API_SET; },
        [](const Reference& entry) { return entry.text + " => " + entry.host; });
    writeGroup(
        MessageText(IDS_NOT_FOUND_HEADING),
        [&](size_t j) { return !result.IsResolved(j) && !references[j].delayLoadOnly; }, text);
    writeGroup(
        kDelayLoadOnlyHeading,
        [&](size_t j) { return !result.IsResolved(j) && references[j].delayLoadOnly; }, text);

    // The function check's groups, in the order the check found them.
    for (const bool delayLoadOnly : {false, true}) {
        bool headingWritten = false;
        for (const MissingFunction& missing : result.MissingFunctions()) {
            if (missing.delayLoadOnly != delayLoadOnly) continue;
            if (!headingWritten) {
                sink.AddLine("", 0);
                sink.AddLine(
                    delayLoadOnly ? kMissingFunctionsDelayHeading : kMissingFunctionsHeading, 0);
                sink.AddLine("", 0);
                headingWritten = true;
            }
            sink.AddLine(result.MissingFunctionLine(missing), 0);
        }
    }
}

}  // namespace kivrel
