#include "dependency_tree.h"

namespace kivrel::cli {

using Node = CImportGraph::Node;

std::vector<TreeLine> WalkTree(const CImportGraph& graph, const std::vector<bool>* keep) {
    std::vector<TreeLine> lines;
    auto kept = [&](Node node) { return keep == nullptr || (*keep)[node]; };
    if (!kept(CImportGraph::kRoot)) return lines;

    // An explicit stack: an import chain may be far deeper than the call stack.
    struct Frame {
        Node node;
        size_t next;  // index of the next import to visit
    };
    std::vector<bool> listed(graph.NodeCount(), false);
    std::vector<Frame> stack{{CImportGraph::kRoot, 0}};
    listed[CImportGraph::kRoot] = true;
    lines.push_back({0, CImportGraph::kRoot, false});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto imports = graph.Imports(frame.node);
        if (frame.next == imports.size()) {
            stack.pop_back();
            continue;
        }
        const Node child = imports.begin()[frame.next++];
        if (!kept(child)) continue;
        const bool seeAbove = listed[child];
        lines.push_back({stack.size(), child, seeAbove});
        if (!seeAbove) {
            listed[child] = true;
            stack.push_back({child, 0});  // `frame` is not used after this
        }
    }
    return lines;
}

std::vector<bool> NodesLeadingTo(const CImportGraph& graph, const std::vector<bool>& targets) {
    std::vector<bool> leads(targets);
    std::vector<Node> queue;
    for (Node n = 0; n < targets.size(); ++n) {
        if (targets[n]) queue.push_back(n);
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        for (Node importer : graph.Importers(queue[head])) {
            if (!leads[importer]) {
                leads[importer] = true;
                queue.push_back(importer);
            }
        }
    }
    return leads;
}

}  // namespace kivrel::cli
