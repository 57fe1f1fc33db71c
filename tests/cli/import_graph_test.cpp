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
#include "reference_scanner.h"
#include "temp_dir.h"
#include "text.h"
#include "why_chains.h"

namespace kivrel::test {
namespace {

using cli::TreeLine;
using Node = CImportGraph::Node;
using Chain = std::vector<std::string>;
// Module file name -> import names as its table writes them; a name that is
// no key is missing. The root is "main.exe".
using Graph = std::map<std::string, std::vector<std::string>>;

// The module an import name means here: case ignored, "x" and "x." are "x.dll".
std::string Canon(std::string name) {
    name = ToLowerAscii(name);
    if (name.find('.') == std::string::npos) name += '.';
    return name.back() == '.' ? name + "dll" : name;
}

class NullSink : public IReportSink {
public:
    void ResetLines() override {}
    void AddLine(const std::string&, uint32_t) override {}
};

// One installation in a directory of its own, scanned from main.exe.
class Installation {
public:
    explicit Installation(const Graph& graph) : m_graph(graph) {
        for (const auto& [name, imports] : graph) {
            PeBuilder module;
            for (const std::string& import : imports) module.Import(import);
            m_dir.Write(name, module.Build());
        }
        NullSink sink;
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
    std::vector<std::string> ImportsOf(const std::string& module) const {
        std::vector<std::string> result;
        const auto found = m_graph.find(module);
        if (found == m_graph.end()) return result;
        for (const std::string& name : found->second) {
            if (std::find(result.begin(), result.end(), Canon(name)) == result.end())
                result.push_back(Canon(name));
        }
        return result;
    }
    // Every chain of exactly `steps` imports from main.exe to `target`.
    void Walks(const Chain& prefix, const std::string& target, size_t steps,
               std::vector<Chain>& out) const {
        if (prefix.size() == steps + 1) {
            if (prefix.back() == target) out.push_back(prefix);
            return;
        }
        for (const std::string& child : ImportsOf(prefix.back())) {
            Chain longer = prefix;
            longer.push_back(child);
            Walks(longer, target, steps, out);
        }
    }
    // Plain breadth-first distance from main.exe.
    size_t Distance(const std::string& target) const {
        std::map<std::string, size_t> distance{{"main.exe", 0}};
        std::vector<std::string> queue{"main.exe"};
        for (size_t i = 0; i < queue.size(); ++i) {
            for (const std::string& child : ImportsOf(queue[i])) {
                if (distance.emplace(child, distance[queue[i]] + 1).second) queue.push_back(child);
            }
        }
        return distance.at(target);
    }

private:
    TempDir m_dir;
    FakePlatform m_platform;
    CReferenceScanner m_scanner{m_platform};
    ::kivrel::test::Graph m_graph;
};

std::vector<Chain> Named(const Installation& installation, const cli::ShortestChains& found) {
    std::vector<Chain> chains;
    for (const auto& nodes : found.chains) {
        chains.emplace_back();
        for (Node n : nodes) chains.back().push_back(installation.NameOf(n));
    }
    return chains;
}

Graph DeepChain(int length) {
    Graph chain{{"main.exe", {"m0.dll"}}};
    for (int i = 0; i < length; ++i) {
        chain["m" + std::to_string(i) + ".dll"] =
            i + 1 < length ? std::vector<std::string>{"M" + std::to_string(i + 1)}
                           : std::vector<std::string>{};
    }
    return chain;
}

// Two modules per level, each importing both of the next level.
Graph Ladder(int levels) {
    Graph ladder{{"main.exe", {"a0.dll", "b0.dll"}}, {"end.dll", {}}};
    for (int k = 0; k < levels; ++k) {
        const std::string next = std::to_string(k + 1);
        for (const char* side : {"a", "b"}) {
            ladder[side + std::to_string(k) + ".dll"] =
                k + 1 < levels ? std::vector<std::string>{"a" + next + ".dll", "b" + next + ".dll"}
                               : std::vector<std::string>{"end.dll"};
        }
    }
    return ladder;
}

struct GraphCase {
    const char* title;
    Graph graph;
    std::vector<std::string> missingOnlyWalk;
};

const GraphCase kGraphs[] = {
    {"diamond with a shared leaf",
     {{"main.exe", {"a.dll", "b.dll"}},
      {"a.dll", {"c.dll"}},
      {"b.dll", {"c.dll", "ghost.dll"}},
      {"c.dll", {"d.dll"}},
      {"d.dll", {}}},
     {"main.exe", "b.dll", "ghost.dll"}},
    {"cycle, self import, letter case, names without extension",
     {{"main.exe", {"PING.DLL", "solo", "ping"}},
      {"ping.dll", {"pong.dll", "ping.dll"}},
      {"pong.dll", {"Ping.dll", "solo.dll", "lost"}},
      {"solo.dll", {"SOLO"}}},
     {"main.exe", "ping.dll", "pong.dll", "ping.dll", "lost.dll", "ping.dll"}},
    {"deep chain", DeepChain(120), {}},
    {"ladder of diamonds", Ladder(6), {}},
};

// Edges: each module's imports, in table order and each once, are its
// children, and it is among their importers. Tree: the walk matches a
// recursive one over the test's graph. --missing-only keeps exactly the
// modules a fixpoint over the graph finds leading to a missing name. --why:
// the chains match a brute-force enumeration of walks as long as the
// breadth-first distance.
TEST(ImportGraph, EdgesTreeAndChainsFollowTheInstallation) {
    for (const GraphCase& c : kGraphs) {
        SCOPED_TRACE(c.title);
        const Installation inst(c.graph);
        const CImportGraph graph = inst.Graph();
        for (Node n = 0; n < graph.NodeCount(); ++n) {
            std::vector<std::string> children;
            for (Node child : graph.Imports(n)) {
                children.push_back(inst.NameOf(child));
                const auto importers = graph.Importers(child);
                EXPECT_EQ(std::count(importers.begin(), importers.end(), n), 1);
            }
            EXPECT_EQ(children, inst.ImportsOf(inst.NameOf(n))) << inst.NameOf(n);
        }

        std::vector<std::string> expected;
        std::set<std::string> listed;
        std::function<void(const std::string&, size_t)> visit = [&](const std::string& m,
                                                                    size_t depth) {
            const bool again = !listed.insert(m).second;
            expected.push_back(std::string(depth, ' ') + m + (again ? " again" : ""));
            if (!again)
                for (const std::string& child : inst.ImportsOf(m)) visit(child, depth + 1);
        };
        visit("main.exe", 0);
        std::vector<std::string> walked;
        for (const TreeLine& line : cli::WalkTree(graph)) {
            walked.push_back(std::string(line.depth, ' ') + inst.NameOf(line.node) +
                             (line.seeAbove ? " again" : ""));
        }
        EXPECT_EQ(walked, expected);

        std::set<std::string> leads;
        for (bool grew = true; grew;) {
            grew = false;
            for (Node n = 0; n < graph.NodeCount(); ++n) {
                const std::string name = inst.NameOf(n);
                bool reaches = inst.IsMissing(name);
                for (const std::string& child : inst.ImportsOf(name)) reaches |= leads.count(child);
                if (reaches) grew |= leads.insert(name).second;
            }
        }
        std::vector<bool> missing(graph.NodeCount());
        for (Node n = 0; n < graph.NodeCount(); ++n) missing[n] = inst.IsMissing(inst.NameOf(n));
        const std::vector<bool> keep = cli::NodesLeadingTo(graph, missing);
        std::vector<std::string> kept;
        for (const TreeLine& line : cli::WalkTree(graph, &keep))
            kept.push_back(inst.NameOf(line.node));
        EXPECT_EQ(kept, c.missingOnlyWalk);
        for (Node n = 0; n < graph.NodeCount(); ++n)
            EXPECT_EQ(keep[n], leads.count(inst.NameOf(n)) > 0) << inst.NameOf(n);

        for (Node target = 1; target < graph.NodeCount(); ++target) {
            const std::string name = inst.NameOf(target);
            std::vector<Chain> walks;
            inst.Walks({"main.exe"}, name, inst.Distance(name), walks);
            const cli::ShortestChains found = cli::FindShortestChains(graph, target, SIZE_MAX);
            EXPECT_EQ(Named(inst, found), walks) << name;
            EXPECT_EQ(found.total, walks.size()) << name;
        }
    }
}

// 11 layers of 100 modules, each importing the whole next layer: 100,100
// edges, 100^k shortest chains to layer k. Every walk stays linear (quadratic
// work would not finish within the test's time-out); chains listed are
// bounded, each a real chain, and their count exact or saturated.
TEST(ImportGraph, HundredThousandEdgesStayLinear) {
    constexpr size_t kLayers = 11, kWidth = 100;
    CReferenceList references;
    CImportEdges edges;
    std::vector<uint64_t> serials;
    for (size_t i = 0; i < kLayers * kWidth; ++i)
        serials.push_back(
            references.AddReference("m" + std::to_string(10000 + i) + ".dll", 0, REF_FOUND).serial);
    edges.AddImports(CImportEdges::kScannedModule, {serials.begin(), serials.begin() + kWidth});
    for (size_t i = 0; i + kWidth < serials.size(); ++i) {
        const size_t next = (i / kWidth + 1) * kWidth;
        edges.AddImports(serials[i], {serials.begin() + next, serials.begin() + next + kWidth});
    }
    const CImportGraph graph(references, edges);

    const std::vector<TreeLine> lines = cli::WalkTree(graph);
    EXPECT_EQ(lines.size(), (kLayers - 1) * kWidth * kWidth + kWidth + 1);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](const TreeLine& l) { return !l.seeAbove; }),
        long(graph.NodeCount()));
    std::vector<bool> last(graph.NodeCount(), false);
    last.back() = true;
    const std::vector<bool> leads = cli::NodesLeadingTo(graph, last);
    EXPECT_EQ(std::count(leads.begin(), leads.end(), true), long(kLayers * kWidth - kWidth + 2));

