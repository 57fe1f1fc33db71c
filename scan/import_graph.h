// The import edges of a finished scan over its final reference list, for
// walking: node 0 is the module that the user named, node i + 1 the reference
// at index i. Each module's imports are in import-table order, each once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "import_edges.h"
#include "reference_list.h"

namespace kivrel {

class CImportGraph {
public:
    using Node = uint32_t;
    static constexpr Node kRoot = 0;

    struct Range {
        const Node* first;
        const Node* last;
        const Node* begin() const { return first; }
        const Node* end() const { return last; }
        size_t size() const { return static_cast<size_t>(last - first); }
    };

    CImportGraph(const CReferenceList& references, const CImportEdges& edges);

    size_t NodeCount() const { return m_importsFrom.size() - 1; }
    static size_t ReferenceIndex(Node node) { return node - 1; }
    static Node NodeOfReference(size_t index) { return static_cast<Node>(index + 1); }

    Range Imports(Node node) const { return RangeOf(m_importsFrom, m_imports, node); }
    // The modules whose import tables name `node`, in node order.
    Range Importers(Node node) const { return RangeOf(m_importersFrom, m_importers, node); }

private:
    static Range RangeOf(const std::vector<size_t>& from, const std::vector<Node>& nodes,
                         Node node) {
        return Range{nodes.data() + from[node], nodes.data() + from[node + 1]};
    }

    // Compressed adjacency: the neighbours of node n are
    // nodes[from[n]] .. nodes[from[n + 1] - 1].
    std::vector<size_t> m_importsFrom;
    std::vector<Node> m_imports;
    std::vector<size_t> m_importersFrom;
    std::vector<Node> m_importers;
};

}  // namespace kivrel
