// The reference scan: builds the search directory list, reads import tables,
// resolves every referenced name transitively and reports the outcome as
// result lines. Owns both working lists; the GUI and the command line each
// drive one instance and receive its output through the two interfaces below.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "api_set_schema.h"
#include "function_check.h"
#include "import_edges.h"
#include "known_dlls.h"
#include "loader_rules.h"
#include "match_presence.h"
#include "module_read.h"
#include "platform.h"
#include "reference_list.h"
#include "scan_result.h"
#include "search_directory_list.h"
#include "side_by_side.h"

namespace kivrel {

class CMappedImage;

// Receives the report: text lines, each with a 32-bit item value (reference
// index + 1 for a found module's full path, 0 for every other line).
class IReportSink {
public:
    virtual ~IReportSink() = default;
    virtual void ResetLines() = 0;
    virtual void AddLine(const std::string& text, uint32_t value) = 0;
};

// Progress of a scan; every notification is optional.
class IScanObserver {
public:
    virtual ~IScanObserver() = default;
    // The search directories of a scan are in place; resolution begins.
    virtual void OnSearchOrderReady(const std::vector<std::string>& /*directories*/) {}
    // A pending name is about to be looked for.
    virtual void OnResolving(const std::string& /*name*/) {}
    // A directory of the search order was not added, and why.
    virtual void OnDirectorySkipped(const std::string& /*directory*/, const char* /*reason*/) {}
    // API sets were asked for, but the system has no schema that can be read.
    virtual void OnApiSetSchemaMissing(const std::string& /*path*/, const std::string& /*reason*/) {
    }
    // A file matching a name was passed over, and why (a module of another machine type).
    virtual void OnCandidatePassedOver(const std::string& /*path*/, const std::string& /*reason*/) {
    }
    // With assemblies on: a module's manifest was read, or refused (`error`).
    virtual void OnManifest(const std::string& /*modulePath*/, const ModuleManifest& /*manifest*/) {
    }
    // With assemblies on: the assembly a module's manifest depends on.
    virtual void OnAssembly(const std::string& /*modulePath*/,
                            const ResolvedAssembly& /*assembly*/) {}
};

// What the Windows loader does beyond the search order of the results list;
// each is off by default, and with all off the report is the dialog's.
struct LoaderOptions {
    bool apiSets = false;       // api-/ext- names through the system's API set schema
    bool delayLoad = false;     // also the delay-load import table
    bool matchMachine = false;  // pass over modules of another machine type
    bool moduleDir = false;     // the module's own folder first also for a DLL
    // Every imported function bound in the module its import resolves to;
    // forwarders' modules join the scan as their exporters' dependencies.
    bool functions = false;
    bool knownDlls = false;  // KnownDLLs (SetKnownDlls) only from the system directory
    bool dotLocal = false;   // an EXE's NAME.exe.local folder first
    std::string hostPath{};  // a plug-in's host EXE: its folder first, its modules loaded
    // Side-by-side assemblies that manifests name: the files they list are
    // taken from the assembly's folder before the search order.
    bool assemblies = false;
};

class CReferenceScanner : private IFunctionSource {
public:
    explicit CReferenceScanner(IScanPlatform& platform, IScanObserver* observer = nullptr)
        : m_platform(platform), m_pObserver(observer) {}

    // The whole scan command: report lines for `modulePath` into `sink`.
    // `cleanup` empties both working lists first ("Cleanup before scan").
    // The result reads this scanner's lists: it is valid until the next scan.
    CScanResult Scan(const std::string& modulePath, const std::string& initialDirectory,
                     bool cleanup, IReportSink& sink);

    void SetLoaderOptions(const LoaderOptions& options) { m_options = options; }
    // The list the KnownDLLs option reads; kept by the caller.
    void SetKnownDlls(const CKnownDlls* list) { m_pKnownDlls = list; }
    const LoaderOptions& Options() const { return m_options; }
    bool ChecksFunctions() const { return m_options.functions; }
    // With a cache every file is read once across this scanner's scans (an
    // audit's many roots); null reads each file when it is needed.
    void SetReadCache(CModuleReadCache* cache) { m_pReadCache = cache; }
    // With one, each directory's matches for a name are known across this
    // scanner's scans (an audit's many roots): searched once.
    void SetMatchPresence(CMatchPresence* presence) {
        m_pPresence = presence;
        m_presenceIds.clear();
    }

    // The start of one scan shared by many modules of one folder (and, with
    // machine matching, of one machine), as an audit runs it: both lists
    // emptied, the search order of `modulePath`, the API set schema read
    // once per scanner; what the platform caches is kept.
    void BeginSharedScan(const std::string& modulePath, const std::string& initialDirectory,
                         uint16_t machine);

    void AddSearchDirectory(std::string directory);
    void BuildSearchDirectories(const std::string& modulePath, const std::string& initialDirectory);
    void ExpandEnvironmentReferences(std::string& text) const;

