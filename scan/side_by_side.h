// Side-by-side assemblies: which folder holds the assembly a manifest depends
// on. A private assembly in the application's folder is looked for first,
// then the Windows directory's store (WinSxS), whose Manifests folder is
// listed once per scan; only the manifests a dependency names are read.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "manifest.h"
#include "platform.h"

namespace kivrel {

class CMappedImage;

struct ResolvedAssembly {
    std::string name;     // as the dependency names it
    std::string version;  // the version chosen; the one asked for when none is found
    bool found = false;
    bool optional = false;  // a dependency whose absence does not stop the program
    // Not found, and there is no store to look in (no Windows directory, or
    // no WinSxS in it): whether the program starts cannot be told.
    bool noStore = false;
    std::string manifestPath;  // the manifest read: a .manifest file or the DLL holding it
    std::string folder;        // the assembly's files are here (ends in a separator)
    // The files its manifest lists that the folder holds: name as listed, full path.
    std::vector<std::pair<std::string, std::string>> files;
    std::string note;  // how the version was chosen, or why nothing was found
};

// An EXE's manifest file beside it, NAME.exe.manifest, which the loader
// reads when the EXE carries none (source "" when there is none either).
void ReadManifestBeside(IScanPlatform& platform, const std::string& exePath,
                        ModuleManifest& result);

// The manifest of the module a scan names, read from its resource: for an
// EXE without one, the file beside it is taken instead.
void TakeManifestBeside(IScanPlatform& platform, const std::string& modulePath,
                        ModuleManifest& manifest);

class CSideBySideStore {
public:
    explicit CSideBySideStore(IScanPlatform& platform) : m_platform(platform) {}

    // A scan begins: the store is listed again on its next use.
    void BeginScan();
    // The assembly `dependency` stands for, for an application in
    // `appFolder` (ending in a separator); `machine` stands in for an
    // architecture of "*".
    const ResolvedAssembly& Find(const AssemblyDependency& dependency, const std::string& appFolder,
                                 uint16_t machine);

private:
    // A Manifests entry: ARCH_NAME_TOKEN_VERSION_LANGUAGE_HASH.manifest,
    // the fields folded to lower case.
    struct StoreKey {
        std::string fileName, arch, name, token, language;
        AssemblyVersion version;
    };
    struct Wanted {
        std::string arch, name, token, language;
        AssemblyVersion version;
    };

    void ListStore();
    bool FindPrivate(const AssemblyDependency& dependency, const std::string& appFolder,
                     ResolvedAssembly& result);
    void FindInStore(const Wanted& wanted, ResolvedAssembly& result);
    // The key a publisher policy redirects `wanted` through, if any.
    bool Redirect(const Wanted& wanted, AssemblyVersion& target);
    void TakeStoreAssembly(const StoreKey& key, ResolvedAssembly& result);
    // The entry of `directory` named `name` without regard to case; "" when none.
    std::string FindEntry(const std::string& directory, const std::string& name);
    // The files `manifest` lists that `folder` holds.
    void TakeFiles(const Manifest& manifest, ResolvedAssembly& result);
    bool ReadManifestFile(const std::string& path, bool inResource, Manifest& manifest);

    IScanPlatform& m_platform;
    bool m_bListed = false;
    std::string m_storeDirectory;     // WinSxS, ending in a separator; "" when there is none
    std::string m_manifestDirectory;  // its Manifests folder
    std::vector<StoreKey> m_keys;
    std::unordered_map<std::string, ResolvedAssembly>
        m_found;  // by application folder and identity
};

}  // namespace kivrel