    const struct {
        size_t layer;
        uint64_t total;
    } cases[] = {{1, 100}, {2, 10000}, {kLayers - 1, UINT64_MAX}};
    for (const auto& c : cases) {
        const auto target = CImportGraph::NodeOfReference(c.layer * kWidth + 7);
        const cli::ShortestChains found = cli::FindShortestChains(graph, target, 1000);
        EXPECT_EQ(found.total, c.total);
        ASSERT_EQ(found.chains.size(), std::min<uint64_t>(c.total, 1000));
        EXPECT_EQ(std::set<std::vector<Node>>(found.chains.begin(), found.chains.end()).size(),
                  found.chains.size());
        for (const auto& chain : found.chains) {
            ASSERT_EQ(chain.size(), c.layer + 2);
            for (size_t k = 1; k < chain.size(); ++k) {
                const auto imports = graph.Imports(chain[k - 1]);
                EXPECT_NE(std::find(imports.begin(), imports.end(), chain[k]), imports.end());
            }
        }
    }
}

// A chain of 100,000 modules: far deeper than a call stack could recurse.
TEST(ImportGraph, HundredThousandDeepChainIsWalked) {
    constexpr size_t kDepth = 100000;
    CReferenceList references;
    CImportEdges edges;
    uint64_t previous = CImportEdges::kScannedModule;
    for (size_t i = 0; i < kDepth; ++i) {
        const uint64_t serial =
            references.AddReference("m" + std::to_string(kDepth + i) + ".dll", 0, REF_FOUND).serial;
        edges.AddImports(previous, {serial});
        previous = serial;
    }
    const CImportGraph graph(references, edges);
    const std::vector<TreeLine> lines = cli::WalkTree(graph);
    ASSERT_EQ(lines.size(), kDepth + 1);
    EXPECT_EQ(lines.back().depth, kDepth);
    const auto found = cli::FindShortestChains(graph, static_cast<Node>(kDepth), 10);
    ASSERT_EQ(found.chains.size(), 1u);
    EXPECT_EQ(found.chains[0].size(), kDepth + 1);
}

}  // namespace
}  // namespace kivrel::test
