// The shortest import chains from the scanned module to one reference, behind --why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "import_graph.h"

namespace kivrel::cli {

struct ShortestChains {
    // Each chain from the root to the target, in the order a walk of the
    // imports in import-table order meets them; at most the limit asked for.
    std::vector<std::vector<CImportGraph::Node>> chains;
    uint64_t total = 0;  // how many there are; UINT64_MAX stands for more
};

// Every shortest chain of imports from the scanned module to `target`.
// Their number can grow exponentially with the graph, so at most `limit`
// are listed; `total` counts them all.
ShortestChains FindShortestChains(const CImportGraph& graph, CImportGraph::Node target,
                                  size_t limit);

}  // namespace kivrel::cli
