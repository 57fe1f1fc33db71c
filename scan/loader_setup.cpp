#include "loader_setup.h"

namespace kivrel {

void EnableAllLoaderRules(LoaderOptions& loader, LoaderFolderOptions& folders, bool oneProgram) {
    loader.apiSets = loader.delayLoad = loader.matchMachine = loader.moduleDir = true;
    loader.functions = loader.knownDlls = loader.assemblies = folders.wow64 = true;
    if (oneProgram) loader.dotLocal = true;
}

bool PrepareLoaderScan(const std::string& modulePath, const LoaderOptions& loader,
                       const LoaderFolderOptions& folders, PlatformOverrides& overrides,
                       KnownDllsSource& source, LoaderScanSetup& setup, std::string& error) {
    // The folders a prefix or the module's machine type gives replace the
    // platform's own; a probe of the platform as given finds them.
    ApplyLoaderFolders(*CreateNativePlatform(overrides), modulePath, folders, overrides, source);
    setup.platform = CreateNativePlatform(overrides);
    setup.knownDlls.Clear();
    return !loader.knownDlls || LoadKnownDlls(*setup.platform, source, setup.knownDlls, error);
}

}  // namespace kivrel
