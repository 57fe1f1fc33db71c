// What the output formats of kivrel-scan read of a finished scan: the
// reference list, the full path the report printed for each found module, and
// the name of the module that was scanned.
#pragma once

#include <string>
#include <vector>

#include "import_graph.h"
#include "reference_list.h"
#include "reference_scanner.h"

namespace kivrel::cli {

class CScanOutcome {
public:
    using Node = CImportGraph::Node;

    CScanOutcome(const std::string& modulePath, const CReferenceScanner& scanner);

    const CReferenceList& References() const { return m_references; }
    // The full path the report gives the reference at `index`; "" unless found.
    const std::string& PathOf(size_t index) const { return m_paths[index]; }

    // The scanned module's file name for the root, a reference's text otherwise.
    const std::string& NameOf(Node node) const;
    // What a line says after "=>": the full path, "not found", "incorrect"
    // or "api-set HOST"; for the root the module path as given.
    std::string ResolutionOf(Node node) const;
    // Neither found nor an API set with a host.
    bool IsUnresolved(Node node) const;
    // The full path of a found module, or of an API set's host; "" for others.
    std::string ModulePathOf(size_t index) const;
    // Indexes of the references that `name` stands for as an import: the one
    // equal to it without regard to case, or else those that extend it (the
    // list drops a name that a longer entry begins with).
    std::vector<size_t> FindName(const std::string& name) const;

private:
    const CReferenceList& m_references;
    std::string m_modulePath;
    std::string m_moduleName;
    std::vector<std::string> m_paths;
};

// The file name part of a path (after the last separator; on Windows '/' and
// ':' also end a directory).
std::string FileNameOf(const std::string& path);

}  // namespace kivrel::cli
