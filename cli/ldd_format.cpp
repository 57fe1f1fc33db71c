#include "formats.h"

namespace kivrel::cli {

void WriteLdd(std::ostream& out, const CScanResult& result, bool missingOnly) {
    const CReferenceList& references = result.References();
    for (size_t i = 0; i < references.size(); ++i) {
        // An incorrect file is not a module to an ldd-style reader either; an
        // API set names the module that the loader maps it to.
        const std::string path = result.ModulePathOf(i);
        if (!path.empty() && missingOnly) continue;
        out << references[i].text << " => " << (path.empty() ? "not found" : path) << '\n';
    }
}

}  // namespace kivrel::cli
