#include "audit_scan.h"

#include <algorithm>
#include <map>
#include <utility>

#include "path_text.h"
#include "scan_result.h"
#include "side_by_side.h"
#include "text.h"

namespace kivrel {

namespace {
LoaderOptions WithOwnFolderFirst(LoaderOptions options) {
    options.moduleDir = true;
    return options;
}

void SortNoCase(std::vector<std::string>& names) {
    // Each name folded once, not at every comparison.
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names) keyed.emplace_back(ToLowerAscii(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].second);
}

// A missing function that one answer alone holds, flagged as it was found.
FunctionInClosure OwnMissing(std::string importer, const MissingFunction& function) {
    return {std::make_shared<const AuditedFunction>(AuditedFunction{std::move(importer), function}),
            function.delayLoadOnly};
}
}  // namespace

CAuditScan::CAuditScan(IScanPlatform& platform, const LoaderOptions& options,
                       std::string initialDirectory, IScanObserver* observer)
    : m_platform(platform),
      m_initialDirectory(std::move(initialDirectory)),
      m_presence(platform),
      m_scanner(platform, observer),
      m_alone(platform, observer) {
    for (CReferenceScanner* scanner : {&m_scanner, &m_alone}) {
        scanner->SetLoaderOptions(WithOwnFolderFirst(options));
        scanner->SetReadCache(&m_reads);
        scanner->SetMatchPresence(&m_presence);
    }
}

std::vector<AuditedModule> CAuditScan::Check(const std::vector<std::string>& paths) {
    std::vector<AuditedModule> answers(paths.size());
    // Directory listings are kept for the whole run.
    m_platform.BeginScan();
    // With machine matching, the modules of one machine share what is
    // passed over; without one resolution for all, each folder has its own.
    const bool byMachine = m_scanner.Options().matchMachine;
    const bool shared = SharesOneResolution();
    std::map<std::string, size_t> groupOf;
    std::vector<std::vector<size_t>> groups;
    for (size_t i = 0; i < paths.size(); ++i) {
        AuditedModule& answer = answers[i];
        answer.path = paths[i];
        const ModuleRead& read = m_reads.Read(paths[i], RootReadOptions());
        answer.isPe = read.isPe;
        answer.messageId = read.errorId;
        answer.exitStatus = IsFailingMessage(read.errorId) ? 1 : 0;
        if (!read.isPe) continue;
        const size_t cut = paths[i].rfind(m_platform.PathSeparator());
        std::string key =
            shared || cut == std::string::npos ? std::string() : paths[i].substr(0, cut);
        key += '\0';
        key += std::to_string(byMachine ? read.machine : 0);
        const auto [at, added] = groupOf.emplace(std::move(key), groups.size());
        if (added) groups.emplace_back();
        groups[at->second].push_back(i);
    }
    m_aloneQueue.clear();
    for (const std::vector<size_t>& members : groups) {
        if (shared) {
            CheckShared(members, answers);
        } else {
            CheckGroup(members, answers);
        }
    }
    // Last: a scan of its own lists the directories again.
    for (const size_t member : m_aloneQueue) ScanAlone(answers[member]);
    return answers;
}

bool CAuditScan::SharesOneResolution() const {
    const LoaderOptions& options = m_scanner.Options();
    return !options.apiSets && !options.knownDlls && !options.dotLocal &&
           options.hostPath.empty() && !options.assemblies && !options.functions;
}

ModuleReadOptions CAuditScan::RootReadOptions() const {
    // As a scan of the module alone reads it.
    ModuleReadOptions options;
    options.delayLoad = m_scanner.Options().delayLoad;
    options.functions = m_scanner.Options().functions;
    // Kept beside the dependencies' reads, which the cache holds as long.
    options.functionMemory = m_scanner.ReadOptions().functionMemory;
    options.manifest = options.namedModule = m_scanner.Options().assemblies;
    return options;
}

