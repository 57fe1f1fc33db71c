#include "import_graph.h"

#include <utility>

namespace kivrel {

namespace {
using Node = CImportGraph::Node;

// Sorts (from, to) pairs by `from` keeping their order otherwise, into the
// compressed form: a counting sort, linear in nodes and pairs.
void Compress(size_t nodeCount, const std::vector<std::pair<Node, Node>>& pairs,
              std::vector<size_t>& from, std::vector<Node>& nodes) {
    from.assign(nodeCount + 1, 0);
    for (const auto& pair : pairs) ++from[pair.first + 1];
    for (size_t n = 0; n < nodeCount; ++n) from[n + 1] += from[n];
    nodes.resize(pairs.size());
    std::vector<size_t> next(from.begin(), from.end() - 1);
    for (const auto& pair : pairs) nodes[next[pair.first]++] = pair.second;
}
}  // namespace

CImportGraph::CImportGraph(const CReferenceList& references, const CImportEdges& edges) {
    const size_t nodeCount = references.size() + 1;
    auto nodeOf = [&](uint64_t serial) -> long {
        if (serial == CImportEdges::kScannedModule) return kRoot;
        const long index = references.IndexOfSerial(edges.Follow(serial));
        return index < 0 ? -1 : static_cast<long>(NodeOfReference(static_cast<size_t>(index)));
    };
    std::vector<std::pair<Node, Node>> pairs;
    pairs.reserve(edges.Pairs().size());
    for (const auto& [importer, imported] : edges.Pairs()) {
        const long from = nodeOf(importer);
        const long to = nodeOf(imported);
        // Entries emptied away by ClearLists leave nothing to point at.
        if (from >= 0 && to >= 0)
            pairs.emplace_back(static_cast<Node>(from), static_cast<Node>(to));
    }
    std::vector<Node> all;
    Compress(nodeCount, pairs, m_importsFrom, all);

    // Each import once per importer, at its first place in the table.
    std::vector<Node> seenBy(nodeCount, static_cast<Node>(-1));
    std::vector<std::pair<Node, Node>> reverse;
    reverse.reserve(all.size());
    m_imports.reserve(all.size());
    size_t kept = 0;
    for (Node n = 0; n < nodeCount; ++n) {
        const size_t first = m_importsFrom[n];
        const size_t last = m_importsFrom[n + 1];
        m_importsFrom[n] = kept;
        for (size_t k = first; k < last; ++k) {
            const Node to = all[k];
            if (seenBy[to] == n) continue;
            seenBy[to] = n;
            m_imports.push_back(to);
            reverse.emplace_back(to, n);
            ++kept;
        }
    }
    m_importsFrom[nodeCount] = kept;
    Compress(nodeCount, reverse, m_importersFrom, m_importers);
}

}  // namespace kivrel
