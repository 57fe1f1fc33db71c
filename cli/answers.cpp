#include "answers.h"

#include "bundle_copy.h"
#include "formats.h"
#include "messages.h"

namespace kivrel::cli {

bool WantsAnswer(const Options& options) {
    return options.tree || options.why || options.ldd || options.missingOnly;
}

int WriteAnswer(const Options& options, const CScanResult& result, std::ostream& out,
                std::ostream& err) {
    const int messageId = result.MessageId();
    if (messageId != 0)
        err << "kivrel-scan: " << options.module << ": " << MessageText(messageId) << '\n';
    if (options.why) return WriteWhy(out, err, result, *options.why);
    if (options.tree) {
        // A file that is no PE image has no tree, not even its root.
        if (messageId != IDS_INVALID_NT_SIGNATURE) WriteTree(out, result, options.missingOnly);
    } else if (options.ldd) {
        WriteLdd(out, result, options.missingOnly);
    } else {
        WriteMissing(out, result);
    }
    return result.ExitStatus();
}

bool CopyFoundModules(const Options& options, IScanPlatform& platform, const CScanResult& result,
                      std::ostream& err) {
    BundleRequest request;
    request.destination = *options.copyTo;
    request.excludedDirectories = options.excludeDirs;
    request.excludedDirectories.push_back(platform.SystemDirectory());
    request.excludedDirectories.push_back(platform.WindowsDirectory());
    request.force = options.force;
    request.verbose = options.verbose;
    request.machine = result.Module().machine;
    std::vector<BundleModule> modules;
    for (size_t i = 0; i < result.References().size(); ++i) {
        if (!result.PathOf(i).empty())
            modules.push_back({result.PathOf(i), result.References()[i].machine});
    }
    return CopyModules(modules, request, err);
}

}  // namespace kivrel::cli
