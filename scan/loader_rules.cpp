#include "loader_rules.h"

#include "text.h"

namespace kivrel {

void CLoaderRules::Clear() {
    m_loaded.clear();
    m_pKnownDlls = nullptr;
    m_systemDirectory.clear();
    m_systemImports.clear();
}

void CLoaderRules::AddLoaded(std::string_view name, const std::string& directory,
                             const std::string& fileName) {
    m_loaded.emplace(FoldedModuleName(name), Place{directory, fileName});
}

void CLoaderRules::SetKnownDlls(const CKnownDlls* list, const std::string& systemDirectory) {
    m_pKnownDlls = systemDirectory.empty() ? nullptr : list;
    m_systemDirectory = systemDirectory;
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
    place = Place{m_systemDirectory, std::string(name)};
    return true;
}

bool CLoaderRules::IsSystemPlace(const Place& place) const {
    return m_pKnownDlls != nullptr && place.directory == m_systemDirectory;
}

void CLoaderRules::AddSystemImports(const std::vector<std::string>& names) {
    for (const std::string& name : names) m_systemImports.insert(FoldedModuleName(name));
}

}  // namespace kivrel
