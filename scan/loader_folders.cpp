#include "loader_folders.h"

#include <utility>

#include "mapped_image.h"
#include "resource_directory.h"
#include "text.h"
#include "wine_prefix.h"

namespace kivrel {

namespace {
constexpr uint16_t kMachineI386 = 0x014C;
}  // namespace

bool HasManifestResource(const CMappedImage& image) {
    // A damaged one counts too: the loader takes the EXE for one with a manifest.
    ResourceData data;
    return FindResourceData(image, kResourceManifest, kProcessManifestId, data) != RESOURCE_ABSENT;
}

void ApplyLoaderFolders(IScanPlatform& platform, const std::string& modulePath,
                        const LoaderFolderOptions& options, PlatformOverrides& overrides,
                        KnownDllsSource& knownDlls) {
    if (!options.winePrefix && !options.wow64) return;
    // The module is read again by the scan; only its machine type is needed here.
    const uint16_t machine =
        FitsPathBuffer(modulePath) ? CMappedImage(modulePath.c_str()).Machine() : 0;
    if (options.winePrefix) {
        const WinePrefixFolders folders =
            WinePrefixFoldersFor(platform, *options.winePrefix, machine);
        if (!overrides.systemDirectory) overrides.systemDirectory = folders.systemDirectory;
        if (!overrides.windowsDirectory) overrides.windowsDirectory = folders.windowsDirectory;
        if (!knownDlls.systemReg) knownDlls.systemReg = folders.systemReg;
        return;
    }
    if (machine == kMachineI386 && !overrides.systemDirectory) {
        std::string wow64 = platform.Wow64SystemDirectory();
        if (!wow64.empty()) overrides.systemDirectory = std::move(wow64);
    }
}

std::string DotLocalDirectory(IScanPlatform& platform, const std::string& exePath) {
    const char separator = platform.PathSeparator();
    const size_t cut = exePath.rfind(separator);
    if (cut == std::string::npos) return std::string();
    const std::string directory = exePath.substr(0, cut + 1);
    const std::string pattern = exePath.substr(cut + 1) + ".local";
    std::string local;
    platform.FindMatches(directory, pattern, [&](const std::string& name) {
        local = directory + name + separator;
        return false;
    });
    if (local.empty() || !FitsPathBuffer(local)) return std::string();
    // Listing a name that is no folder finds nothing and opens nothing.
    bool holdsAnything = false;
    platform.FindMatches(local, "*", [&](const std::string& name) {
        holdsAnything = name != "." && name != "..";  // Windows' own search lists both
        return !holdsAnything;
    });
    return holdsAnything ? local : std::string();
}

bool HasOwnManifest(IScanPlatform& platform, const std::string& exePath) {
    const size_t cut = exePath.rfind(platform.PathSeparator());
    bool manifestFile = false;
    if (cut != std::string::npos) {
        platform.FindMatches(exePath.substr(0, cut + 1), exePath.substr(cut + 1) + ".manifest",
                             [&](const std::string&) {
                                 manifestFile = true;
                                 return false;
                             });
    }
    return manifestFile ||
           (FitsPathBuffer(exePath) && HasManifestResource(CMappedImage(exePath.c_str())));
}

}  // namespace kivrel
