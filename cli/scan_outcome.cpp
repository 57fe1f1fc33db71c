#include "scan_outcome.h"

#include "text.h"

namespace kivrel::cli {

namespace {
const std::string kNotFound = "not found";
const std::string kIncorrect = "incorrect";
}  // namespace

std::string FileNameOf(const std::string& path) {
#ifdef _WIN32
    const size_t end = path.find_last_of("\\/:");
#else
    const size_t end = path.find_last_of('/');
#endif
    return end == std::string::npos ? path : path.substr(end + 1);
}

CScanOutcome::CScanOutcome(const std::string& modulePath, const CReferenceScanner& scanner)
    : m_references(scanner.References()),
      m_modulePath(modulePath),
      m_moduleName(FileNameOf(modulePath)) {
    m_paths.reserve(m_references.size());
    for (size_t i = 0; i < m_references.size(); ++i) {
        m_paths.push_back(m_references[i].State() == REF_FOUND ? scanner.FoundPath(i) : "");
    }
}

const std::string& CScanOutcome::NameOf(Node node) const {
    return node == CImportGraph::kRoot ? m_moduleName
                                       : m_references[CImportGraph::ReferenceIndex(node)].text;
}

std::string CScanOutcome::ResolutionOf(Node node) const {
    if (node == CImportGraph::kRoot) return m_modulePath;
    const Reference& entry = m_references[CImportGraph::ReferenceIndex(node)];
    switch (entry.State()) {
        case REF_FOUND:
            return m_paths[CImportGraph::ReferenceIndex(node)];
        case REF_API_SET:
            return "api-set " + entry.host;
        case REF_INCORRECT:
            return kIncorrect;
        default:
            return kNotFound;
    }
}

bool CScanOutcome::IsUnresolved(Node node) const {
    if (node == CImportGraph::kRoot) return false;
    const uint16_t state = m_references[CImportGraph::ReferenceIndex(node)].State();
    return state != REF_FOUND && state != REF_API_SET;
}

std::string CScanOutcome::ModulePathOf(size_t index) const {
    // A host may itself be an API set: follow at most as many as there are entries.
    for (size_t step = 0; step < m_references.size(); ++step) {
        const Reference& entry = m_references[index];
        if (entry.State() == REF_FOUND) return m_paths[index];
        const long host = entry.State() == REF_API_SET ? m_references.Find(entry.host) : -1;
        if (host < 0) return "";
        index = static_cast<size_t>(host);
    }
    return "";
}

std::vector<size_t> CScanOutcome::FindName(const std::string& name) const {
    // The list's own rule for a name without '.': it stands for "name.",
    // which any extension of the same name extends.
    std::string text = name;
    if (text.find('.') == std::string::npos) text += '.';
    std::vector<size_t> found;
    const long equal = m_references.Find(text);
    if (equal >= 0) {
        found.push_back(static_cast<size_t>(equal));
        return found;
    }
    for (size_t i = 0; i < m_references.size(); ++i) {
        if (StartsWithNoCase(m_references[i].text, text)) found.push_back(i);
    }
    return found;
}

}  // namespace kivrel::cli
