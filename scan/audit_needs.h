// What the modules of an audit need, from the import graph of a shared scan:
// the unresolved names each node leads to, computed once per strongly
// connected component in one pass, so that no module's closure is walked again
// for every module that reaches it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "import_edges.h"

namespace kivrel {

// Compressed rows over reference indexes: the edges of node n are
// edges[from[n]] .. edges[from[n + 1] - 1], each with how it was recorded.
struct NeedGraph {
    using Edge = std::pair<uint32_t, CImportEdges::Kind>;
    std::vector<size_t> from{0};
    std::vector<Edge> edges;
    std::vector<uint16_t> states;  // each node's RefState
    // Resolved nodes that are to be reached all the same (a module whose own
    // imports miss functions); empty for none.
    std::vector<bool> marked;
};

class CNeeds {
public:
    explicit CNeeds(const NeedGraph& graph) : CNeeds(graph, nullptr, {}) {}
    // For a graph that differs from `base`'s only at some nodes: the nodes
    // that lead to none of them (`affected` false) keep the base's answers,
    // and only the others are computed again.
    CNeeds(const NeedGraph& graph, const CNeeds* base, const std::vector<bool>& affected);

    // For a module importing `imports`: the unresolved and marked nodes it
    // leads to, and those of them it needs at start-up (named by an import
    // table of a module on the way, or hosting an API set that is), each
    // ascending.
    void Of(const std::vector<NeedGraph::Edge>& imports, std::vector<uint32_t>& reached,
            std::vector<uint32_t>& needed) const;

private:
    // A set being gathered: each node once, by the stamp of the gathering.
    struct Gathering {
        std::vector<uint32_t> nodes;
        std::vector<uint32_t> stamps;  // per node
        void Add(uint32_t node, uint32_t stamp) {
            if (stamps[node] != stamp) {
                stamps[node] = stamp;
                nodes.push_back(node);
            }
        }
    };

    bool Unresolved(uint32_t node) const;
    bool Listed(uint32_t node) const {
        return Unresolved(node) || (!m_graph.marked.empty() && m_graph.marked[node]);
    }
    // The unresolved hosts an API set node stands for, through hosts that are
    // API sets in turn.
    void AddHosts(uint32_t apiSet, Gathering& into) const;
    // What importing `to` through an edge of `kind` makes needed.
    void AddNeededBy(uint32_t to, CImportEdges::Kind kind, Gathering& into) const;
    // Adds what node `to` reaches and needs, unless it is of `component`.
    void AddSetsOf(uint32_t to, uint32_t component) const;
    void Finish(const std::vector<uint32_t>& members, uint32_t component);

    const NeedGraph& m_graph;
    const CNeeds* m_pBase;
    std::vector<uint32_t> m_componentOf;  // kUnvisited: the base's
    // Per component: the unresolved nodes its members reach, and those needed.
    std::vector<std::vector<uint32_t>> m_reached;
    std::vector<std::vector<uint32_t>> m_needed;
    mutable Gathering m_reaching, m_needing;
    mutable uint32_t m_stamp = 0;
};

}  // namespace kivrel
