#include "scan_result.h"

#include "reference_scanner.h"
#include "text.h"

namespace kivrel {

CScanResult::CScanResult(const CReferenceScanner& scanner, std::string modulePath,
                         ModuleRead module)
    : m_references(scanner.References()),
      m_directories(scanner.SearchDirectories()),
      m_edges(scanner.Edges()),
      m_passedOver(scanner.PassedOverFiles()),
      m_modulePath(std::move(modulePath)),
      m_moduleName(FileNameOf(m_modulePath)),
      m_module(std::move(module)),
      m_missing(scanner.MissingFunctions()),
      m_bFunctionsChecked(scanner.ChecksFunctions()) {
    for (const MissingFunction& missing : m_missing) {
        const long index = m_references.IndexOfSerial(missing.importer);
        m_importers.push_back(index < 0 ? CImportGraph::kRoot
                                        : CImportGraph::NodeOfReference(size_t(index)));
    }
    m_paths.reserve(m_references.size());
    m_onlyForwarded.reserve(m_references.size());
    for (size_t i = 0; i < m_references.size(); ++i) {
        const Reference& entry = m_references[i];
        const bool found =
            entry.State() == REF_FOUND && entry.DirectoryIndex() < m_directories.size();
        m_paths.push_back(found ? scanner.FoundPath(i) : std::string());
        m_onlyForwarded.push_back(m_bFunctionsChecked &&
                                  scanner.OnlyForwarded(m_references.SerialAt(i)));
    }
}

bool CScanResult::IsResolved(size_t index) const {
    const uint16_t state = m_references[index].State();
    return state == REF_FOUND || state == REF_API_SET;
}

bool CScanResult::IsMissingAtStart(size_t index) const {
    return !IsResolved(index) && !m_references[index].delayLoadOnly;
}

int CScanResult::ExitStatus() const {
    if (IsFailingMessage(m_module.errorId)) return 1;
    for (size_t i = 0; i < m_references.size(); ++i) {
        if (IsMissingAtStart(i)) return 1;
    }
    for (const MissingFunction& missing : m_missing) {
        if (!missing.delayLoadOnly) return 1;
    }
    return 0;
}

CScanResult::Node CScanResult::ImporterOf(const MissingFunction& missing) const {
    return m_importers[size_t(&missing - m_missing.data())];
}

std::string CScanResult::ImporterName(const MissingFunction& missing) const {
    const Node importer = ImporterOf(missing);
    return importer == CImportGraph::kRoot
               ? m_moduleName
               : FileNameOf(m_paths[CImportGraph::ReferenceIndex(importer)]);
}

std::string CScanResult::MissingFunctionLine(const MissingFunction& missing) const {
    std::string line =
        ImporterName(missing) + " -> " + missing.module + "!" + FunctionText(missing);
    if (!missing.forwardedTo.empty()) line += " (forwarded to " + missing.forwardedTo + ")";
    return line;
}

size_t CScanResult::MissingFunctionCount(Node node) const {
    size_t count = 0;
    for (const Node importer : m_importers) count += importer == node ? 1 : 0;
    return count;
}

const CImportGraph& CScanResult::Graph() const {
    if (!m_graph) m_graph = std::make_unique<CImportGraph>(m_references, m_edges);
    return *m_graph;
}

const std::string& CScanResult::NameOf(Node node) const {
    return node == CImportGraph::kRoot ? m_moduleName
                                       : m_references[CImportGraph::ReferenceIndex(node)].text;
}

std::string CScanResult::ResolutionOf(Node node) const {
    if (node == CImportGraph::kRoot) return m_modulePath;
    const size_t index = CImportGraph::ReferenceIndex(node);
    const Reference& entry = m_references[index];
    switch (entry.State()) {
        case REF_FOUND:
            return m_paths[index];
        case REF_API_SET:
            return "api-set " + entry.host;
        case REF_INCORRECT:
            return "incorrect";
        default:
            return "not found";
    }
}

std::string CScanResult::ModulePathOf(size_t index) const {
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

std::vector<size_t> CScanResult::FindName(const std::string& name) const {
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

}  // namespace kivrel
