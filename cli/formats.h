// The text formats of kivrel-scan beyond the report lines, one file each.
#pragma once

#include <ostream>
#include <string>

#include "import_graph.h"
#include "scan_result.h"

namespace kivrel::cli {

// --tree: "NAME => RESOLUTION" per line, two spaces per level, a name
// needed only through delay-loading marked " (delay-load)"; with
// `missingOnly` only the branches that lead to an unresolved name.
void WriteTree(std::ostream& out, const CScanResult& result, bool missingOnly);

// --why: "a.exe -> b.dll -> NAME" per shortest chain. Returns the exit
// status: 1, with a message on `err`, when NAME is not a reference.
int WriteWhy(std::ostream& out, std::ostream& err, const CScanResult& result,
             const std::string& name);

// --format ldd: "NAME => PATH" or "NAME => not found" per reference, in
// reference-list order; with `missingOnly` only the second kind.
void WriteLdd(std::ostream& out, const CScanResult& result, bool missingOnly);

// --missing-only: the unresolved names, one per line, in reference-list order.
void WriteMissing(std::ostream& out, const CScanResult& result);

}  // namespace kivrel::cli
