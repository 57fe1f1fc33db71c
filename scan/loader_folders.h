// The folders the loader gives a module beyond the search order's own: a
// Wine prefix's system and Windows folders, SysWOW64 for a 32-bit module on
// 64-bit Windows, and an EXE's NAME.exe.local folder.
#pragma once

#include <optional>
#include <string>

#include "known_dlls.h"
#include "platform.h"

namespace kivrel {

class CMappedImage;

struct LoaderFolderOptions {
    std::optional<std::string> winePrefix;
    bool wow64 = false;  // a 32-bit module's system folder is SysWOW64
};

// Sets the system and Windows directories of `overrides` that are not set
// already, for the module at `modulePath` as its machine type asks, and
// with a prefix the registry file the KnownDLLs come from.
void ApplyLoaderFolders(IScanPlatform& platform, const std::string& modulePath,
                        const LoaderFolderOptions& options, PlatformOverrides& overrides,
                        KnownDllsSource& knownDlls);

// The NAME.exe.local folder beside the EXE at `exePath` when it is a folder
// that holds anything, else "". The loader honours it only for an EXE
// without a manifest of its own, which the caller decides. A file of that
// name (even a FIFO) is only listed, never opened.
std::string DotLocalDirectory(IScanPlatform& platform, const std::string& exePath);

// True when the image has an RT_MANIFEST resource with ID 1. Every read of
// the resource directory is bounded by its data-directory entry and the file.
bool HasManifestResource(const CMappedImage& image);

// True when the EXE at `exePath` has a manifest: a NAME.exe.manifest file
// beside it, or an RT_MANIFEST resource with ID 1.
bool HasOwnManifest(IScanPlatform& platform, const std::string& exePath);

}  // namespace kivrel
