// The function check over the scan: each found module's functions, kept when
// it was read, bound in the entries its import names stand for; forwarders'
// modules are added as imports of their exporters and resolved like any.
#include <algorithm>
#include <functional>

#include "reference_scanner.h"
#include "text.h"

namespace kivrel {

void CReferenceScanner::KeepFunctions(uint64_t serial, const ModuleRead& module,
                                      std::vector<uint64_t> imports) {
    if (!module.functions) return;
    if (serial == CImportEdges::kScannedModule) {
        m_keptScanned = KeptFunctions{module.functions, std::move(imports)};
        return;
    }
    if (serial >= m_kept.size()) m_kept.resize(serial + 1);
    m_kept[serial] = KeptFunctions{module.functions, std::move(imports)};
}

const CReferenceScanner::KeptFunctions* CReferenceScanner::Kept(uint64_t serial) const {
    if (serial == CImportEdges::kScannedModule) return &m_keptScanned;
    if (serial >= kFirstRoot) {
        return serial - kFirstRoot < m_keptRoots.size() ? &m_keptRoots[serial - kFirstRoot]
                                                        : nullptr;
    }
    return serial < m_kept.size() && m_kept[serial].functions ? &m_kept[serial] : nullptr;
}

void CReferenceScanner::CheckFunctionsOf(std::vector<std::shared_ptr<const ModuleFunctions>> roots,
                                         std::vector<std::vector<uint64_t>> imports) {
    m_keptRoots.clear();
    std::vector<ModuleId> first;
    for (size_t k = 0; k < roots.size() && k < imports.size(); ++k) {
        m_keptRoots.push_back(KeptFunctions{std::move(roots[k]), std::move(imports[k])});
        first.push_back(kFirstRoot + k);
    }
    m_forwardUses.clear();
    m_bAuditCheck = true;
    CheckAllFunctions(first);
    m_bAuditCheck = false;
}

void CReferenceScanner::CheckAllFunctions(const std::vector<ModuleId>& first) {
    // Each pass either completes or adds a forwarder's module not held before;
    // the names come from files, so the passes end.
    for (;;) {
        std::vector<CheckedModule> modules;
        modules.reserve(first.size() + m_references.size());
        for (const ModuleId module : first) modules.push_back({module, false});
        // Two entries that stand for one module read (a name and its alias)
        // are checked once, as the first of them; an entry for the scanned
        // module's own file is checked as well, also where a read cache
        // shares its read.
        std::vector<std::pair<const ModuleFunctions*, size_t>> reads;  // read, entry
        for (size_t i = 0; i < m_references.size(); ++i) {
            if (m_references[i].State() == REF_FOUND)
                reads.emplace_back(Functions(m_references.SerialAt(i)), i);
        }
        std::sort(reads.begin(), reads.end(), [](const auto& a, const auto& b) {
            if (a.first != b.first) return std::less<const ModuleFunctions*>()(a.first, b.first);
            return a.second < b.second;
        });
        std::vector<bool> checked(m_references.size(), false);
        for (size_t k = 0; k < reads.size(); ++k)
            checked[reads[k].second] = k == 0 || reads[k].first != reads[k - 1].first;
        for (size_t i = 0; i < m_references.size(); ++i) {
            if (checked[i]) {
                modules.push_back(
                    {m_references.SerialAt(i), !m_bAuditCheck && m_references[i].delayLoadOnly});
            }
        }
        if (CheckFunctions(*this, modules, m_missingFunctions)) return;
        ResolveReferences();
    }
}

const ModuleFunctions* CReferenceScanner::Functions(ModuleId module) const {
    const KeptFunctions* kept = Kept(module);
    return kept == nullptr ? nullptr : kept->functions.get();
}

IFunctionSource::Resolution CReferenceScanner::FoundModuleOf(uint64_t serial,
                                                             ModuleId& module) const {
    long index = m_references.IndexOfSerial(m_edges.Follow(serial));
    // An API set stands for its host, which may be an API set in turn.
    for (size_t step = 0; index >= 0 && step <= m_references.size(); ++step) {
        const Reference& entry = m_references[static_cast<size_t>(index)];
        switch (entry.State()) {
            case REF_PENDING:
                return PENDING;
            case REF_FOUND:
                module = m_references.SerialAt(static_cast<size_t>(index));
                return RESOLVED;
            case REF_API_SET:
                index = m_references.Find(entry.host);
                break;
            default:
                return UNRESOLVED;
        }
    }
    return UNRESOLVED;
}

IFunctionSource::Resolution CReferenceScanner::ResolveImport(ModuleId importer, size_t descriptor,
                                                             ModuleId& module) {
    const KeptFunctions* kept = Kept(importer);
    if (kept == nullptr || descriptor >= kept->imports.size()) return UNRESOLVED;
    // The functions of this import are bound next.
    m_binding =
        ForwardUse{importer, kNoSerial,
                   kept->functions && descriptor < kept->functions->imports.modules.size() &&
                       kept->functions->imports.modules[descriptor].delayLoad};
    return FoundModuleOf(kept->imports[descriptor], module);
}

IFunctionSource::Resolution CReferenceScanner::ResolveForwarder(ModuleId exporter,
                                                                const std::string& name,
                                                                ModuleId& module) {
    auto [added, isNew] = m_forwarded.try_emplace({exporter, ToLowerAscii(name)}, kNoSerial);
    if (isNew) {
        // The loader loads a forwarder's module for its exporter: it is
        // needed when the exporter is.
        const long index = m_references.IndexOfSerial(exporter);
        const bool delayOnly = index >= 0 && m_references[size_t(index)].delayLoadOnly;
        const size_t before = m_references.size();
        const uint64_t serial =
            AddReference(name, 0, REF_PENDING, delayOnly ? ORIGIN_DELAY_IMPORT : ORIGIN_IMPORT);
        if (m_references.size() > before) m_onlyForwarded.insert(serial);
        // An audit's modules share the exporter: its edge would lead every
        // one of them to the forwarder's module.
        if (!m_bAuditCheck) m_edges.AddImports(exporter, {serial});
        added->second = serial;
    }
    if (m_bAuditCheck) {
        m_binding.module = added->second;
        m_forwardUses.insert(m_binding);
    }
    return FoundModuleOf(added->second, module);
}

}  // namespace kivrel
