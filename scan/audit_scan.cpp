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
    BuildGraph();
    for (const Root& root : roots) Collect(root, answers[root.answer]);
}

long CAuditScan::IndexOf(uint64_t serial) const {
    return m_scanner.References().IndexOfSerial(m_scanner.Edges().Follow(serial));
}

void CAuditScan::BuildGraph() {
    const size_t count = m_scanner.References().size();
    const CImportEdges& edges = m_scanner.Edges();
    std::vector<std::pair<long, long>> pairs;
    pairs.reserve(edges.Pairs().size());
    for (const auto& [importer, imported] : edges.Pairs()) {
        pairs.emplace_back(IndexOf(importer), IndexOf(imported));
    }
    // Compressed rows by importer, each row in recorded order.
    m_edgesFrom.assign(count + 1, 0);
    for (const auto& [from, to] : pairs) {
        if (from >= 0 && to >= 0) ++m_edgesFrom[static_cast<size_t>(from) + 1];
    }
    for (size_t i = 0; i < count; ++i) m_edgesFrom[i + 1] += m_edgesFrom[i];
    m_edges.resize(m_edgesFrom[count]);
    std::vector<size_t> next(m_edgesFrom.begin(), m_edgesFrom.end() - 1);
    for (size_t k = 0; k < pairs.size(); ++k) {
        const auto [from, to] = pairs[k];
        if (from < 0 || to < 0) continue;
        m_edges[next[static_cast<size_t>(from)]++] = {static_cast<uint32_t>(to), edges.Kinds()[k]};
    }
    m_reachedBy.assign(count, 0);
    m_neededBy.assign(count, 0);
}

void CAuditScan::Collect(const Root& root, AuditedModule& answer) {
    // A name is needed at start-up when a module of the closure imports it
    // through its import table (as the scan of one module marks it), or when
    // it hosts an API set that is needed.
    const uint32_t walk = ++m_walk;
    m_closure.clear();
    auto reach = [&](size_t index, CImportEdges::Kind kind) {
        if (m_reachedBy[index] != walk) {
            m_reachedBy[index] = walk;
            m_closure.push_back(static_cast<uint32_t>(index));
        }
        if (kind == CImportEdges::IMPORT) m_neededBy[index] = walk;
    };
    for (size_t k = 0; k < root.imports.size(); ++k) {
        const long index = IndexOf(root.imports[k]);
        if (index >= 0) {
            reach(static_cast<size_t>(index),
                  k < root.delayFrom ? CImportEdges::IMPORT : CImportEdges::DELAY_IMPORT);
        }
    }
    for (size_t head = 0; head < m_closure.size(); ++head) {
        const uint32_t from = m_closure[head];
        for (size_t e = m_edgesFrom[from]; e < m_edgesFrom[from + 1]; ++e) {
            reach(m_edges[e].first, m_edges[e].second);
        }
    }
    const CReferenceList& references = m_scanner.References();
    // Hosts inherit the need of their API sets; a host may be an API set in
    // turn, so repeat until nothing changes (at most once per chain link).
    for (bool changed = true; changed;) {
        changed = false;
        for (const uint32_t from : m_closure) {
            if (m_neededBy[from] != walk || references[from].State() != REF_API_SET) continue;
            for (size_t e = m_edgesFrom[from]; e < m_edgesFrom[from + 1]; ++e) {
                const uint32_t host = m_edges[e].first;
                if (m_edges[e].second == CImportEdges::API_SET_HOST && m_neededBy[host] != walk) {
                    m_neededBy[host] = walk;
                    changed = true;
                }
            }
        }
    }
    for (const uint32_t index : m_closure) {
        const Reference& entry = references[index];
        if (entry.State() == REF_FOUND || entry.State() == REF_API_SET) continue;
        if (m_neededBy[index] != walk) {
            answer.delayLoadOnly.push_back(entry.text);
        } else if (entry.State() == REF_INCORRECT) {
            answer.incorrect.push_back(entry.text);
        } else {
            answer.notFound.push_back(entry.text);
        }
    }
    SortNoCase(answer.notFound);
    SortNoCase(answer.incorrect);
    SortNoCase(answer.delayLoadOnly);
    if (!answer.notFound.empty() || !answer.incorrect.empty()) answer.exitStatus = 1;
}

}  // namespace kivrel
