#include "formats.h"

namespace kivrel::cli {

void WriteMissing(std::ostream& out, const CScanResult& result) {
    const CReferenceList& references = result.References();
    for (size_t i = 0; i < references.size(); ++i) {
        if (!result.IsResolved(i)) out << references[i].text << '\n';
    }
}

}  // namespace kivrel::cli
