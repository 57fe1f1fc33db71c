// The walks behind --tree, --why and --missing-only on import graphs the test
// defines itself: each result is checked against a plain computation over
// that graph (recursion, brute-force enumeration, a fixpoint), not the code's;
// and on graphs too large and deep for such computations.
#include "import_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "dependency_tree.h"
#include "import_edges.h"
#include "reference_list.h"
#include "why_chains.h"

namespace kivrel::test {
namespace {

using cli::TreeLine;
using Node = CImportGraph::Node;
using Names = std::vector<std::string>;
// Module -> its imports in table order; a name that is no key is missing.
// The root is "main".
using Graph = std::map<std::string, Names>;

// The graph as a scan records it: each name reached from the root entered in
// the reference list once, the edges as the import tables list them.
class Installation {
public:
    explicit Installation(const Graph& graph) : m_graph(graph) {
        std::map<std::string, uint64_t> serials{{"main", CImportEdges::kScannedModule}};
        Names queue{"main"};
        for (size_t head = 0; head < queue.size(); ++head) {
            const auto found = graph.find(queue[head]);
            std::vector<uint64_t> imported;
            for (const std::string& name : found != graph.end() ? found->second : Names{}) {
                if (!serials.count(name)) {
                    const auto state = IsMissing(name) ? REF_NOT_FOUND : REF_FOUND;
                    serials[name] = m_references.AddReference(name, 0, state).serial;
                    queue.push_back(name);
                }
                imported.push_back(serials[name]);
            }
            m_edges.AddImports(serials[queue[head]], imported);
        }
    }
    CImportGraph Graph() const { return CImportGraph(m_references, m_edges); }
    std::string NameOf(Node node) const {
        return node == CImportGraph::kRoot ? "main"
                                           : m_references[CImportGraph::ReferenceIndex(node)].text;
    }
    bool IsMissing(const std::string& module) const { return !m_graph.count(module); }
    // A module's imports, each once.
    Names ImportsOf(const std::string& module) const {
        Names result;
        const auto found = m_graph.find(module);
        for (const std::string& name : found != m_graph.end() ? found->second : Names{})
            if (std::find(result.begin(), result.end(), name) == result.end())
                result.push_back(name);
        return result;
    }
    // Every cycle-free chain from the root to `target`, in import order.
    void Chains(Names& prefix, const std::string& target, std::vector<Names>& out) const {
        if (prefix.back() == target) return out.push_back(prefix);
        for (const std::string& child : ImportsOf(prefix.back())) {
            if (std::find(prefix.begin(), prefix.end(), child) != prefix.end()) continue;
            prefix.push_back(child);
            Chains(prefix, target, out);
            prefix.pop_back();
        }
    }

private:
    CReferenceList m_references;
    CImportEdges m_edges;
    ::kivrel::test::Graph m_graph;
};

// `layers` layers of `width` modules, each importing the whole next layer.
Graph Layers(size_t layers, size_t width) {
    auto name = [](size_t i) { return "m" + std::to_string(i) + ".dll"; };
    Graph graph;
    for (size_t i = 0; i < width; ++i) graph["main"].push_back(name(i));
    for (size_t i = 0; i < layers * width; ++i) {
        Names& imports = graph[name(i)];
        const size_t next = (i / width + 1) * width;
        for (size_t k = 0; next < layers * width && k < width; ++k)
            imports.push_back(name(next + k));
    }
    return graph;
}

// Tree: the walk, whole (so every module's imports, in table order and each
// once) and with --missing-only, matches a recursive one over the test's graph,
// the latter keeping what a fixpoint finds leading to a missing name. --why:
// the chains are the shortest of all cycle-free chains, enumerated.
TEST(ImportGraph, EdgesTreeAndChainsFollowTheInstallation) {
    Graph ladder = Layers(5, 2);
    ladder["m9.dll"] = {"ghost.dll"};
    const std::pair<const char*, Graph> cases[] = {
        {"diamond with a shared leaf",
         {{"main", {"a.dll", "b.dll"}},
          {"a.dll", {"c.dll"}},
          {"b.dll", {"c.dll", "ghost.dll"}},
          {"c.dll", {"d.dll"}},
          {"d.dll", {}}}},
        {"cycle, self import, an import listed twice",
         {{"main", {"ping.dll", "solo.dll", "ping.dll"}},
          {"ping.dll", {"pong.dll", "ping.dll"}},
          {"pong.dll", {"ping.dll", "solo.dll", "lost.dll"}},
          {"solo.dll", {"solo.dll"}}}},
        {"ladder of diamonds", ladder},
    };
    for (const auto& [title, installed] : cases) {
        SCOPED_TRACE(title);
        const Installation inst(installed);
        const CImportGraph graph = inst.Graph();
        const Node count = static_cast<Node>(graph.NodeCount());
        std::set<std::string> leads;
        for (bool grew = true; grew;) {
            grew = false;
            for (Node n = 0; n < count; ++n) {
                const std::string name = inst.NameOf(n);
                bool reaches = inst.IsMissing(name);
                for (const std::string& child : inst.ImportsOf(name)) reaches |= leads.count(child);
                if (reaches) grew |= leads.insert(name).second;
            }
        }
        std::vector<bool> missing(count);
        for (Node n = 0; n < count; ++n) missing[n] = inst.IsMissing(inst.NameOf(n));
        const std::vector<bool> keep = cli::NodesLeadingTo(graph, missing);
        for (bool missingOnly : {false, true}) {
            Names expected, walked;
            std::set<std::string> listed;
            std::function<void(const std::string&, size_t)> visit = [&](const std::string& m,
                                                                        size_t depth) {
                if (missingOnly && !leads.count(m)) return;
                const bool again = !listed.insert(m).second;
                expected.push_back(std::string(depth, ' ') + m + (again ? " again" : ""));
                if (!again)
                    for (const std::string& child : inst.ImportsOf(m)) visit(child, depth + 1);
            };
            visit("main", 0);
            for (const TreeLine& line : cli::WalkTree(graph, missingOnly ? &keep : nullptr))
                walked.push_back(std::string(line.depth, ' ') + inst.NameOf(line.node) +
                                 (line.seeAbove ? " again" : ""));
            EXPECT_EQ(walked, expected);
        }

        for (Node target = 1; target < count; ++target) {
            std::vector<Names> all, found;
            Names root{"main"};
            inst.Chains(root, inst.NameOf(target), all);
            size_t length = SIZE_MAX;
            for (const Names& chain : all) length = std::min(length, chain.size());
            all.erase(std::remove_if(all.begin(), all.end(),
                                     [&](const Names& chain) { return chain.size() != length; }),
                      all.end());
            const cli::ShortestChains chains = cli::FindShortestChains(graph, target, SIZE_MAX);
            for (const auto& nodes : chains.chains) {
                found.emplace_back();
                for (Node n : nodes) found.back().push_back(inst.NameOf(n));
            }
            EXPECT_EQ(found, all) << inst.NameOf(target);
            EXPECT_EQ(chains.total, all.size()) << inst.NameOf(target);
        }
    }
}

// 11 layers of 100 (100,100 edges, 100^k shortest chains to layer k) and a
// chain of 100,000 (deeper than a call stack could recurse). Chains listed
// are bounded, each a real chain, their count exact or saturated.
TEST(ImportGraph, LargeGraphsStayLinear) {
    const struct {
        size_t layers, width, layer;
        uint64_t total;
    } cases[] = {{11, 100, 2, 10000}, {11, 100, 10, UINT64_MAX}, {100000, 1, 99999, 1}};
    for (const auto& c : cases) {
        const Installation inst(Layers(c.layers, c.width));
        const CImportGraph graph = inst.Graph();
        const std::vector<TreeLine> lines = cli::WalkTree(graph);
        EXPECT_EQ(lines.size(), (c.layers - 1) * c.width * c.width + c.width + 1);
        EXPECT_EQ(std::max_element(lines.begin(), lines.end(),
                                   [](auto& a, auto& b) { return a.depth < b.depth; })
                      ->depth,
                  c.layers);
        std::vector<bool> last(graph.NodeCount(), false);
        last.back() = true;
        const std::vector<bool> leads = cli::NodesLeadingTo(graph, last);
        EXPECT_EQ(size_t(std::count(leads.begin(), leads.end(), true)),
                  (c.layers - 1) * c.width + 2);

        const auto target = CImportGraph::NodeOfReference(c.layer * c.width + c.width / 2);
        const cli::ShortestChains found = cli::FindShortestChains(graph, target, 1000);
        EXPECT_EQ(found.total, c.total);
        ASSERT_EQ(found.chains.size(), std::min<uint64_t>(c.total, 1000));
        EXPECT_EQ(std::set<std::vector<Node>>(found.chains.begin(), found.chains.end()).size(),
                  found.chains.size());
        for (const auto& chain : found.chains) {
            ASSERT_EQ(chain.size(), c.layer + 2);
            EXPECT_EQ(chain.back(), target);
            for (size_t k = 1; k < chain.size(); ++k) {
                const auto imports = graph.Imports(chain[k - 1]);
                EXPECT_NE(std::find(imports.begin(), imports.end(), chain[k]), imports.end());
            }
        }
    }
}

}  // namespace
}  // namespace kivrel::test
