#include "scan_notes.h"

#include "api_set_schema.h"
#include "file_ops.h"
#include "read_failure.h"
#include "wine_hint.h"

namespace kivrel::cli {

void CScanNotes::OnSearchOrderReady(const std::vector<std::string>& directories) {
    if (!m_bVerbose) return;
    m_out << "search directories:\n";
    for (size_t i = 0; i < directories.size(); ++i) {
        m_out << "  " << i << ": " << directories[i] << '\n';
    }
}

void CScanNotes::OnResolving(const std::string& name) {
    if (m_bVerbose) m_out << "resolving " << name << '\n';
}

void CScanNotes::OnDirectorySkipped(const std::string& directory, const char* reason) {
    if (m_bVerbose) m_out << "search directory not added (" << reason << "): " << directory << '\n';
}

void CScanNotes::OnApiSetSchemaMissing(const std::string& path, const std::string& reason) {
    m_out << "kivrel-scan: no API set schema (" << (path.empty() ? reason : path + ": " + reason)
          << "); API set names are looked up as files\n";
}

void CScanNotes::OnCandidatePassedOver(const std::string& path, const std::string& reason) {
    if (m_bVerbose && m_bPassedOver) m_out << "passed over (" << reason << "): " << path << '\n';
}

namespace {
std::string Count(size_t count, const char* one, const char* many) {
    return std::to_string(count) + (count == 1 ? one : many);
}

// A found module of another machine cannot be loaded by the module's process.
std::string OtherMachineHint(const CScanResult& result) {
    const uint16_t machine = result.Module().machine;
    size_t count = 0;
    for (const Reference& entry : result.References().Entries()) {
        if (entry.State() == REF_FOUND && entry.machine != 0 && machine != 0 &&
            entry.machine != machine)
            ++count;
    }
    if (count == 0) return "";
    return "kivrel-scan: " + Count(count, " module found is", " modules found are") +
           " not for the machine of " + result.ModuleName() + " (" + MachineName(machine) +
           "); --match-machine passes them over and searches on\n";
}
}  // namespace

void WriteScanNotes(std::ostream& out, const Options& options, const CScanResult& result) {
    const ModuleRead& module = result.Module();
    if (!options.module.empty() && module.failure != ReadFailure::NONE) {
        out << "kivrel-scan: " << options.module << ": "
            << WhyNotRead(result.ModulePath(), module.failure, module.machine, 0) << '\n';
    }
    std::string error;
    for (const std::string& directory : result.SearchDirectories()) {
        if (!CanList(directory, error))
            out << "kivrel-scan: cannot list search directory " << directory << ": " << error
                << '\n';
    }
    for (const PassedOver& file : result.PassedOverFiles()) {
        const bool unreadable =
            file.failure == ReadFailure::UNREADABLE || file.failure == ReadFailure::UNMAPPABLE;
        const std::string why = WhyPassedOver(file, module.machine);
        if (unreadable)
            out << "kivrel-scan: cannot read " << file.path << " (" << why << "); passed over for "
                << file.name << '\n';
        else if (options.verbose)
            out << "passed over for " << file.name << " (" << why << "): " << file.path << '\n';
    }
    out << OtherMachineHint(result) << ApiSetHint(result.References(), options.loader)
        << WineFolderHint(options, result);
}

void CScanNotes::OnManifest(const std::string& modulePath, const ModuleManifest& manifest) {
    if (!m_bVerbose) return;
    m_out << "manifest of " << modulePath << ": " << manifest.source;
    if (!manifest.read) m_out << " (not read: " << manifest.error << ")";
    m_out << '\n';
}

void CScanNotes::OnAssembly(const std::string& modulePath, const ResolvedAssembly& assembly) {
    if (assembly.noStore && !m_bStoreMissingTold) {
        m_bStoreMissingTold = true;
        m_out << "kivrel-scan: no side-by-side store (WinSxS in the Windows directory); "
                 "assemblies are looked for only beside the program\n";
    }
    if (!m_bVerbose) return;
    m_out << "assembly " << assembly.name << ' ' << assembly.version << " for " << modulePath
          << ": " << (assembly.found ? assembly.folder : "not found") << " (" << assembly.note
          << ")\n";
}

std::string ApiSetHint(const CReferenceList& references, const LoaderOptions& options) {
    if (options.apiSets) return "";
    size_t count = 0;
    for (const Reference& entry : references.Entries()) {
        if (entry.State() != REF_FOUND && IsApiSetName(entry.text)) ++count;
    }
    if (count == 0) return "";
    return "kivrel-scan: " +
           Count(count, " unresolved name is an API set", " unresolved names are API sets") +
           " (api-*, ext-*); --api-sets maps them to their host DLLs\n";
}

void WriteFunctionReasons(std::ostream& out, const CScanResult& result) {
    for (const MissingFunction& missing : result.MissingFunctions())
        out << "kivrel-scan: " << result.MissingFunctionLine(missing) << ": " << missing.reason
            << '\n';
}

}  // namespace kivrel::cli
