#include "loader_folders.h"

#include <utility>

#include "mapped_image.h"
#include "text.h"
#include "wine_prefix.h"

namespace kivrel {

namespace {
constexpr uint16_t kMachineI386 = 0x014C;
constexpr unsigned kResourceDirectory = 2;
constexpr uint32_t kManifestType = 24;  // RT_MANIFEST
constexpr uint32_t kProcessManifestId = 1;
constexpr uint32_t kSubdirectory = 0x80000000;

// The entry offset (from the resource section's start) of the ID entry `id`
// in the resource directory at `directory`; kNoFileOffset when there is none.
// Each read is checked against the section cut to the file.
uint32_t FindIdEntry(const ByteReader& section, uint32_t directory, uint32_t id) {
    uint16_t named = 0, ids = 0;
    if (!section.ReadU16(uint64_t(directory) + 12, named) ||
        !section.ReadU16(uint64_t(directory) + 14, ids)) {
        return kNoFileOffset;
    }
    // Named entries come first; ID entries follow in ascending order.
    for (uint32_t i = 0; i < ids; ++i) {
        const uint64_t entry = uint64_t(directory) + 16 + (uint64_t(named) + i) * 8;
        uint32_t name = 0, offset = 0;
        if (!section.ReadU32(entry, name) || !section.ReadU32(entry + 4, offset)) break;
        if (name == id) return offset;
    }
    return kNoFileOffset;
}

}  // namespace

bool HasManifestResource(const CMappedImage& image) {
    const uint32_t start = image.GetDirectoryEntryOffset(kResourceDirectory);
    if (image.PeHeaders() == nullptr || start == kNoFileOffset) return false;
    const uint32_t claimed = image.GetDirectoryEntrySize(kResourceDirectory);
    const uint32_t size = claimed < image.FileSize() - start ? claimed : image.FileSize() - start;
    const ByteReader section(image.View() + start, size);
    const uint32_t type = FindIdEntry(section, 0, kManifestType);
    return type != kNoFileOffset && (type & kSubdirectory) != 0 &&
           FindIdEntry(section, type & ~kSubdirectory, kProcessManifestId) != kNoFileOffset;
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
