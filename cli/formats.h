// The text formats of kivrel-scan beyond the report lines, one file each.
#pragma once

#include <ostream>
#include <string>

#include "import_graph.h"
#include "scan_outcome.h"

namespace kivrel::cli {

// --tree: "NAME => RESOLUTION" per line, two spaces per level; with
// `missingOnly` only the branches that lead to an unresolved name.
void WriteTree(std::ostream& out, const CScanOutcome& outcome, const CImportGraph& graph,
               bool missingOnly);

// --why: "a.exe -> b.dll -> NAME" per shortest chain. Returns the exit
// status: 1, with a message on `err`, when NAME is not a reference.
int WriteWhy(std::ostream& out, std::ostream& err, const CScanOutcome& outcome,
             const CImportGraph& graph, const std::string& name);

// --format ldd: "NAME => PATH" or "NAME => not found" per reference, in
// reference-list order; with `missingOnly` only the second kind.
void WriteLdd(std::ostream& out, const CScanOutcome& outcome, bool missingOnly);

// --missing-only: the unresolved names, one per line, in reference-list order.
void WriteMissing(std::ostream& out, const CScanOutcome& outcome);

}  // namespace kivrel::cli
