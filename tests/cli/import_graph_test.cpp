// The importer edges of a real scan and the walks behind --tree, --why and
// --missing-only, on synthetic installations whose import graph the test
// defines itself: each result is checked against a plain computation over
// that graph (recursion, brute-force enumeration, a fixpoint), not the code's.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dependency_tree.h"
#include "fake_platform.h"
#include "pe_writer.h"
#include "report_lines.h"
#include "reference_scanner.h"
#include "temp_dir.h"
#include "text.h"
#include "why_chains.h"

namespace kivrel::test {
namespace {

using cli::TreeLine;
using Node = CImportGraph::Node;
using Names = std::vector<std::string>;
// Module file name -> import names as its table writes them; a name that is
// no key is missing. The root is "main.exe".
using Graph = std::map<std::string, Names>;

// The module an import name means here: case ignored, "x" and "x." are "x.dll".
std::string Canon(std::string name) {
    name = ToLowerAscii(name);
    if (name.find('.') == std::string::npos) name += '.';
    return name.back() == '.' ? name + "dll" : name;
}

// One installation in a directory of its own, scanned from main.exe.
class Installation {
public:
    explicit Installation(const Graph& graph) : m_graph(graph) {
        for (const auto& [name, imports] : graph) {
            PeBuilder module;
            for (const std::string& import : imports) module.Import(import);
            m_dir.Write(name, module.Build());
        }
        CReportLines sink;
        m_scanner.Scan(m_dir.File("main.exe"), "", true, sink);
    }
    CImportGraph Graph() const { return CImportGraph(m_scanner.References(), m_scanner.Edges()); }
    std::string NameOf(Node node) const {
        return node == CImportGraph::kRoot
                   ? "main.exe"
                   : Canon(m_scanner.References()[CImportGraph::ReferenceIndex(node)].text);
    }
    bool IsMissing(const std::string& module) const { return !m_graph.count(module); }
    // A module's imports as the test's graph has them: canonical, each once.
    Names ImportsOf(const std::string& module) const {
        Names result;
        const auto found = m_graph.find(module);
        for (const std::string& name : found != m_graph.end() ? found->second : Names{}) {
            if (std::find(result.begin(), result.end(), Canon(name)) == result.end())
                result.push_back(Canon(name));
        }
        return result;
    }
    // Every cycle-free chain from main.exe to `target`, in import order.
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
    TempDir m_dir;
    FakePlatform m_platform;
    CReferenceScanner m_scanner{m_platform};
    ::kivrel::test::Graph m_graph;
};

// Two modules per level, each importing both of the next level.
Graph Ladder(int levels) {
    Graph ladder{{"main.exe", {"a0.dll", "b0.dll"}}, {"end.dll", {}}};
    for (int k = 0; k < levels; ++k) {
        const std::string next = std::to_string(k + 1);
        for (const char* side : {"a", "b"})
            ladder[side + std::to_string(k) + ".dll"] =
                k + 1 < levels ? Names{"a" + next + ".dll", "b" + next + ".dll"} : Names{"end.dll"};
    }
    return ladder;
}

// Edges: each module's imports, in table order and each once, are its
// children. Tree: the walk, whole and with --missing-only, matches a
// recursive one over the test's graph, the latter keeping what a fixpoint
// finds leading to a missing name. --why: the chains are the shortest of all
// cycle-free chains, enumerated.
TEST(ImportGraph, EdgesTreeAndChainsFollowTheInstallation) {
    const std::pair<const char*, Graph> cases[] = {
        {"diamond with a shared leaf",
         {{"main.exe", {"a.dll", "b.dll"}},
          {"a.dll", {"c.dll"}},
          {"b.dll", {"c.dll", "ghost.dll"}},
          {"c.dll", {"d.dll"}},
          {"d.dll", {}}}},
        {"cycle, self import, letter case, names without extension",
         {{"main.exe", {"PING.DLL", "solo", "ping"}},
          {"ping.dll", {"pong.dll", "ping.dll"}},
          {"pong.dll", {"Ping.dll", "solo.dll", "lost"}},
          {"solo.dll", {"SOLO"}}}},
        {"ladder of diamonds", Ladder(5)},
    };
    for (const auto& [title, installed] : cases) {
        SCOPED_TRACE(title);
        const Installation inst(installed);
        const CImportGraph graph = inst.Graph();
        const Node count = static_cast<Node>(graph.NodeCount());
        for (Node n = 0; n < count; ++n) {
            Names children;
            for (Node child : graph.Imports(n)) children.push_back(inst.NameOf(child));
            EXPECT_EQ(children, inst.ImportsOf(inst.NameOf(n))) << inst.NameOf(n);
        }

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
            visit("main.exe", 0);
            for (const TreeLine& line : cli::WalkTree(graph, missingOnly ? &keep : nullptr))
                walked.push_back(std::string(line.depth, ' ') + inst.NameOf(line.node) +
                                 (line.seeAbove ? " again" : ""));
            EXPECT_EQ(walked, expected);
        }

        for (Node target = 1; target < count; ++target) {
            std::vector<Names> all, found;
            Names root{"main.exe"};
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

// `layers` layers of `width` modules, each importing the whole next layer.
CImportGraph Layers(size_t layers, size_t width) {
    CReferenceList references;
    CImportEdges edges;
    std::vector<uint64_t> serials;
    for (size_t i = 0; i < layers * width; ++i)
        serials.push_back(
            references.AddReference("m" + std::to_string(i) + ".dll", 0, REF_FOUND).serial);
    edges.AddImports(CImportEdges::kScannedModule, {serials.begin(), serials.begin() + width});
    for (size_t i = 0; i + width < serials.size(); ++i) {
        const auto next = serials.begin() + (i / width + 1) * width;
        edges.AddImports(serials[i], {next, next + width});
    }
    return CImportGraph(references, edges);
}

// 11 layers of 100 (100,100 edges, 100^k shortest chains to layer k) and a
// chain of 100,000 (deeper than a call stack could recurse). Every walk stays
// linear (quadratic work would not finish within the test's time-out);
// chains listed are bounded, each a real chain, their count exact or saturated.
TEST(ImportGraph, LargeGraphsStayLinear) {
    const struct {
        size_t layers, width, layer;
        uint64_t total;
    } cases[] = {{11, 100, 2, 10000}, {11, 100, 10, UINT64_MAX}, {100000, 1, 99999, 1}};
    for (const auto& c : cases) {
        const CImportGraph graph = Layers(c.layers, c.width);
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