void CAuditScan::CheckGroup(const std::vector<size_t>& members,
                            std::vector<AuditedModule>& answers) {
    const std::string& first = answers[members.front()].path;
    m_scanner.BeginSharedScan(first, m_initialDirectory,
                              m_reads.Read(first, RootReadOptions()).machine);
    std::vector<Root> roots;
    roots.reserve(members.size());
    std::vector<std::shared_ptr<const ModuleFunctions>> functions;
    std::vector<std::vector<uint64_t>> imports;
    for (size_t member : members) {
        const std::string& path = answers[member].path;
        const ModuleRead& read = m_reads.Read(path, RootReadOptions());
        if (m_scanner.Options().assemblies) {
            // A manifest of its own makes the process's activation context.
            ModuleManifest manifest = read.manifest;
            TakeManifestBeside(m_platform, path, manifest);
            if (manifest.HasDependencies()) {
                m_aloneQueue.push_back(member);
                continue;
            }
        }
        roots.push_back({member, m_scanner.AddImportsOf(read), read.imports.size()});
        functions.push_back(read.functions);
        imports.push_back(roots.back().imports);
    }
    if (roots.empty()) return;
    m_scanner.ResolveReferences();
    if (m_scanner.Options().functions) m_scanner.CheckFunctionsOf(functions, imports);
    std::vector<bool> alone(roots.size(), false);
    for (const auto& use : m_scanner.ForwardUses()) {
        const uint64_t k = use.importer - CReferenceScanner::kFirstRoot;
        if (use.importer < CReferenceScanner::kFirstRoot || k >= roots.size()) continue;
        alone[k] = alone[k] || use.delay;
        roots[k].forwarded.push_back(use.module);
    }
    NeedGraph graph = BuildGraph();
    std::vector<std::vector<MissingFunction>> rootMissing(roots.size());
    const Marks marks = MarkGraph(graph, roots.size(), rootMissing);
    const CNeeds needs(graph);
    for (size_t r = 0; r < roots.size(); ++r) {
        if (alone[r] ||
            !Answer(roots[r], graph, needs, answers[roots[r].answer], &marks, &rootMissing[r]))
            m_aloneQueue.push_back(roots[r].answer);
    }
}

CAuditScan::Marks CAuditScan::MarkGraph(
    NeedGraph& graph, size_t roots, std::vector<std::vector<MissingFunction>>& rootMissing) const {
    Marks marks;
    const size_t count = graph.states.size();
    const LoaderOptions& options = m_scanner.Options();
    if (!options.functions && !options.assemblies) return marks;
    marks.missing.resize(count);
    marks.alone.assign(count, false);
    graph.marked.assign(count, false);
    auto mark = [&](uint64_t serial, bool alone) {
        const long index = IndexOf(serial);
        if (index < 0) return;
        graph.marked[size_t(index)] = true;
        if (alone) marks.alone[size_t(index)] = true;
    };
    for (const MissingFunction& missing : m_scanner.MissingFunctions()) {
        if (missing.importer >= CReferenceScanner::kFirstRoot &&
            missing.importer - CReferenceScanner::kFirstRoot < roots) {
            rootMissing[missing.importer - CReferenceScanner::kFirstRoot].push_back(missing);
            continue;
        }
        const long index = IndexOf(missing.importer);
        if (index < 0) continue;
        marks.missing[size_t(index)].push_back(std::make_shared<const AuditedFunction>(
            AuditedFunction{FileNameOf(m_scanner.FoundPath(size_t(index))), missing}));
        mark(missing.importer, false);
    }
    // A module that reaches one of these may have other names in its closure
    // when scanned alone: an assembly's file, or (through a delay-load import,
    // needed as its exporter is) a forwarder's module.
    for (const uint64_t module : m_scanner.ModulesWithManifests()) mark(module, true);
    for (const auto& use : m_scanner.ForwardUses()) {
        if (use.delay && use.importer < CReferenceScanner::kFirstRoot) mark(use.importer, true);
    }
    const CReferenceList& references = m_scanner.References();
    for (size_t i = 0; i < count; ++i) {
        if (!references[i].via.empty()) mark(references.SerialAt(i), true);
    }
    return marks;
}

void CAuditScan::ScanAlone(AuditedModule& answer) {
    struct : IReportSink {
        void ResetLines() override {}
        void AddLine(const std::string&, uint32_t) override {}
    } none;
    const CScanResult result = m_alone.Scan(answer.path, m_initialDirectory, true, none);
    answer.notFound.clear();
    answer.incorrect.clear();
    answer.delayLoadOnly.clear();
    answer.missingFunctions.clear();
    const CReferenceList& references = result.References();
    for (size_t i = 0; i < references.size(); ++i) {
        if (result.IsResolved(i)) continue;
        const Reference& entry = references[i];
        (entry.delayLoadOnly              ? answer.delayLoadOnly
         : entry.State() == REF_INCORRECT ? answer.incorrect
                                          : answer.notFound)
            .push_back(entry.text);
    }
    SortNoCase(answer.notFound);
    SortNoCase(answer.incorrect);
    SortNoCase(answer.delayLoadOnly);
    for (const MissingFunction& missing : result.MissingFunctions()) {
        answer.missingFunctions.push_back(OwnMissing(result.ImporterName(missing), missing));
    }
    answer.exitStatus = result.ExitStatus();
}

