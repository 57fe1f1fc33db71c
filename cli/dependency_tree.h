// Walks of the import graph behind --tree and --missing-only.
#pragma once

#include <cstddef>
#include <vector>

#include "import_graph.h"

namespace kivrel::cli {

struct TreeLine {
    size_t depth;  // 0 for the scanned module
    CImportGraph::Node node;
    bool seeAbove;  // listed before: its imports are not repeated
};

// The tree from the scanned module in preorder, imports in import-table
// order, each module's imports listed at its first occurrence only. With
// `keep`, only the nodes it marks are visited (nothing when the root is not).
std::vector<TreeLine> WalkTree(const CImportGraph& graph, const std::vector<bool>* keep = nullptr);

// Marks every node from which some node of `targets` can be reached through
// imports, the targets themselves included.
std::vector<bool> NodesLeadingTo(const CImportGraph& graph, const std::vector<bool>& targets);

}  // namespace kivrel::cli
