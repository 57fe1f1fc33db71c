// The scan command: search order, the named module, resolution and report.
#include "reference_scanner.h"

#include <algorithm>

#include "messages.h"
#include "report_writer.h"
#include "text.h"

namespace kivrel {

CScanResult CReferenceScanner::Scan(const std::string& modulePath,
                                    const std::string& initialDirectory, bool cleanup,
                                    IReportSink& sink) {
    m_passedOver.clear();
    if (modulePath.empty()) {
        sink.AddLine(MessageText(IDS_NO_MODULE), 0);
        ModuleRead none;
        none.errorId = IDS_NO_MODULE;
        return CScanResult(*this, modulePath, std::move(none));
    }
    sink.ResetLines();
    if (cleanup) ClearLists();
    m_platform.BeginScan();
    BuildSearchDirectories(modulePath, initialDirectory);
    PrepareLoaderRules(initialDirectory);
    if (m_pObserver) m_pObserver->OnSearchOrderReady(m_directories.Entries());
    m_apiSets.Clear();
    if (m_options.apiSets) LoadApiSetSchema();
    m_wRequiredMachine = 0;
    m_missingFunctions.clear();
    // Reads still held (a cache's, a result's) keep the last scan's arena.
    m_functionMemory = NewFunctionMemory();
    m_assemblyStore.BeginScan();
    m_processContext.clear();
    m_ownContexts.clear();
    ModuleReadOptions options = ReadOptions();
    options.namedModule = true;
    ModuleRead module = Read(modulePath, options);
    if (m_options.matchMachine) m_wRequiredMachine = module.machine;
    if (module.errorId != 0) sink.AddLine(MessageText(module.errorId), 0);
    if (module.isPe) {
        std::vector<uint64_t> imports = AddImportsOf(module);
        m_edges.AddImports(CImportEdges::kScannedModule, imports, module.imports.size());
        KeepFunctions(CImportEdges::kScannedModule, module, std::move(imports));
        if (m_options.assemblies) TakeManifestBeside(m_platform, modulePath, module.manifest);
        ActivateManifest(modulePath, module, CImportEdges::kScannedModule, false);
        ResolveReferences();
        if (m_options.functions) CheckAllFunctions({CImportEdges::kScannedModule});
    }
    const bool isPe = module.isPe;
    CScanResult result(*this, modulePath, std::move(module));
    if (isPe) WriteReport(result, sink);
    return result;
}

void CReferenceScanner::BeginSharedScan(const std::string& modulePath,
                                        const std::string& initialDirectory, uint16_t machine) {
    ClearLists();
    BuildSearchDirectories(modulePath, initialDirectory);
    PrepareLoaderRules(initialDirectory);
    if (m_pObserver) m_pObserver->OnSearchOrderReady(m_directories.Entries());
    if (m_options.apiSets && !m_apiSets.IsLoaded()) LoadApiSetSchema();
    m_wRequiredMachine = m_options.matchMachine ? machine : 0;
}

std::string CReferenceScanner::FoundPath(size_t index) const {
    const Reference& entry = m_references[index];
    const bool onDisk = m_platform.NamesAreCaseSensitive() && !entry.fileName.empty();
    return m_directories[entry.DirectoryIndex()] + (onDisk ? entry.fileName : entry.text);
}

void CReferenceScanner::ClearLists() {
    m_directories.Clear();
    m_presenceIds.clear();
    m_references.Clear();
    m_edges.Clear();
    m_kept.clear();
    m_keptScanned = KeptFunctions{};
    m_keptRoots.clear();
    m_forwardUses.clear();
    m_withManifest.clear();
    m_forwarded.clear();
    m_onlyForwarded.clear();
    // The contexts name directories by index: they go with the list.
    m_assemblyFolders.clear();
    m_processContext.clear();
    m_ownContexts.clear();
    m_passedOver.clear();
}

}  // namespace kivrel
