// API sets: the schema of the system directory, and names resolved through it.
#include "mapped_image.h"
#include "reference_scanner.h"
#include "text.h"

namespace kivrel {

namespace {
constexpr const char* kSchemaFileName = "apisetschema.dll";
}  // namespace

void CReferenceScanner::LoadApiSetSchema() {
    std::string directory = m_platform.SystemDirectory();
    std::string path, reason = "no system directory";
    if (!directory.empty()) {
        if (directory.back() != m_platform.PathSeparator()) directory += m_platform.PathSeparator();
        path = directory + kSchemaFileName;
        reason = "no such file";
        // The file's name as the directory holds it, in whatever letter case.
        m_platform.FindMatches(directory, kSchemaFileName, [&](const std::string& fileName) {
            path = directory + fileName;
            reason.clear();
            return false;
        });
    }
    if (reason.empty()) {
        if (!FitsPathBuffer(path)) {
            reason = "path longer than 259 characters";
        } else {
            const CMappedImage image(path.c_str());
            m_apiSets.Load(image, reason);
        }
    }
    if (!m_apiSets.IsLoaded() && m_pObserver) m_pObserver->OnApiSetSchemaMissing(path, reason);
}

bool CReferenceScanner::ResolveApiSet(size_t index) {
    const Reference& entry = m_references[index];
    std::string host;
    switch (m_apiSets.Find(entry.text, host)) {
        case CApiSetSchema::APISET_UNKNOWN:
            // The loader looks a name its schema does not know up as a file:
            // that is how a set shipped beside a program (the C runtime's
            // api-ms-win-crt-* on Windows 7) is found.
            return false;
        case CApiSetSchema::APISET_NO_HOST:
            // An entry without a host: the loader treats the module as absent.
            AddReference(std::string(entry.text), 0, REF_NOT_FOUND);
            return true;
        case CApiSetSchema::APISET_HOST:
            break;
    }
    // The host is needed when the API set is: at start-up unless the set is
    // only delay-loaded. A host that is itself an API set resolves in turn;
    // each name is resolved once, so a cycle of hosts ends.
    const RefOrigin origin = entry.delayLoadOnly ? ORIGIN_DELAY_IMPORT : ORIGIN_IMPORT;
    const uint64_t apiSet = m_references.SerialAt(index);
    m_references.SetApiSetHost(index, host);
    // The loader maps the set to its host: the host is what the set imports.
    m_edges.AddApiSetHost(apiSet, AddReference(host, 0, REF_PENDING, origin));
    return true;
}

}  // namespace kivrel
