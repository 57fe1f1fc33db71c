#include "why_chains.h"

namespace kivrel::cli {

namespace {
using Node = CImportGraph::Node;
constexpr size_t kUnreached = SIZE_MAX;

// Breadth-first distances from `start`, along imports or along importers.
template <typename Next>
std::vector<size_t> Distances(size_t nodeCount, Node start, Next next) {
    std::vector<size_t> distance(nodeCount, kUnreached);
    std::vector<Node> queue{start};
    distance[start] = 0;
    for (size_t head = 0; head < queue.size(); ++head) {
        const Node node = queue[head];
        for (Node neighbour : next(node)) {
            if (distance[neighbour] == kUnreached) {
                distance[neighbour] = distance[node] + 1;
                queue.push_back(neighbour);
            }
        }
    }
    return distance;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
}  // namespace

ShortestChains FindShortestChains(const CImportGraph& graph, Node target, size_t limit) {
    ShortestChains result;
    const size_t count = graph.NodeCount();
    const auto fromRoot =
        Distances(count, CImportGraph::kRoot, [&](Node n) { return graph.Imports(n); });
    if (fromRoot[target] == kUnreached) return result;
    const auto toTarget = Distances(count, target, [&](Node n) { return graph.Importers(n); });
    const size_t length = fromRoot[target];
    // The next steps of a shortest chain through `node`: imports one step
    // further from the root and one step nearer to the target.
    auto steps = [&](Node node, Node next) {
        return fromRoot[next] == fromRoot[node] + 1 && toTarget[next] != kUnreached &&
               toTarget[next] + 1 == toTarget[node];
    };

    // Number of shortest chains from each node on one to the target, nearest first.
    std::vector<std::vector<Node>> byDistance(length + 1);
    for (Node n = 0; n < count; ++n) {
        if (fromRoot[n] != kUnreached && toTarget[n] != kUnreached &&
            fromRoot[n] + toTarget[n] == length) {
            byDistance[toTarget[n]].push_back(n);
        }
    }
    std::vector<uint64_t> chainsFrom(count, 0);
    chainsFrom[target] = 1;
    for (size_t d = 1; d <= length; ++d) {
        for (Node n : byDistance[d]) {
            for (Node next : graph.Imports(n)) {
                if (steps(n, next)) chainsFrom[n] = SaturatingAdd(chainsFrom[n], chainsFrom[next]);
            }
        }
    }
    result.total = chainsFrom[CImportGraph::kRoot];

    // Every step of the walk is on some shortest chain, so each path it
    // follows ends at the target: the work is bounded by the chains listed.
    struct Frame {
        Node node;
        size_t next;
    };
    std::vector<Frame> stack{{CImportGraph::kRoot, 0}};
    while (!stack.empty() && result.chains.size() < limit) {
        Frame& frame = stack.back();
        if (frame.node == target) {
            std::vector<Node> chain;
            for (const Frame& f : stack) chain.push_back(f.node);
            result.chains.push_back(std::move(chain));
            stack.pop_back();
            continue;
        }
        const auto imports = graph.Imports(frame.node);
        if (frame.next == imports.size()) {
            stack.pop_back();
            continue;
        }
        const Node next = imports.begin()[frame.next++];
        if (steps(frame.node, next)) stack.push_back({next, 0});
    }
    return result;
}

}  // namespace kivrel::cli
