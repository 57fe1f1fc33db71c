#include "wine_prefix.h"

#include "platform.h"

namespace kivrel {

namespace {
constexpr uint16_t kMachineI386 = 0x014C;
}  // namespace

WinePrefixFolders WinePrefixFoldersFor(IScanPlatform& platform, const std::string& prefix,
                                       uint16_t machine) {
    const char separator = platform.PathSeparator();
    std::string root = prefix;
    if (root.empty() || root.back() != separator) root += separator;
    WinePrefixFolders folders;
    folders.windowsDirectory = root + "drive_c" + separator + "windows";
    folders.systemReg = root + "system.reg";
    std::string system = "system32";
    if (machine == kMachineI386) {
        // The entry as the folder holds it, in whatever letter case.
        platform.FindMatches(folders.windowsDirectory + separator, "syswow64",
                             [&](const std::string& name) {
                                 system = name;
                                 return false;
                             });
    }
    folders.systemDirectory = folders.windowsDirectory + separator + system;
    return folders;
}

}  // namespace kivrel
