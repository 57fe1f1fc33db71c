#include "formats.h"

namespace kivrel::cli {

void WriteMissing(std::ostream& out, const CScanOutcome& outcome) {
    const CReferenceList& references = outcome.References();
    for (size_t i = 0; i < references.size(); ++i) {
        if (outcome.IsUnresolved(CImportGraph::NodeOfReference(i))) {
            out << references[i].text << '\n';
        }
    }
}

}  // namespace kivrel::cli
