// What kivrel-scan says on standard error besides the report: with --verbose
// the search order, each name resolved, each manifest and assembly; always
// the notes of the loader options (a missing API set schema or side-by-side
// store, and a hint when API set names stay unresolved without --api-sets).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "reference_scanner.h"

namespace kivrel::cli {

class CScanNotes : public IScanObserver {
public:
    CScanNotes(std::ostream& out, bool verbose) : m_out(out), m_bVerbose(verbose) {}

    void OnSearchOrderReady(const std::vector<std::string>& directories) override;
    void OnResolving(const std::string& name) override;
    void OnDirectorySkipped(const std::string& directory, const char* reason) override;
    void OnApiSetSchemaMissing(const std::string& path, const std::string& reason) override;
    void OnCandidatePassedOver(const std::string& path, const std::string& reason) override;
    void OnManifest(const std::string& modulePath, const ModuleManifest& manifest) override;
    void OnAssembly(const std::string& modulePath, const ResolvedAssembly& assembly) override;

private:
    std::ostream& m_out;
    bool m_bVerbose;
    bool m_bStoreMissingTold = false;
};

// With --verbose: why each missing function does not bind, one line each.
void WriteFunctionReasons(std::ostream& out, const CScanResult& result);

// The hint line (with its newline) when unresolved names are API set names
// and API sets were not asked for; "" otherwise.
std::string ApiSetHint(const CReferenceList& references, const LoaderOptions& options);

}  // namespace kivrel::cli
