#include "audit_needs.h"

#include <algorithm>

#include "reference_list.h"

namespace kivrel {

namespace {
constexpr uint32_t kUnvisited = UINT32_MAX;
constexpr uint32_t kNoComponent = UINT32_MAX - 1;  // a module outside the graph
}  // namespace

CNeeds::CNeeds(const NeedGraph& graph, const CNeeds* base, const std::vector<bool>& affected)
    : m_graph(graph), m_pBase(base) {
    // Tarjan's algorithm with an explicit stack (an import chain may be
    // deeper than the call stack). A component is finished only after every
    // component it reaches, so its sets are made from finished ones.
    const size_t count = graph.states.size();
    std::vector<uint32_t> order(count, kUnvisited), low(count, 0);
    std::vector<bool> onStack(count, false);
    std::vector<uint32_t> stack, members;
    std::vector<std::pair<uint32_t, size_t>> calls;  // node, its next edge
    m_componentOf.assign(count, kUnvisited);
    m_reaching.stamps.assign(count, 0);
    m_needing.stamps.assign(count, 0);
    uint32_t visited = 0;
    auto enter = [&](uint32_t node) {
        order[node] = low[node] = visited++;
        stack.push_back(node);
        onStack[node] = true;
        calls.emplace_back(node, graph.from[node]);
    };
    // Nodes the base answers for are never entered: their edges end there.
    auto own = [&](uint32_t node) { return m_pBase == nullptr || affected[node]; };
    for (uint32_t start = 0; start < count; ++start) {
        if (order[start] != kUnvisited || !own(start)) continue;
        enter(start);
        while (!calls.empty()) {
            const uint32_t node = calls.back().first;
            size_t& edge = calls.back().second;
            if (edge < graph.from[node + 1]) {
                const uint32_t to = graph.edges[edge++].first;
                if (!own(to)) continue;
                if (order[to] == kUnvisited) {
                    enter(to);
                } else if (onStack[to]) {
                    low[node] = std::min(low[node], order[to]);
                }
                continue;
            }
            calls.pop_back();
            if (!calls.empty()) {
                const uint32_t parent = calls.back().first;
                low[parent] = std::min(low[parent], low[node]);
            }
            if (low[node] != order[node]) continue;
            members.clear();
            uint32_t member;
            do {
                member = stack.back();
                stack.pop_back();
                onStack[member] = false;
                members.push_back(member);
            } while (member != node);
            const auto component = static_cast<uint32_t>(m_reached.size());
            for (const uint32_t m : members) m_componentOf[m] = component;
            m_reached.emplace_back();
            m_needed.emplace_back();
            Finish(members, component);
        }
    }
}

bool CNeeds::Unresolved(uint32_t node) const {
    const uint16_t state = m_graph.states[node];
    return state != REF_FOUND && state != REF_API_SET;
}

void CNeeds::AddHosts(uint32_t apiSet, Gathering& into) const {
    std::vector<uint32_t> pending{apiSet}, seen{apiSet};
    while (!pending.empty()) {
        const uint32_t node = pending.back();
        pending.pop_back();
        for (size_t e = m_graph.from[node]; e < m_graph.from[node + 1]; ++e) {
            const auto [host, kind] = m_graph.edges[e];
            if (kind != CImportEdges::API_SET_HOST) continue;
            if (Listed(host)) into.Add(host, m_stamp);
            if (m_graph.states[host] == REF_API_SET &&
                std::find(seen.begin(), seen.end(), host) == seen.end()) {
                seen.push_back(host);
                pending.push_back(host);
            }
        }
    }
}

void CNeeds::AddNeededBy(uint32_t to, CImportEdges::Kind kind, Gathering& into) const {
    if (kind != CImportEdges::IMPORT) return;
    if (Listed(to)) into.Add(to, m_stamp);
    if (m_graph.states[to] == REF_API_SET) AddHosts(to, into);
}

void CNeeds::AddSetsOf(uint32_t to, uint32_t component) const {
    const uint32_t of = m_componentOf[to];
    if (of == component) return;
    const CNeeds& sets = of == kUnvisited ? *m_pBase : *this;
    const uint32_t at = of == kUnvisited ? m_pBase->m_componentOf[to] : of;
    for (const uint32_t node : sets.m_reached[at]) m_reaching.Add(node, m_stamp);
    for (const uint32_t node : sets.m_needed[at]) m_needing.Add(node, m_stamp);
}

void CNeeds::Finish(const std::vector<uint32_t>& members, uint32_t component) {
    ++m_stamp;
    m_reaching.nodes.clear();
    m_needing.nodes.clear();
    for (const uint32_t member : members) {
        for (size_t e = m_graph.from[member]; e < m_graph.from[member + 1]; ++e) {
            const auto [to, kind] = m_graph.edges[e];
            if (Listed(to)) m_reaching.Add(to, m_stamp);
            AddSetsOf(to, component);
            AddNeededBy(to, kind, m_needing);
        }
    }
    m_reached[component] = m_reaching.nodes;
    m_needed[component] = m_needing.nodes;
    std::sort(m_needed[component].begin(), m_needed[component].end());
}

void CNeeds::Of(const std::vector<NeedGraph::Edge>& imports, std::vector<uint32_t>& reached,
                std::vector<uint32_t>& needed) const {
    ++m_stamp;
    m_reaching.nodes.clear();
    m_needing.nodes.clear();
    for (const auto& [to, kind] : imports) {
        if (Listed(to)) m_reaching.Add(to, m_stamp);
        AddSetsOf(to, kNoComponent);
        AddNeededBy(to, kind, m_needing);
    }
    reached = m_reaching.nodes;
    needed = m_needing.nodes;
    std::sort(reached.begin(), reached.end());
    std::sort(needed.begin(), needed.end());
}

}  // namespace kivrel
