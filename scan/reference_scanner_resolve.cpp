// Resolution: each pending name is looked for along the search directories
// until every entry of the reference list is final.
#include <cstdio>
#include <utility>

#include "reference_scanner.h"
#include "text.h"

namespace kivrel {

bool IsSearchableName(std::string_view name) {
    if (name == "." || name == "..") return false;
    // '<', '>' and '"' are the DOS forms of '*', '?' and '.' that FindFirstFileA
    // also matches with; no Windows file name contains them.
    return name.find_first_of("*?<>\"\\/:") == std::string_view::npos;
}

uint32_t CReferenceScanner::PresenceId(uint32_t index) {
    // Directories are only appended while a scan runs, so ids computed once stay valid.
    while (m_presenceIds.size() < m_directories.size()) {
        m_presenceIds.push_back(m_pPresence->DirectoryId(m_directories[m_presenceIds.size()]));
    }
    return m_presenceIds[index];
}

void CReferenceScanner::ResolveReferences() {
    // Ends: each pass makes the first pending entry final or replaces it by a
    // longer name, and every name comes from an import table of a file.
    for (;;) {
        const long pending = m_references.FindFirstPending();
        if (pending < 0) return;
        const std::string text = m_references[static_cast<size_t>(pending)].text;
        if (m_pObserver) m_pObserver->OnResolving(text);
        if (m_apiSets.IsLoaded() && IsApiSetName(text) &&
            ResolveApiSet(static_cast<size_t>(pending))) {
            continue;
        }

        if (!IsSearchableName(text)) {
            AddReference(text, 0, REF_NOT_FOUND);
            continue;
        }
        // The activation context redirects a name before the loaded modules
        // and KnownDLLs are consulted.
        if (ResolveFromAssembly(text)) continue;
        if (ResolveByLoaderRules(text)) continue;
        const std::string pattern = text.back() == '.' ? text + "*" : text;
        CMatchPresence::Row* presence = m_pPresence ? &m_pPresence->RowOf(pattern) : nullptr;
        bool found = false;
        for (uint32_t index = 0; index < m_directories.size() && !found; ++index) {
            if (IsAssemblyFolder(index)) continue;
            const std::vector<std::string>* known =
                presence ? &m_pPresence->MatchesIn(*presence, PresenceId(index),
                                                   m_directories[index], pattern)
                         : nullptr;
            // A directory without any match would add nothing: stepped over.
            if (known && known->empty()) continue;
            found = ResolveInDirectory(text, pattern, index, known);
        }
        if (!found) AddReference(text, 0, REF_NOT_FOUND);
    }
}

bool CReferenceScanner::ResolveInDirectory(const std::string& text, const std::string& pattern,
                                           uint32_t index, const std::vector<std::string>* known,
                                           ModuleRead* foundModule) {
    const std::string& directory = m_directories[index];
    // FitsPathBuffer(directory + pattern), without building the text for
    // each of the thousands of directory searches of a large scan.
    if (directory.size() + pattern.size() >= kMaxPath) return false;
    const ModuleReadOptions options = ReadOptions();
    std::string matched;
    // The module read where the read cache keeps it, or in `storage`: an
    // audit's many scans do not copy the import names of every match.
    ModuleRead storage;
    const ModuleRead* module = nullptr;
    // The callback captures one pointer so that it fits std::function's own
    // storage: no allocation per search.
    struct Search {
        CReferenceScanner& scanner;
        const std::string& text;
        const std::string& directory;
        const ModuleReadOptions& options;
        uint32_t index;
        std::string& matched;
        ModuleRead& storage;
        const ModuleRead*& module;
    } search{*this, text, directory, options, index, matched, storage, module};
    const auto onMatch = [s = &search](const std::string& fileName) {
        const std::string path = s->directory + fileName;
        if (!FitsPathBuffer(path)) {
            s->scanner.m_passedOver.push_back({s->text, path, ReadFailure::UNREADABLE, 0});
            return true;
        }
        const ModuleRead& read = s->scanner.ReadInto(path, s->options, s->storage);
        if (read.isPe) {
            s->module = &read;
            s->matched = fileName;
            return false;
        }
        s->scanner.m_passedOver.push_back({s->text, path, read.failure, read.machine});
        s->scanner.NotifyIfOtherMachine(path, read.machine);
        s->scanner.AddReference(s->text, s->index, REF_INCORRECT);
        return true;
    };
    if (known == nullptr) {
        m_platform.FindMatches(directory, pattern, onMatch);
    } else {
        for (const std::string& fileName : *known) {
            if (!onMatch(fileName)) break;
        }
    }
    const bool found = !matched.empty();
    if (found) {
        std::vector<uint64_t> imports = AddImportsOf(*module);
        const size_t delayFrom = module->imports.size();
        const uint64_t serial = AddReference(matched, index, REF_FOUND);
        m_edges.AddImports(serial, imports, delayFrom);
        // A match reported under an unrelated name (a short-name alias on
        // Windows) leaves the entry pending; it is marked found in the same
        // directory so that the loop ends and the name is not looked up again.
        const long entry = m_references.Find(text);
        if (entry >= 0 && m_references[static_cast<size_t>(entry)].State() == REF_PENDING) {
            // Both entries stand for the module read: both import its names.
            KeepFunctions(serial, *module, imports);
            const uint64_t alias = AddReference(text, index, REF_FOUND);
            m_edges.AddImports(alias, imports, delayFrom);
            KeepFunctions(alias, *module, std::move(imports));
        } else {
            KeepFunctions(serial, *module, std::move(imports));
        }
        // The entries this match made found name the file that matched (most
        // often the entry's text in another letter case) and its machine.
        const long byName = EqualsNoCase(matched, text) ? entry : m_references.Find(matched);
        for (const long made : {byName, entry}) {
            if (made < 0) continue;
            const Reference& madeEntry = m_references[static_cast<size_t>(made)];
            if (madeEntry.State() == REF_FOUND && madeEntry.fileName.empty()) {
                m_references.SetMatchedFile(static_cast<size_t>(made), matched, module->machine);
            }
        }
        ActivateManifest(directory + matched, *module, serial, true);
    }
    if (found && foundModule != nullptr) *foundModule = *module;
    return found;
}

void CReferenceScanner::NotifyIfOtherMachine(const std::string& path, uint16_t machine) const {
    if (m_pObserver == nullptr || m_wRequiredMachine == 0 || machine == 0 ||
        machine == m_wRequiredMachine) {
        return;
    }
    char reason[64];
    std::snprintf(reason, sizeof reason, "machine 0x%04X, the module's is 0x%04X", machine,
                  m_wRequiredMachine);
    m_pObserver->OnCandidatePassedOver(path, reason);
}

}  // namespace kivrel
