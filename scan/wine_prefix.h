// A Wine prefix as the programs run in it see it: its C: drive's Windows
// folder, the system folder for the module's machine type, and the file
// that holds the registry's machine half.
#pragma once

#include <cstdint>
#include <string>

namespace kivrel {

class IScanPlatform;

struct WinePrefixFolders {
    std::string windowsDirectory;  // PREFIX/drive_c/windows
    std::string systemDirectory;   // its system32, or syswow64 for a 32-bit module
    std::string systemReg;         // PREFIX/system.reg
};

// `machine` is the scanned module's machine type (0 when not known). A
// 64-bit prefix keeps the 32-bit DLLs in syswow64; a 32-bit prefix has no
// such folder and keeps them in system32.
WinePrefixFolders WinePrefixFoldersFor(IScanPlatform& platform, const std::string& prefix,
                                       uint16_t machine);

}  // namespace kivrel
