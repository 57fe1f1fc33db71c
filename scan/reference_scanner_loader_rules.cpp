// The loader rules in the scan: an EXE's .local folder and a plug-in's host
// folder before the search order; then, for each name, a module the host has
// loaded, and KnownDLLs with the names they import from the system directory.
#include <utility>

#include "loader_folders.h"
#include "reference_scanner.h"
#include "text.h"

namespace kivrel {

namespace {
class CNoReport : public IReportSink {
public:
    void ResetLines() override {}
    void AddLine(const std::string&, uint32_t) override {}
};

// The directory part of `path` without its separator; "" when there is none.
std::string DirectoryOf(const std::string& path, char separator) {
    const size_t cut = path.rfind(separator);
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}
}  // namespace

void CReferenceScanner::AddLoaderDirectories(const std::string& modulePath) {
    // The application: a plug-in's host, else the module when it is an EXE
    // (the search order's own test).
    const std::string& application = m_options.hostPath.empty() ? modulePath : m_options.hostPath;
    if (!FitsPathBuffer(application)) return;
    // A NAME.exe.local file only puts the EXE's folder first, where it is anyway.
    if (m_options.dotLocal && ToLowerAscii(application).find(".exe") != std::string::npos &&
        !HasOwnManifest(m_platform, application)) {
        AddSearchDirectory(DotLocalDirectory(m_platform, application));
    }
    if (!m_options.hostPath.empty()) {
        AddSearchDirectory(DirectoryOf(application, m_platform.PathSeparator()));
    }
}

long CReferenceScanner::DirectoryIndexOf(std::string directory) const {
    if (directory.empty()) return -1;
    if (directory.back() != m_platform.PathSeparator()) directory += m_platform.PathSeparator();
    for (size_t i = 0; i < m_directories.size(); ++i) {
        if (EqualsNoCase(m_directories[i], directory)) return static_cast<long>(i);
    }
    return -1;
}

void CReferenceScanner::PrepareLoaderRules(const std::string& initialDirectory) {
    m_rules.Clear();
    if (m_options.knownDlls && m_pKnownDlls != nullptr) {
        const long system = DirectoryIndexOf(m_platform.SystemDirectory());
        if (system >= 0) m_rules.SetKnownDlls(m_pKnownDlls, static_cast<uint32_t>(system));
    }
    if (m_options.hostPath.empty()) return;
    // The host as the loader starts it, under the same rules; its report is
    // not printed. Its modules are placed in this scan's own search order,
    // which begins as the host's does.
    LoaderOptions hostOptions = m_options;
    hostOptions.hostPath.clear();
    hostOptions.functions = false;  // the host's own functions are not this scan's question
    CReferenceScanner host(m_platform);
    host.SetLoaderOptions(hostOptions);
    host.SetKnownDlls(m_pKnownDlls);
    CNoReport noReport;
    const CScanResult result = host.Scan(m_options.hostPath, initialDirectory, true, noReport);
    const char separator = m_platform.PathSeparator();
    const std::string hostName = m_options.hostPath.substr(m_options.hostPath.rfind(separator) + 1);
    const long hostDirectory = DirectoryIndexOf(DirectoryOf(m_options.hostPath, separator));
    // A PE image, if one without imports ("No referencies"), is loaded.
    if (result.MessageId() != IDS_INVALID_NT_SIGNATURE && hostDirectory >= 0) {
        m_rules.AddLoaded(hostName, static_cast<uint32_t>(hostDirectory), hostName);
    }
    for (const Reference& entry : result.References().Entries()) {
        if (entry.State() != REF_FOUND) continue;
        const long index = DirectoryIndexOf(result.SearchDirectories()[entry.DirectoryIndex()]);
        if (index < 0) continue;  // a folder this scan does not know: searched for as usual
        m_rules.AddLoaded(entry.text, static_cast<uint32_t>(index),
                          entry.fileName.empty() ? entry.text : entry.fileName);
    }
}

bool CReferenceScanner::ResolveByLoaderRules(const std::string& text) {
    CLoaderRules::Place place;
    if (!m_rules.Find(text, place)) return false;
    if (!place.system) {
        // In the process already: taken as it is, its own imports long
        // resolved; only its exports matter, to the function check.
        const uint64_t serial = AddReference(text, place.directoryIndex, REF_FOUND);
        const long entry = m_references.Find(text);
        if (entry >= 0 && m_references[static_cast<size_t>(entry)].fileName.empty()) {
            // The host's process holds it: its machine is not read again here.
            m_references.SetMatchedFile(static_cast<size_t>(entry), place.fileName, 0);
        }
        if (ChecksFunctions()) {
            KeepFunctions(serial,
                          Read(m_directories[place.directoryIndex] + place.fileName, ReadOptions()),
                          {});
        }
        return true;
    }
    // A KnownDLL missing from the system directory is searched for as usual,
    // as the loader does when the system has no section for it.
    ModuleRead module;
    const std::string pattern = text.back() == '.' ? text + "*" : text;
    if (!ResolveInDirectory(text, pattern, place.directoryIndex, nullptr, &module)) return false;
    m_rules.AddSystemImports(module.imports);
    m_rules.AddSystemImports(module.delayImports);
    return true;
}

}  // namespace kivrel
