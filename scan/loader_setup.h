// Setting a scan up for the loader rules: what "every rule" means, and the
// platform and KnownDLLs list a scan of one module runs with. kivrel-scan and
// the dialog's "Loader rules" switch both set their scans up here.
#pragma once

#include <memory>
#include <string>

#include "known_dlls.h"
#include "loader_folders.h"
#include "platform.h"
#include "reference_scanner.h"

namespace kivrel {

// Turns on every loader rule (kivrel-scan --loader). `oneProgram`: also an
// EXE's .local folder, which a scan shared by many programs has no place for.
void EnableAllLoaderRules(LoaderOptions& loader, LoaderFolderOptions& folders, bool oneProgram);

// What a scan runs with besides its scanner.
struct LoaderScanSetup {
    std::unique_ptr<IScanPlatform> platform;
    CKnownDlls knownDlls;  // loaded only when the rules ask for KnownDLLs
};

// Sets up a scan of `modulePath` under `loader`: `overrides` and `source`
// take the folders `folders` give the module (a Wine prefix's, SysWOW64 for
// a 32-bit module) where they are not set already, the platform is made with
// them and the KnownDLLs list loaded. False only when a list file named
// cannot be read; `error` says why.
bool PrepareLoaderScan(const std::string& modulePath, const LoaderOptions& loader,
                       const LoaderFolderOptions& folders, PlatformOverrides& overrides,
                       KnownDllsSource& source, LoaderScanSetup& setup, std::string& error);

}  // namespace kivrel
