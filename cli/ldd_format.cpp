#include "formats.h"

namespace kivrel::cli {

void WriteLdd(std::ostream& out, const CScanOutcome& outcome, bool missingOnly) {
    const CReferenceList& references = outcome.References();
    for (size_t i = 0; i < references.size(); ++i) {
        // An incorrect file is not a module to an ldd-style reader either.
        const bool found = references[i].State() == REF_FOUND;
        if (found && missingOnly) continue;
        out << references[i].text << " => " << (found ? outcome.PathOf(i) : "not found") << '\n';
    }
}

}  // namespace kivrel::cli
