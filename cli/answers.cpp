#include "answers.h"

#include "bundle_copy.h"
#include "formats.h"
#include "messages.h"

namespace kivrel::cli {

bool WantsAnswer(const Options& options) {
    return options.tree || options.why || options.ldd || options.missingOnly;
}

int WriteAnswer(const Options& options, const CReferenceScanner& scanner,
                const std::string& message, int status, std::ostream& out, std::ostream& err) {
    if (!message.empty()) err << "kivrel-scan: " << options.module << ": " << message << '\n';
    const CScanOutcome outcome(options.module, scanner);
    if (options.tree || options.why) {
        const CImportGraph graph(scanner.References(), scanner.Edges());
        if (options.why) return WriteWhy(out, err, outcome, graph, *options.why);
        // A file that is no PE image has no tree, not even its root.
        if (message != MessageText(IDS_INVALID_NT_SIGNATURE)) {
            WriteTree(out, outcome, graph, options.missingOnly);
        }
    } else if (options.ldd) {
        WriteLdd(out, outcome, options.missingOnly);
    } else {
        WriteMissing(out, outcome);
    }
    return status;
}

bool CopyFoundModules(const Options& options, IScanPlatform& platform,
                      const CReferenceScanner& scanner, std::ostream& err) {
    BundleRequest request;
    request.destination = *options.copyTo;
    request.excludedDirectories = options.excludeDirs;
    request.excludedDirectories.push_back(platform.SystemDirectory());
    request.excludedDirectories.push_back(platform.WindowsDirectory());
    request.force = options.force;
    request.verbose = options.verbose;
    std::vector<std::string> paths;
    const CReferenceList& references = scanner.References();
    for (size_t i = 0; i < references.size(); ++i) {
        if (references[i].State() == REF_FOUND) paths.push_back(scanner.FoundPath(i));
    }
    return CopyModules(paths, request, err);
}

}  // namespace kivrel::cli
