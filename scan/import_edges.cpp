#include "import_edges.h"

namespace kivrel {

void CImportEdges::Clear() {
    m_pairs.clear();
    m_kinds.clear();
    m_replacedBy.clear();
}

void CImportEdges::AddImports(uint64_t importer, const std::vector<uint64_t>& imported,
                              size_t delayFrom) {
    for (size_t i = 0; i < imported.size(); ++i) {
        m_pairs.emplace_back(importer, imported[i]);
        m_kinds.push_back(i < delayFrom ? IMPORT : DELAY_IMPORT);
    }
}

uint64_t CImportEdges::Follow(uint64_t serial) const {
    // A replacement always has a higher serial than the entry it replaced,
    // so the walk ends; its length is bounded by the 259 characters a name
    // can grow by.
    for (auto next = m_replacedBy.find(serial); next != m_replacedBy.end();
         next = m_replacedBy.find(serial)) {
        serial = next->second;
    }
    return serial;
}

}  // namespace kivrel
