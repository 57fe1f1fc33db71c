// The scan command: search order, the named module, resolution and report.
#include "reference_scanner.h"

#include "messages.h"

namespace kivrel {

int CReferenceScanner::Scan(const std::string& modulePath, const std::string& initialDirectory,
                            bool cleanup, IReportSink& sink) {
    if (modulePath.empty()) {
        sink.AddLine(MessageText(IDS_NO_MODULE), 0);
        return IDS_NO_MODULE;
    }
    sink.ResetLines();
    if (cleanup) ClearLists();
    m_platform.BeginScan();
    BuildSearchDirectories(modulePath, initialDirectory);
    if (m_pObserver) m_pObserver->OnSearchOrderReady(m_directories.Entries());
    m_apiSets.Clear();
    if (m_options.apiSets) LoadApiSetSchema();
    int errorId = 0;
    m_wRequiredMachine = 0;
    const int isPe = ScanModule(modulePath, &errorId);
    if (m_options.matchMachine) m_wRequiredMachine = m_wLastMachine;
    if (errorId != 0) sink.AddLine(MessageText(errorId), 0);
    if (isPe) {
        m_edges.AddImports(CImportEdges::kScannedModule, m_lastImports);
        ResolveReferences();
        ReportReferences(sink);
    }
    return errorId;
}

void CReferenceScanner::ClearLists() {
    m_directories.Clear();
    m_references.Clear();
    m_edges.Clear();
}

}  // namespace kivrel
