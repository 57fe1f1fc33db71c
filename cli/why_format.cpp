#include "formats.h"
#include "why_chains.h"

namespace kivrel::cli {

namespace {
// Chains can be exponentially many (a ladder of diamonds); beyond this many
// only their number is told.
constexpr size_t kMaxChains = 1000;
}  // namespace

int WriteWhy(std::ostream& out, std::ostream& err, const CScanResult& result,
             const std::string& name) {
    const CImportGraph& graph = result.Graph();
    const std::vector<size_t> targets = result.FindName(name);
    if (targets.empty()) {
        err << "kivrel-scan: " << name << " is not among the references of "
            << result.NameOf(CImportGraph::kRoot) << '\n';
        return 1;
    }
    int status = 0;
    for (size_t index : targets) {
        const auto target = CImportGraph::NodeOfReference(index);
        const ShortestChains found = FindShortestChains(graph, target, kMaxChains);
        if (found.chains.empty()) {
            err << "kivrel-scan: no import chain from " << result.NameOf(CImportGraph::kRoot)
                << " leads to " << result.NameOf(target) << '\n';
            status = 1;
        }
        for (const auto& chain : found.chains) {
            for (size_t i = 0; i < chain.size(); ++i) {
                out << (i ? " -> " : "") << result.NameOf(chain[i]);
            }
            out << '\n';
        }
        if (found.total > found.chains.size()) {
            err << "kivrel-scan: ";
            if (found.total == UINT64_MAX) {
                err << "at least " << found.total - found.chains.size();
            } else {
                err << found.total - found.chains.size();
            }
            err << " more shortest chains to " << result.NameOf(target) << " not listed\n";
        }
    }
    return status;
}

}  // namespace kivrel::cli