void CAuditScan::CheckShared(const std::vector<size_t>& members,
                             std::vector<AuditedModule>& answers) {
    // No module path: the search order without a module's folder.
    m_scanner.BeginSharedScan(
        std::string(), m_initialDirectory,
        m_reads.Read(answers[members.front()].path, RootReadOptions()).machine);
    std::vector<Root> roots;
    roots.reserve(members.size());
    std::map<std::string, std::vector<size_t>> byFolder;  // folder -> roots, in path order
    const char separator = m_platform.PathSeparator();
    for (size_t member : members) {
        const std::string& path = answers[member].path;
        const ModuleRead& read = m_reads.Read(path, RootReadOptions());
        const size_t cut = path.rfind(separator);
        byFolder[cut == std::string::npos ? std::string() : path.substr(0, cut)].push_back(
            roots.size());
        roots.push_back({member, m_scanner.AddImportsOf(read), read.imports.size()});
    }
    m_scanner.ResolveReferences();
    std::vector<std::string> firstPaths;
    for (const auto& folder : byFolder) {
        firstPaths.push_back(answers[roots[folder.second.front()].answer].path);
    }
    const std::vector<std::vector<OwnResolution>> own = OwnFolderFirst(firstPaths);
    // The graph only now: a folder's modules may have added names to the scan.
    const NeedGraph graph = BuildGraph();
    const CNeeds sharedNeeds(graph);
    std::vector<bool> affected;
    size_t f = 0;
    for (const auto& folder : byFolder) {
        const std::vector<OwnResolution>& folderOwn = own[f++];
        if (folderOwn.empty()) {
            for (size_t r : folder.second) {
                Answer(roots[r], graph, sharedNeeds, answers[roots[r].answer]);
            }
        } else {
            const NeedGraph folderGraph = WithOwnResolutions(graph, folderOwn, affected);
            const CNeeds needs(folderGraph, &sharedNeeds, affected);
            for (size_t r : folder.second) {
                Answer(roots[r], folderGraph, needs, answers[roots[r].answer]);
            }
        }
    }
}

std::vector<std::vector<CAuditScan::OwnResolution>> CAuditScan::OwnFolderFirst(
    const std::vector<std::string>& paths) {
    struct Folder {
        std::string directory;  // empty: none that the search order would take
        uint32_t id = 0;
    };
    std::vector<Folder> folders(paths.size());
    for (size_t f = 0; f < paths.size(); ++f) {
        // As BuildSearchDirectories takes a module's folder.
        const size_t cut = paths[f].rfind(m_platform.PathSeparator());
        if (!FitsPathBuffer(paths[f]) || cut == std::string::npos) continue;
        folders[f].directory = paths[f].substr(0, cut + 1);
        if (!FitsPathBuffer(folders[f].directory)) folders[f].directory.clear();
        if (!folders[f].directory.empty())
            folders[f].id = m_presence.DirectoryId(folders[f].directory);
    }
    std::vector<std::vector<OwnResolution>> own(paths.size());
    const ModuleReadOptions options = m_scanner.ReadOptions();
    const CReferenceList& references = m_scanner.References();
    const CSearchDirectoryList& directories = m_scanner.SearchDirectories();
    // Each name is looked up in folder after folder (one pattern prepared once);
    // names that a folder's modules add are checked in turn, until none is new.
    uint64_t checkFrom = 0;
    while (!references.empty() && references.SerialAt(references.size() - 1) >= checkFrom) {
        std::vector<uint64_t> serials;
        for (size_t i = 0; i < references.size(); ++i) {
            if (references.SerialAt(i) >= checkFrom) serials.push_back(references.SerialAt(i));
        }
        checkFrom = serials.back() + 1;
        bool added = false;
        for (const uint64_t serial : serials) {
            const long index = references.IndexOfSerial(serial);
            if (index < 0) continue;  // replaced by a longer name meanwhile
            const Reference entry = references[static_cast<size_t>(index)];
            // Resolved without a look at any folder.
            if (entry.State() == REF_API_SET || !IsSearchableName(entry.text)) continue;
            const std::string pattern = entry.text.back() == '.' ? entry.text + "*" : entry.text;
            CMatchPresence::Row& row = m_presence.RowOf(pattern);
            for (size_t f = 0; f < folders.size(); ++f) {
                const std::string& directory = folders[f].directory;
                if (directory.empty() || directory.size() + pattern.size() >= kMaxPath) continue;
                const std::vector<std::string>& matches =
                    m_presence.MatchesIn(row, folders[f].id, directory, pattern);
                if (matches.empty()) continue;
                // As ResolveInDirectory takes the folder's matches.
                const ModuleRead* found = nullptr;
                std::string foundName;
                for (const std::string& name : matches) {
                    if (!FitsPathBuffer(directory + name)) continue;
                    const ModuleRead& read = m_reads.Read(directory + name, options);
                    if (read.isPe) {
                        found = &read;
                        foundName = name;
                        break;
                    }
                }
                if (found == nullptr) {
                    // Only files that are no modules: the search goes on along
                    // the shared order, which may not pass this folder.
                    if (entry.State() == REF_NOT_FOUND) {
                        own[f].push_back({serial, REF_INCORRECT, {}, 0});
                    }
                    continue;
                }
                const std::string& file = entry.fileName.empty() ? entry.text : entry.fileName;
                if (entry.State() == REF_FOUND &&
                    EqualsNoCase(directories[entry.DirectoryIndex()], directory) &&
                    (entry.fileName.empty() ? EqualsNoCase(file, foundName) : file == foundName)) {
                    continue;  // where the shared order finds it too
                }
                own[f].push_back(
                    {serial, REF_FOUND, m_scanner.AddImportsOf(*found), found->imports.size()});
                added = true;
            }
        }
        if (!added) break;
        m_scanner.ResolveReferences();
    }
    return own;
}

