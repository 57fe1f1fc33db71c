#include "loader_rules.h"

#include <utility>

namespace kivrel {

void CLoaderRules::Clear() {
    m_loaded.clear();
    m_pKnownDlls = nullptr;
    m_systemImports.clear();
}

void CLoaderRules::AddLoaded(std::string_view name, uint32_t directoryIndex, std::string fileName) {
    m_loaded.emplace(FoldedModuleName(name), Place{directoryIndex, std::move(fileName), false});
}

void CLoaderRules::SetKnownDlls(const CKnownDlls* list, uint32_t systemIndex) {
    m_pKnownDlls = list;
    m_systemIndex = systemIndex;
}

bool CLoaderRules::Find(std::string_view name, Place& place) const {
    const std::string folded = FoldedModuleName(name);
    // The loader first asks which modules the process holds.
    if (const auto loaded = m_loaded.find(folded); loaded != m_loaded.end()) {
        place = loaded->second;
        return true;
    }
    if (m_pKnownDlls == nullptr ||
        (!m_pKnownDlls->Contains(name) && m_systemImports.count(folded) == 0)) {
        return false;
    }
    place = Place{m_systemIndex, std::string(), true};
    return true;
}

void CLoaderRules::AddSystemImports(const std::vector<std::string>& names) {
    for (const std::string& name : names) m_systemImports.insert(FoldedModuleName(name));
}

}  // namespace kivrel