    // Returns the serial of the entry that `name` stands for afterwards.
    uint64_t AddReference(std::string_view name, uint32_t directoryIndex, uint16_t state,
                          RefOrigin origin = ORIGIN_RESOLUTION) {
        const AddOutcome outcome = m_references.AddReference(name, directoryIndex, state, origin);
        if (outcome.replaced != kNoSerial) m_edges.Redirect(outcome.replaced, outcome.serial);
        return outcome.serial;
    }
    // Reads the module at `path` with the loader options in force; the
    // import names of a PE image become pending references.
    ModuleRead ScanModule(const std::string& path);
    // The same for an image already mapped (or held in memory).
    ModuleRead ScanImage(const CMappedImage& image);
    // Reads the module at `path` with the loader options in force, through
    // the read cache where there is one.
    ModuleRead Read(const std::string& path) const { return Read(path, ReadOptions()); }
    // Adds the module's import names as pending references; returns the
    // serials of the entries they stand for, in table order (the import
    // table's names, then the delay-load table's).
    std::vector<uint64_t> AddImportsOf(const ModuleRead& module);
    void ResolveReferences();
    // The full path the report gives the found entry `index`: its directory
    // and, where names are case-sensitive, the file name that matched.
    // CScanResult computes it once per entry; every output reads it there.
    std::string FoundPath(size_t index) const;
    void ClearLists();

    // How this scan reads a module it finds (the loader options in force).
    ModuleReadOptions ReadOptions() const;
    const CSearchDirectoryList& SearchDirectories() const { return m_directories; }
    const CReferenceList& References() const { return m_references; }
    // The files the last scan passed over, in the order it met them.
    const std::vector<PassedOver>& PassedOverFiles() const { return m_passedOver; }
    // Which module imports which reference; see CImportGraph for walking them.
    const CImportEdges& Edges() const { return m_edges; }
    // With LoaderOptions::functions: the imported functions that do not bind,
    // importers named by serial (CImportEdges::kScannedModule for the module
    // scanned), in reference-list order, each one's in import-table order.
    const std::vector<MissingFunction>& MissingFunctions() const { return m_missingFunctions; }
    // True for an entry that only forwarders' exporters import.
    bool OnlyForwarded(uint64_t serial) const { return m_onlyForwarded.count(serial) != 0; }

    // An audit's shared scan: the functions of every module found and of
    // roots (each one's functions, and the serials AddImportsOf gave for its
    // imports), forwarders' modules resolved. MissingFunctions() names root k
    // by kFirstRoot + k, and counts no importer as delay-loaded; a
    // forwarder's module is no import of its exporter but a ForwardUse.
    static constexpr uint64_t kFirstRoot = uint64_t(1) << 62;
    void CheckFunctionsOf(std::vector<std::shared_ptr<const ModuleFunctions>> roots,
                          std::vector<std::vector<uint64_t>> imports);
    // A module that binds a function through a forwarder to `module`, which
    // the loader loads for it; `delay`: through a delay-load import.
    struct ForwardUse {
        uint64_t importer, module;
        bool delay;
        bool operator<(const ForwardUse& o) const {
            return std::tie(importer, module, delay) < std::tie(o.importer, o.module, o.delay);
        }
    };
    const std::set<ForwardUse>& ForwardUses() const { return m_forwardUses; }
    // With assemblies: the modules found whose own manifest depends on
    // assemblies, which changes how the names they import resolve.
    const std::vector<uint64_t>& ModulesWithManifests() const { return m_withManifest; }

private:
    void LoadApiSetSchema();
    // Resolves entry `index`, an API set name, through the schema; false
    // when the schema does not know it and it is to be looked up as a file.
    bool ResolveApiSet(size_t index);
    // `known`: the directory's matches for the pattern where they are known
    // already; null to ask the platform. `foundModule` receives the module read.
    bool ResolveInDirectory(const std::string& text, const std::string& pattern, uint32_t index,
                            const std::vector<std::string>* known = nullptr,
                            ModuleRead* foundModule = nullptr);
    // The loader rules (reference_scanner_loader_rules.cpp): the folders that
    // come before the search order, the rules set up once the order is in
    // place, and a name resolved by them; false when the search order decides.
    void AddLoaderDirectories(const std::string& modulePath);
    void PrepareLoaderRules(const std::string& initialDirectory);
    bool ResolveByLoaderRules(const std::string& text);
    long DirectoryIndexOf(std::string directory) const;
    // The match presence's id of search directory `index`.
    uint32_t PresenceId(uint32_t index);
    ModuleRead Read(const std::string& path, const ModuleReadOptions& options) const {
        return m_pReadCache ? m_pReadCache->Read(path, options) : ReadModuleFile(path, options);
    }
    // The same without a copy: the cache's read, or one made into `storage`.
    const ModuleRead& ReadInto(const std::string& path, const ModuleReadOptions& options,
                               ModuleRead& storage) const {
        if (m_pReadCache) return m_pReadCache->Read(path, options);
        storage = ReadModuleFile(path, options);
        return storage;
    }
    // What the function check needs of a module read for entry `serial`:
    // its functions, and the serials its import names stand for.
    struct KeptFunctions {
        std::shared_ptr<const ModuleFunctions> functions;
        std::vector<uint64_t> imports;
    };
    const KeptFunctions* Kept(uint64_t serial) const;
    void KeepFunctions(uint64_t serial, const ModuleRead& module, std::vector<uint64_t> imports);
    // Checks the functions of `first` and of every module found, resolving
    // forwarders' modules, until nothing is pending.
    void CheckAllFunctions(const std::vector<ModuleId>& first);
    // IFunctionSource, over the serials of the reference list.
    Resolution ResolveImport(ModuleId importer, size_t descriptor, ModuleId& module) override;
    Resolution ResolveForwarder(ModuleId exporter, const std::string& name,
                                ModuleId& module) override;
    const ModuleFunctions* Functions(ModuleId module) const override;
    // The found module that entry `serial` stands for (through API set hosts).
    Resolution FoundModuleOf(uint64_t serial, ModuleId& module) const;