NeedGraph CAuditScan::WithOwnResolutions(const NeedGraph& graph,
                                         const std::vector<OwnResolution>& own,
                                         std::vector<bool>& affected) const {
    const size_t count = graph.states.size();
    NeedGraph folder;
    folder.states = graph.states;
    std::vector<long> ownAt(count, -1);
    for (size_t k = 0; k < own.size(); ++k) {
        const long index = IndexOf(own[k].serial);
        if (index < 0) continue;
        ownAt[static_cast<size_t>(index)] = static_cast<long>(k);
        folder.states[static_cast<size_t>(index)] = own[k].state;
    }
    folder.from.assign(count + 1, 0);
    folder.edges.reserve(graph.edges.size());
    for (size_t node = 0; node < count; ++node) {
        if (ownAt[node] < 0) {
            folder.edges.insert(folder.edges.end(), graph.edges.begin() + graph.from[node],
                                graph.edges.begin() + graph.from[node + 1]);
        } else {
            const OwnResolution& resolution = own[static_cast<size_t>(ownAt[node])];
            for (size_t k = 0; k < resolution.imports.size(); ++k) {
                const long to = IndexOf(resolution.imports[k]);
                if (to < 0) continue;
                folder.edges.emplace_back(
                    static_cast<uint32_t>(to),
                    k < resolution.delayFrom ? CImportEdges::IMPORT : CImportEdges::DELAY_IMPORT);
            }
        }
        folder.from[node + 1] = folder.edges.size();
    }
    // The nodes that lead to one resolved otherwise: a walk back from those.
    std::vector<size_t> intoFrom(count + 1, 0);
    for (const auto& edge : folder.edges) ++intoFrom[edge.first + 1];
    for (size_t node = 0; node < count; ++node) intoFrom[node + 1] += intoFrom[node];
    std::vector<uint32_t> into(folder.edges.size());
    std::vector<size_t> next(intoFrom.begin(), intoFrom.end() - 1);
    for (uint32_t node = 0; node < count; ++node) {
        for (size_t e = folder.from[node]; e < folder.from[node + 1]; ++e) {
            into[next[folder.edges[e].first]++] = node;
        }
    }
    affected.assign(count, false);
    std::vector<uint32_t> pending;
    for (size_t node = 0; node < count; ++node) {
        if (ownAt[node] >= 0) {
            affected[node] = true;
            pending.push_back(static_cast<uint32_t>(node));
        }
    }
    while (!pending.empty()) {
        const uint32_t node = pending.back();
        pending.pop_back();
        for (size_t e = intoFrom[node]; e < intoFrom[node + 1]; ++e) {
            if (!affected[into[e]]) {
                affected[into[e]] = true;
                pending.push_back(into[e]);
            }
        }
    }
    return folder;
}

