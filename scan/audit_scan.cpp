#include "audit_scan.h"

#include <algorithm>
#include <map>
#include <utility>

#include "text.h"

namespace kivrel {

namespace {
LoaderOptions WithOwnFolderFirst(LoaderOptions options) {
    options.moduleDir = true;
    return options;
}

void SortNoCase(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string fa = ToLowerAscii(a), fb = ToLowerAscii(b);
        return fa != fb ? fa < fb : a < b;
    });
}
}  // namespace

CAuditScan::CAuditScan(IScanPlatform& platform, const LoaderOptions& options,
                       std::string initialDirectory, IScanObserver* observer)
    : m_platform(platform),
      m_initialDirectory(std::move(initialDirectory)),
      m_presence(platform),
      m_scanner(platform, observer) {
    m_scanner.SetLoaderOptions(WithOwnFolderFirst(options));
    m_scanner.SetReadCache(&m_reads);
    m_scanner.SetMatchPresence(&m_presence);
}

std::vector<AuditedModule> CAuditScan::Check(const std::vector<std::string>& paths) {
    std::vector<AuditedModule> answers(paths.size());
    // Directory listings are kept for the whole run.
    m_platform.BeginScan();
    // The modules of one folder share the search order; with machine
    // matching, those of one machine also share what is passed over.
    const bool byMachine = m_scanner.Options().matchMachine;
    std::map<std::string, size_t> groupOf;
    std::vector<std::vector<size_t>> groups;
    for (size_t i = 0; i < paths.size(); ++i) {
        AuditedModule& answer = answers[i];
        answer.path = paths[i];
        const ModuleRead& read = m_reads.Read(paths[i], RootReadOptions());
        answer.isPe = read.isPe;
        answer.messageId = read.errorId;
        answer.exitStatus = IsFailingMessage(read.errorId) ? 1 : 0;
        if (!read.isPe) continue;
        const size_t cut = paths[i].rfind(m_platform.PathSeparator());
        std::string key = cut == std::string::npos ? std::string() : paths[i].substr(0, cut);
        key += '\0';
        key += std::to_string(byMachine ? read.machine : 0);
        const auto [at, added] = groupOf.emplace(std::move(key), groups.size());
        if (added) groups.emplace_back();
        groups[at->second].push_back(i);
    }
    for (const std::vector<size_t>& members : groups) CheckGroup(members, answers);
    return answers;
}

ModuleReadOptions CAuditScan::RootReadOptions() const {
    ModuleReadOptions options;
    options.delayLoad = m_scanner.Options().delayLoad;
    return options;
}

void CAuditScan::CheckGroup(const std::vector<size_t>& members,
                            std::vector<AuditedModule>& answers) {
    const std::string& first = answers[members.front()].path;
    m_scanner.BeginSharedScan(first, m_initialDirectory,
                              m_reads.Read(first, RootReadOptions()).machine);
    std::vector<Root> roots;
    roots.reserve(members.size());
    for (size_t member : members) {
        const ModuleRead& read = m_reads.Read(answers[member].path, RootReadOptions());
        roots.push_back({member, m_scanner.AddImportsOf(read), read.imports.size()});
    }
    m_scanner.ResolveReferences();
    const NeedGraph graph = BuildGraph();
    const CNeeds needs(graph);
    for (const Root& root : roots) Answer(root, graph, needs, answers[root.answer]);
}

long CAuditScan::IndexOf(uint64_t serial) const {
    return m_scanner.References().IndexOfSerial(m_scanner.Edges().Follow(serial));
}

NeedGraph CAuditScan::BuildGraph() const {
    const CReferenceList& references = m_scanner.References();
    const size_t count = references.size();
    const CImportEdges& edges = m_scanner.Edges();
    std::vector<std::pair<long, long>> pairs;
    pairs.reserve(edges.Pairs().size());
    for (const auto& [importer, imported] : edges.Pairs()) {
        pairs.emplace_back(IndexOf(importer), IndexOf(imported));
    }
    // Compressed rows by importer, each row in recorded order.
    NeedGraph graph;
    graph.from.assign(count + 1, 0);
    for (const auto& [from, to] : pairs) {
        if (from >= 0 && to >= 0) ++graph.from[static_cast<size_t>(from) + 1];
    }
    for (size_t i = 0; i < count; ++i) graph.from[i + 1] += graph.from[i];
    graph.edges.resize(graph.from[count]);
    std::vector<size_t> next(graph.from.begin(), graph.from.end() - 1);
    for (size_t k = 0; k < pairs.size(); ++k) {
        const auto [from, to] = pairs[k];
        if (from < 0 || to < 0) continue;
        graph.edges[next[static_cast<size_t>(from)]++] = {static_cast<uint32_t>(to),
                                                          edges.Kinds()[k]};
    }
    graph.states.resize(count);
    for (size_t i = 0; i < count; ++i) graph.states[i] = references[i].State();
    return graph;
}

void CAuditScan::Answer(const Root& root, const NeedGraph& graph, const CNeeds& needs,
                        AuditedModule& answer) const {
    std::vector<NeedGraph::Edge> imports;
    imports.reserve(root.imports.size());
    for (size_t k = 0; k < root.imports.size(); ++k) {
        const long index = IndexOf(root.imports[k]);
        if (index >= 0) {
            imports.emplace_back(static_cast<uint32_t>(index), k < root.delayFrom
                                                                   ? CImportEdges::IMPORT
                                                                   : CImportEdges::DELAY_IMPORT);
        }
    }
    std::vector<uint32_t> reached, needed;
    needs.Of(imports, reached, needed);
    const CReferenceList& references = m_scanner.References();
    for (const uint32_t index : reached) {
        const std::string& text = references[index].text;
        if (!std::binary_search(needed.begin(), needed.end(), index)) {
            answer.delayLoadOnly.push_back(text);
        } else if (graph.states[index] == REF_INCORRECT) {
            answer.incorrect.push_back(text);
        } else {
            answer.notFound.push_back(text);
        }
    }
    SortNoCase(answer.notFound);
    SortNoCase(answer.incorrect);
    SortNoCase(answer.delayLoadOnly);
    if (!answer.notFound.empty() || !answer.incorrect.empty()) answer.exitStatus = 1;
}

}  // namespace kivrel
