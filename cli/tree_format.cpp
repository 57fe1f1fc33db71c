#include "dependency_tree.h"
#include "formats.h"

namespace kivrel::cli {

namespace {
// Deeper lines keep this indentation and show their level as "[N] ", so that
// a long chain does not make the output grow with the square of its depth.
constexpr size_t kMaxIndentLevels = 100;
}  // namespace

void WriteTree(std::ostream& out, const CScanResult& result, bool missingOnly) {
    const CImportGraph& graph = result.Graph();
    std::vector<bool> keep;
    if (missingOnly) {
        std::vector<bool> unresolved(graph.NodeCount());
        for (CImportGraph::Node n = 0; n < graph.NodeCount(); ++n) {
            unresolved[n] = result.IsUnresolved(n);
        }
        keep = NodesLeadingTo(graph, unresolved);
    }
    const std::string indent(2 * kMaxIndentLevels, ' ');
    for (const TreeLine& line : WalkTree(graph, missingOnly ? &keep : nullptr)) {
        if (line.depth <= kMaxIndentLevels) {
            out.write(indent.data(), static_cast<std::streamsize>(2 * line.depth));
        } else {
            out << indent << '[' << line.depth << "] ";
        }
        const bool delayLoadOnly =
            line.node != CImportGraph::kRoot &&
            result.References()[CImportGraph::ReferenceIndex(line.node)].delayLoadOnly;
        out << result.NameOf(line.node) << " => " << result.ResolutionOf(line.node)
            << (delayLoadOnly ? " (delay-load)" : "");
        const size_t missing = line.seeAbove ? 0 : result.MissingFunctionCount(line.node);
        if (missing != 0) out << " [" << missing << " missing functions]";
        out << (line.seeAbove ? " (see above)\n" : "\n");
    }
}

}  // namespace kivrel::cli
