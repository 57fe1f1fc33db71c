// What kivrel-scan says on standard error besides the report: with --verbose
// the search order, each name resolved, each manifest and assembly, as the
// scan goes; always the notes of the loader options (a missing API set schema
// or side-by-side store); after the report the notes of the finished scan
// (see WriteScanNotes).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "options.h"
#include "reference_scanner.h"
#include "scan_result.h"

namespace kivrel::cli {

class CScanNotes : public IScanObserver {
public:
    // `passedOver`: with `verbose`, tell each module of another machine
    // passed over as the scan meets it (a single scan's WriteScanNotes tells
    // every file passed over, and why, instead).
    CScanNotes(std::ostream& out, bool verbose, bool passedOver = true)
        : m_out(out), m_bVerbose(verbose), m_bPassedOver(passedOver) {}

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
    bool m_bPassedOver;
    bool m_bStoreMissingTold = false;
};

// With --verbose: why each missing function does not bind, one line each.
void WriteFunctionReasons(std::ostream& out, const CScanResult& result);
// The notes of a finished scan, each a line: why the module could not be
// read; every search directory that cannot be listed; every matching file
// passed over because it could not be read (with --verbose every one, and
// why); found modules of another machine than the module's; and the hints
// that name the option to give (API sets, Wine's DLL folder).
void WriteScanNotes(std::ostream& out, const Options& options, const CScanResult& result);

// The hint line (with its newline) when unresolved names are API set names
// and API sets were not asked for; "" otherwise.
std::string ApiSetHint(const CReferenceList& references, const LoaderOptions& options);

}  // namespace kivrel::cli