    // Side-by-side assemblies (reference_scanner_assemblies.cpp).
    // The assemblies `module`'s manifest depends on make the files they list
    // the answer for names: for every name (the process's context, from the
    // named module) or, for a DLL's own manifest, for the names it imports.
    // Assemblies not found become unresolved entries that `importer` imports.
    void ActivateManifest(const std::string& modulePath, const ModuleRead& module,
                          uint64_t importer, bool ownImportsOnly);
    // Resolves `text` through an activation context; false when none lists it.
    bool ResolveFromAssembly(const std::string& text);
    // The directory index of an assembly's folder, appended when new; such a
    // folder is never part of the search order.
    long AssemblyFolder(const std::string& folder);
    bool IsAssemblyFolder(uint32_t index) const {
        return index < m_assemblyFolders.size() && m_assemblyFolders[index];
    }

    // Tells the observer when a file of `machine` was passed over for its
    // machine type.
    void NotifyIfOtherMachine(const std::string& path, uint16_t machine) const;
    void NotifySkipped(const std::string& directory, const char* reason) const {
        if (m_pObserver) m_pObserver->OnDirectorySkipped(directory, reason);
    }

    IScanPlatform& m_platform;
    IScanObserver* m_pObserver;
    CSearchDirectoryList m_directories;
    CReferenceList m_references;
    CImportEdges m_edges;
    LoaderOptions m_options;
    CModuleReadCache* m_pReadCache = nullptr;
    FunctionMemory m_functionMemory = NewFunctionMemory();  // this scan's reads' arena
    CMatchPresence* m_pPresence = nullptr;
    std::vector<uint32_t> m_presenceIds;  // by search directory index
    CApiSetSchema m_apiSets;
    const CKnownDlls* m_pKnownDlls = nullptr;
    CLoaderRules m_rules;
    std::vector<PassedOver> m_passedOver;
    // With machine matching: the named module's machine, which every module
    // found must share (0 while the named module itself is read).
    uint16_t m_wRequiredMachine = 0;

    // The function check's state: each read module's functions, the
    // forwarders' modules added (by exporter and folded name) and the entries
    // only they import.
    // By serial (serials are dense): a look-up per import costs no hashing.
    std::vector<KeptFunctions> m_kept;
    KeptFunctions m_keptScanned;             // the scanned module's
    std::vector<KeptFunctions> m_keptRoots;  // an audit's roots, from kFirstRoot
    std::vector<uint64_t> m_withManifest;
    bool m_bAuditCheck = false;  // within CheckFunctionsOf
    ForwardUse m_binding{};      // the import whose functions are being bound
    std::set<ForwardUse> m_forwardUses;
    std::map<std::pair<uint64_t, std::string>, uint64_t> m_forwarded;
    std::unordered_set<uint64_t> m_onlyForwarded;
    std::vector<MissingFunction> m_missingFunctions;

    struct AssemblyFile {
        uint32_t directory;
        std::string fileName;
        std::string via;  // "assembly NAME VERSION"
    };
    CSideBySideStore m_assemblyStore{m_platform};
    // Activation contexts by folded file name: the process's, and the names
    // DLLs with a manifest of their own import.
    std::unordered_map<std::string, AssemblyFile> m_processContext, m_ownContexts;
    std::vector<bool> m_assemblyFolders;  // by directory index
};

// True for a name that may be looked up in a directory: no wildcard (neither
// * ? nor the DOS wildcards < > "), no path separator, no colon, and not "."
// or "..". Anything else could point the search at arbitrary files or keep the
// resolution from ending.
bool IsSearchableName(std::string_view name);

}  // namespace kivrel
