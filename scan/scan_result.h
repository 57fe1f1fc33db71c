// A finished scan as every output reads it: the report lines, the command
// line's JSON, tree, why, ldd and copy answers, and the exit status. It reads
// the scanner's lists in place, so it is valid until the scanner's next scan.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "function_check.h"
#include "import_edges.h"
#include "import_graph.h"
#include "module_read.h"
#include "reference_list.h"
#include "search_directory_list.h"

namespace kivrel {

class CReferenceScanner;

// Whether a message line makes the scan fail: "No referencies" does not, a
// module without imports lacks nothing.
inline bool IsFailingMessage(int messageId) {
    return messageId != 0 && messageId != IDS_NO_REFERENCES;
}

class CScanResult {
public:
    using Node = CImportGraph::Node;

    // `module`: the named module's read; its errorId is the message line
    // the report begins with, or 0.
    CScanResult(const CReferenceScanner& scanner, std::string modulePath, ModuleRead module);

    const std::string& ModulePath() const { return m_modulePath; }
    // The file name part of the module path.
    const std::string& ModuleName() const { return m_moduleName; }
    const ModuleRead& Module() const { return m_module; }
    int MessageId() const { return m_module.errorId; }
    const CReferenceList& References() const { return m_references; }
    // The files that matched a name and were passed over, in the order met.
    const std::vector<PassedOver>& PassedOverFiles() const { return m_passedOver; }
    const std::vector<std::string>& SearchDirectories() const { return m_directories.Entries(); }

    // The full path the report gives a found reference: its directory and,
    // where names are case-sensitive, the file name that matched; "" unless found.
    const std::string& PathOf(size_t index) const { return m_paths[index]; }
    // Found, or an API set that the schema maps to a host.
    bool IsResolved(size_t index) const;
    // Unresolved and needed at start-up (not only through delay-loading).
    bool IsMissingAtStart(size_t index) const;
    // 1 when the report has a message line other than "No referencies" (a
    // module without imports lacks nothing), a name the program needs at
    // start-up is unresolved or a function it needs at start-up is missing;
    // else 0.
    int ExitStatus() const;

    // With the function check: the imported functions that do not bind, in
    // reference-list order of their importers (the scanned module first).
    const std::vector<MissingFunction>& MissingFunctions() const { return m_missing; }
    bool FunctionsChecked() const { return m_bFunctionsChecked; }
    // The node of a missing function's importer, and its file name.
    Node ImporterOf(const MissingFunction& missing) const;
    std::string ImporterName(const MissingFunction& missing) const;
    // "IMPORTER -> MODULE!NAME", and " (forwarded to TARGET!NAME)" after a forwarder.
    std::string MissingFunctionLine(const MissingFunction& missing) const;
    // How many missing functions the module at `node` imports.
    size_t MissingFunctionCount(Node node) const;
    // An entry that only forwarders' exporters import.
    bool OnlyForwarded(size_t index) const { return m_onlyForwarded[index]; }

    // Who imports whom, built on first use.
    const CImportGraph& Graph() const;
    // The module's file name for the root, a reference's text otherwise.
    const std::string& NameOf(Node node) const;
    // What a line says after "=>": the full path, "not found", "incorrect"
    // or "api-set HOST"; for the root the module path as given.
    std::string ResolutionOf(Node node) const;
    bool IsUnresolved(Node node) const {
        return node != CImportGraph::kRoot && !IsResolved(CImportGraph::ReferenceIndex(node));
    }
    // The full path of a found module, or of an API set's host; "" for others.
    std::string ModulePathOf(size_t index) const;
    // Indexes of the references that `name` stands for as an import: the one
    // equal to it without regard to case, or else those that extend it (the
    // list drops a name that a longer entry begins with).
    std::vector<size_t> FindName(const std::string& name) const;

private:
    const CReferenceList& m_references;
    const CSearchDirectoryList& m_directories;
    const CImportEdges& m_edges;
    const std::vector<PassedOver>& m_passedOver;
    std::string m_modulePath;
    std::string m_moduleName;
    ModuleRead m_module;
    std::vector<std::string> m_paths;
    const std::vector<MissingFunction>& m_missing;
    bool m_bFunctionsChecked;
    std::vector<Node> m_importers;  // of m_missing
    std::vector<bool> m_onlyForwarded;
    mutable std::unique_ptr<CImportGraph> m_graph;
};

}  // namespace kivrel
