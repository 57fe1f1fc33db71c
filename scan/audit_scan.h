// Many modules checked in one run, each as the loader loads it (its own folder
// first), sharing all the reading: every file is read once and every directory
// listed once for the whole run. All modules (with machine matching, all of one
// machine) share one resolution along the search order without their folders;
// a folder changes only the names it holds a match for, which are resolved
// again for its modules alone. What each module needs then comes from one pass
// over the shared import graph.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audit_needs.h"
#include "module_read.h"
#include "platform.h"
#include "reference_scanner.h"

namespace kivrel {

// A function that does not bind, with its importer's file name: one for each
// importer's import, shared by every module whose closure holds the importer.
struct AuditedFunction {
    std::string importer;
    MissingFunction function;
};
struct FunctionInClosure {
    std::shared_ptr<const AuditedFunction> missing;
    bool delayLoadOnly;  // the module needs it only through delay-loading
};

struct AuditedModule {
    std::string path;
    bool isPe = false;  // false: not a module at all (nothing else is set)
    int messageId = 0;  // the module's own message line, or 0
    // Unresolved names the module needs at start-up, as the reference list
    // writes them, sorted without regard to case.
    std::vector<std::string> notFound;
    std::vector<std::string> incorrect;
    // Unresolved names it needs only through delay-loading.
    std::vector<std::string> delayLoadOnly;
    // With functions checked: each imported function that does not bind, as
    // a scan of the module alone gives it.
    std::vector<FunctionInClosure> missingFunctions;
    int exitStatus = 0;  // what a scan of the module alone exits with
};

class CAuditScan {
public:
    // The loader options apply to every module; the module's own folder is
    // always searched first, for a DLL too.
    CAuditScan(IScanPlatform& platform, const LoaderOptions& options, std::string initialDirectory,
               IScanObserver* observer = nullptr);

    // The list the KnownDLLs option reads; kept by the caller.
    void SetKnownDlls(const CKnownDlls* list) {
        m_scanner.SetKnownDlls(list);
        m_alone.SetKnownDlls(list);
    }

    // One answer per path, in the order given.
    std::vector<AuditedModule> Check(const std::vector<std::string>& paths);

private:
    struct Root {
        size_t answer;  // index into the answers
        std::vector<uint64_t> imports;
        size_t delayFrom;
        std::vector<uint64_t> forwarded{};  // forwarders' modules its functions bind in
    };
    // A name that a folder resolves otherwise than the shared search order:
    // found in the folder, or only files that are no modules there.
    struct OwnResolution {
        uint64_t serial;
        uint16_t state;
        std::vector<uint64_t> imports;  // the folder's module's, when found
        size_t delayFrom;
    };
    ModuleReadOptions RootReadOptions() const;
    // With loader rules that put other folders or names first, each folder
    // gets a resolution of its own.
    bool SharesOneResolution() const;
    void CheckGroup(const std::vector<size_t>& members, std::vector<AuditedModule>& answers);
    void CheckShared(const std::vector<size_t>& members, std::vector<AuditedModule>& answers);
    // Per folder (of a module in `paths`), the names it resolves otherwise;
    // each folder module's imports are added to the shared scan.
    std::vector<std::vector<OwnResolution>> OwnFolderFirst(const std::vector<std::string>& paths);
    // The folder's graph, and which nodes lead to a name it resolves otherwise.
    NeedGraph WithOwnResolutions(const NeedGraph& graph, const std::vector<OwnResolution>& own,
                                 std::vector<bool>& affected) const;
    // The reference index a serial stands for now, or -1.
    long IndexOf(uint64_t serial) const;
    // What a shared scan found beyond unresolved names, by reference index.
    struct Marks {
        std::vector<std::vector<std::shared_ptr<const AuditedFunction>>>
            missing;              // of its own imports
        std::vector<bool> alone;  // a module that reaches it is scanned alone
    };
    // The shared graph of the current scan, over reference indexes.
    NeedGraph BuildGraph() const;
    // Marks the nodes with missing functions or what a shared scan cannot
    // answer for; `rootMissing` receives the roots' own missing functions.
    Marks MarkGraph(NeedGraph& graph, size_t roots,
                    std::vector<std::vector<MissingFunction>>& rootMissing) const;
    // False when the module reaches a node marked `alone`.
    bool Answer(const Root& root, const NeedGraph& graph, const CNeeds& needs,
                AuditedModule& answer, const Marks* marks = nullptr,
                const std::vector<MissingFunction>* missing = nullptr) const;
    // A module whose answer the shared scan cannot give: a scan of its own
    // (sharing the reads and directory matches).
    void ScanAlone(AuditedModule& answer);

    IScanPlatform& m_platform;
    std::string m_initialDirectory;
    CModuleReadCache m_reads;
    CMatchPresence m_presence;
    CReferenceScanner m_scanner;
    CReferenceScanner m_alone;
    std::vector<size_t> m_aloneQueue;  // answers left to ScanAlone
};

}  // namespace kivrel
