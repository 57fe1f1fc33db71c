// What the scan needs from the operating system beyond file mapping: the
// directory search, the system directories and the environment. Each platform
// implements CreateNativePlatform in its os_*.cpp; tests substitute their own.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapped_image.h"

namespace kivrel {

// Called for each directory entry that matches; returning false ends the search.
using MatchCallback = std::function<bool(const std::string& fileName)>;

class IScanPlatform {
public:
    virtual ~IScanPlatform() = default;

    virtual char PathSeparator() const = 0;
    // "" where the platform has no such directory.
    virtual std::string SystemDirectory() = 0;
    virtual std::string WindowsDirectory() = 0;
    // The folder of the 32-bit system DLLs on a 64-bit system (SysWOW64);
    // "" where there is none.
    virtual std::string Wow64SystemDirectory() { return std::string(); }
    // The names (REG_SZ values) of the system's KnownDLLs registry key; false
    // where the platform has no such key.
    virtual bool GetKnownDlls(std::vector<std::string>& /*names*/) { return false; }
    // The list the PATH step splits at ';'; false when it is not set.
    virtual bool GetPathList(std::string& value) = 0;
    // False when the variable is not set or empty, as GetEnvironmentVariableA
    // reports both.
    virtual bool GetEnvironmentValue(const std::string& name, std::string& value) = 0;
    // True for the lead byte of a double-byte character in the narrow code page.
    virtual bool IsLeadByte(char) const { return false; }
    // True where the file system tells names apart by letter case: a found
    // module's path then takes the name of the directory entry that matched,
    // as the import's text may name no file at all.
    virtual bool NamesAreCaseSensitive() const { return false; }
    // Enumerates the entries of `directory` (ending in a separator) whose names
    // match `pattern` ('*', '?'; letter case ignored), in the platform's order.
    virtual void FindMatches(const std::string& directory, const std::string& pattern,
                             const MatchCallback& onMatch) = 0;
    // A scan begins: anything cached about the file system is dropped.
    virtual void BeginScan() {}
    // The file at `path` mapped and classified, regular files only (see
    // CMappedFile). Manifests and private assemblies are read through here.
    virtual std::unique_ptr<CMappedImage> MapFile(const std::string& path) {
        return std::make_unique<CMappedImage>(path.c_str());
    }
};

// Values that replace the platform's own; unset ones keep the platform default.
struct PlatformOverrides {
    std::optional<std::string> systemDirectory;
    std::optional<std::string> windowsDirectory;
    std::optional<std::string> pathList;
};

std::unique_ptr<IScanPlatform> CreateNativePlatform(const PlatformOverrides& overrides = {});

#ifdef _WIN32
// The native platform searching with FindFirstFileA for every directory and
// pattern instead of listing each directory once: slower, kept to compare the
// two against each other.
std::unique_ptr<IScanPlatform> CreatePatternSearchPlatform(const PlatformOverrides& overrides = {});
#endif

}  // namespace kivrel