long CAuditScan::IndexOf(uint64_t serial) const {
    return m_scanner.References().IndexOfSerial(m_scanner.Edges().Follow(serial));
}

NeedGraph CAuditScan::BuildGraph() const {
    const CReferenceList& references = m_scanner.References();
    const size_t count = references.size();
    const CImportEdges& edges = m_scanner.Edges();
    std::vector<std::pair<long, long>> pairs;
    pairs.reserve(edges.Pairs().size());
    for (const auto& [importer, imported] : edges.Pairs()) {
        pairs.emplace_back(IndexOf(importer), IndexOf(imported));
    }
    // A forwarder's module is loaded for the modules whose functions bind
    // through the forwarder (those of roots: Root::forwarded).
    std::vector<CImportEdges::Kind> kinds = edges.Kinds();
    for (const auto& use : m_scanner.ForwardUses()) {
        if (use.importer >= CReferenceScanner::kFirstRoot) continue;
        pairs.emplace_back(IndexOf(use.importer), IndexOf(use.module));
        kinds.push_back(use.delay ? CImportEdges::DELAY_IMPORT : CImportEdges::IMPORT);
    }
    // Compressed rows by importer, each row in recorded order.
    NeedGraph graph;
    graph.from.assign(count + 1, 0);
    for (const auto& [from, to] : pairs) {
        if (from >= 0 && to >= 0) ++graph.from[static_cast<size_t>(from) + 1];
    }
    for (size_t i = 0; i < count; ++i) graph.from[i + 1] += graph.from[i];
    graph.edges.resize(graph.from[count]);
    std::vector<size_t> next(graph.from.begin(), graph.from.end() - 1);
    for (size_t k = 0; k < pairs.size(); ++k) {
        const auto [from, to] = pairs[k];
        if (from < 0 || to < 0) continue;
        graph.edges[next[static_cast<size_t>(from)]++] = {static_cast<uint32_t>(to), kinds[k]};
    }
    graph.states.resize(count);
    for (size_t i = 0; i < count; ++i) graph.states[i] = references[i].State();
    return graph;
}

bool CAuditScan::Answer(const Root& root, const NeedGraph& graph, const CNeeds& needs,
                        AuditedModule& answer, const Marks* marks,
                        const std::vector<MissingFunction>* missing) const {
    std::vector<NeedGraph::Edge> imports;
    imports.reserve(root.imports.size());
    for (size_t k = 0; k < root.imports.size(); ++k) {
        const long index = IndexOf(root.imports[k]);
        if (index >= 0) {
            imports.emplace_back(static_cast<uint32_t>(index), k < root.delayFrom
                                                                   ? CImportEdges::IMPORT
                                                                   : CImportEdges::DELAY_IMPORT);
        }
    }
    for (const uint64_t module : root.forwarded) {
        const long index = IndexOf(module);
        if (index >= 0) imports.emplace_back(static_cast<uint32_t>(index), CImportEdges::IMPORT);
    }
    std::vector<uint32_t> reached, needed;
    needs.Of(imports, reached, needed);
    const CReferenceList& references = m_scanner.References();
    if (missing != nullptr) {
        const std::string name = FileNameOf(answer.path);
        for (const MissingFunction& function : *missing) {
            answer.missingFunctions.push_back(OwnMissing(name, function));
        }
    }
    for (const uint32_t index : reached) {
        const std::string& text = references[index].text;
        const bool isNeeded = std::binary_search(needed.begin(), needed.end(), index);
        if (graph.states[index] == REF_FOUND || graph.states[index] == REF_API_SET) {
            // Reached for being marked: the functions its own imports miss.
            if (marks == nullptr) continue;
            if (marks->alone[index]) return false;
            for (const auto& missing : marks->missing[index])
                answer.missingFunctions.push_back(
                    {missing, missing->function.delayLoadOnly || !isNeeded});
            continue;
        }
        if (!isNeeded) {
            answer.delayLoadOnly.push_back(text);
        } else if (graph.states[index] == REF_INCORRECT) {
            answer.incorrect.push_back(text);
        } else {
            answer.notFound.push_back(text);
        }
    }
    SortNoCase(answer.notFound);
    SortNoCase(answer.incorrect);
    SortNoCase(answer.delayLoadOnly);
    if (!answer.notFound.empty() || !answer.incorrect.empty()) answer.exitStatus = 1;
    for (const FunctionInClosure& function : answer.missingFunctions) {
        if (!function.delayLoadOnly) answer.exitStatus = 1;
    }
    return true;
}

}  // namespace kivrel
