#include "side_by_side.h"

#include <algorithm>
#include <string_view>

#include "mapped_image.h"
#include "resource_directory.h"
#include "text.h"

namespace kivrel {

namespace {
constexpr std::string_view kManifestExtension = ".manifest";

std::string WithSeparator(std::string directory, char separator) {
    if (!directory.empty() && directory.back() != separator) directory += separator;
    return directory;
}

// The store's name for an architecture of "*": the module's own.
std::string ArchitectureOf(std::string_view arch, uint16_t machine) {
    if (!arch.empty() && arch != "*") return ToLowerAscii(arch);
    switch (machine) {
        case 0x8664:
            return "amd64";
        case 0xAA64:
            return "arm64";
        case 0x1C4:
            return "arm";
        default:
            return "x86";
    }
}

// A neutral language: "none" in the store since Vista, "x-ww" before.
bool SameLanguage(std::string_view wanted, std::string_view key) {
    const bool neutral = wanted.empty() || wanted == "*" || wanted == "neutral";
    return neutral ? (key == "none" || key == "x-ww") : wanted == key;
}

// Long names are cut in the middle to "first..last" in a key.
bool SameName(std::string_view wanted, std::string_view key) {
    if (wanted == key) return true;
    const size_t dots = key.find("..");
    return dots != std::string_view::npos && wanted.size() > key.size() &&
           wanted.substr(0, dots) == key.substr(0, dots) &&
           wanted.substr(wanted.size() - (key.size() - dots - 2)) == key.substr(dots + 2);
}

std::string_view Bytes(const CMappedImage& image, uint32_t offset, uint32_t size) {
    return {reinterpret_cast<const char*>(image.View()) + offset, size};
}
}  // namespace

void ReadManifestBeside(IScanPlatform& platform, const std::string& exePath,
                        ModuleManifest& result) {
    result = ModuleManifest();
    const std::string path = exePath + kManifestExtension.data();
    if (!FitsPathBuffer(path)) return;
    const auto file = platform.MapFile(path);
    if (file->OpenError() != MAP_OK) return;
    result.source = path;
    result.read = ReadManifest(Bytes(*file, 0, file->FileSize()), result.manifest, result.error);
}

void TakeManifestBeside(IScanPlatform& platform, const std::string& modulePath,
                        ModuleManifest& manifest) {
    const std::string_view extension =
        std::string_view(modulePath)
            .substr(modulePath.size() - std::min<size_t>(modulePath.size(), 4));
    if (manifest.source.empty() && EqualsNoCase(extension, ".exe"))
        ReadManifestBeside(platform, modulePath, manifest);
}

void CSideBySideStore::BeginScan() {
    m_bListed = false;
    m_keys.clear();
    m_found.clear();
}

std::string CSideBySideStore::FindEntry(const std::string& directory, const std::string& name) {
    std::string found;
    if (directory.empty() || !FitsPathBuffer(directory + name)) return found;
    m_platform.FindMatches(directory, name, [&](const std::string& entry) {
        found = entry;
        return false;
    });
    return found;
}

void CSideBySideStore::ListStore() {
    if (m_bListed) return;
    m_bListed = true;
    const char separator = m_platform.PathSeparator();
    const std::string windows = WithSeparator(m_platform.WindowsDirectory(), separator);
    const std::string store = FindEntry(windows, "WinSxS");
    if (store.empty()) return;
    m_storeDirectory = windows + store + separator;
    const std::string manifests = FindEntry(m_storeDirectory, "Manifests");
    if (manifests.empty()) return;
    m_manifestDirectory = m_storeDirectory + manifests + separator;
    m_platform.FindMatches(m_manifestDirectory, "*.manifest", [&](const std::string& fileName) {
        const std::string key = ToLowerAscii(fileName.substr(0, fileName.size() - 9));
        std::vector<std::string> parts;
        for (size_t start = 0;;) {
            const size_t end = key.find('_', start);
            parts.push_back(key.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        // A name may itself hold '_': it is what lies between the first
        // field and the last four.
        StoreKey entry;
        const size_t n = parts.size();
        if (n < 6 || !AssemblyVersion::Parse(parts[n - 3], entry.version)) return true;
        entry.fileName = fileName;
        entry.arch = parts[0];
        entry.token = parts[n - 4];
        entry.language = parts[n - 2];
        for (size_t i = 1; i + 4 < n; ++i) entry.name += (i > 1 ? "_" : "") + parts[i];
        m_keys.push_back(std::move(entry));
        return true;
    });
}

const ResolvedAssembly& CSideBySideStore::Find(const AssemblyDependency& dependency,
                                               const std::string& appFolder, uint16_t machine) {
    const AssemblyIdentity& identity = dependency.identity;
    const std::string cacheKey = appFolder + '\n' + identity.name + '\n' + identity.version + '\n' +
                                 ArchitectureOf(identity.processorArchitecture, machine) + '\n' +
                                 identity.publicKeyToken + '\n' + identity.language;
    auto cached = m_found.find(cacheKey);
    if (cached != m_found.end()) return cached->second;
    ResolvedAssembly& result = m_found[cacheKey];
    result.name = identity.name;
    result.version = identity.version;
    result.optional = dependency.optional;
    Wanted wanted;
    if (!IsLookupSafe(identity)) {
        result.note = "refused: not a plain name and four-part version";
    } else if (!FindPrivate(dependency, appFolder, result)) {
        wanted.arch = ArchitectureOf(identity.processorArchitecture, machine);
        wanted.name = ToLowerAscii(identity.name);
        wanted.token =
            ToLowerAscii(identity.publicKeyToken.empty() ? "none" : identity.publicKeyToken);
        wanted.language = ToLowerAscii(identity.language);
        AssemblyVersion::Parse(identity.version, wanted.version);
        FindInStore(wanted, result);
    }
    return result;
}

bool CSideBySideStore::ReadManifestFile(const std::string& path, bool inResource,
                                        Manifest& manifest) {
    if (!FitsPathBuffer(path)) return false;
    const auto file = m_platform.MapFile(path);
    if (file->OpenError() != MAP_OK) return false;
    std::string error;
    if (!inResource) return ReadManifest(Bytes(*file, 0, file->FileSize()), manifest, error);
    ModuleManifest found;
    ReadManifestResource(*file, kProcessManifestId, found);
    manifest = std::move(found.manifest);
    return found.read;
}

bool CSideBySideStore::FindPrivate(const AssemblyDependency& dependency,
                                   const std::string& appFolder, ResolvedAssembly& result) {
    const std::string& name = dependency.identity.name;
    AssemblyVersion wanted;
    AssemblyVersion::Parse(dependency.identity.version, wanted);
    const std::string subfolder = FindEntry(appFolder, name);
    std::vector<std::string> folders{appFolder};
    if (!subfolder.empty()) folders.push_back(appFolder + subfolder + m_platform.PathSeparator());
    for (const std::string& folder : folders) {
        for (const bool inResource : {true, false}) {
            const std::string entry = FindEntry(folder, name + (inResource ? ".dll" : ".manifest"));
            Manifest manifest;
            AssemblyVersion version;
            if (entry.empty() || !ReadManifestFile(folder + entry, inResource, manifest) ||
                !manifest.hasIdentity || !EqualsNoCase(manifest.identity.name, name) ||
                !AssemblyVersion::Parse(manifest.identity.version, version) ||
                !(version == wanted)) {
                continue;
            }
            result.found = true;
            result.manifestPath = folder + entry;
            result.folder = folder;
            result.note = "private assembly";
            TakeFiles(manifest, result);
            return true;
        }
    }
    return false;
}

void CSideBySideStore::FindInStore(const Wanted& wanted, ResolvedAssembly& result) {
    ListStore();
    const StoreKey* exact = nullptr;
    const StoreKey* highest = nullptr;
    std::vector<const StoreKey*> installed;
    for (const StoreKey& key : m_keys) {
        if (key.arch != wanted.arch || key.token != wanted.token ||
            !SameLanguage(wanted.language, key.language) || !SameName(wanted.name, key.name)) {
            continue;
        }
        installed.push_back(&key);
        if (key.version == wanted.version) exact = &key;
        if (key.version.SameMajorMinor(wanted.version) &&
            (!highest || highest->version < key.version))
            highest = &key;
    }
    if (exact != nullptr) {
        result.note = "the version asked for";
        return TakeStoreAssembly(*exact, result);
    }
    AssemblyVersion target;
    if (Redirect(wanted, target)) {
        for (const StoreKey* key : installed) {
            if (key->version == target) {
                result.note = "a publisher policy redirects " + wanted.version.ToString();
                return TakeStoreAssembly(*key, result);
            }
        }
        result.note =
            "a publisher policy redirects it to " + target.ToString() + ", which is not installed";
        return;
    }
    if (highest != nullptr) {
        result.note =
            wanted.version.ToString() + " is not installed: the highest of its major.minor";
        return TakeStoreAssembly(*highest, result);
    }
    result.noStore = m_manifestDirectory.empty();
    result.note = result.noStore ? "no side-by-side store" : "not installed";
}

bool CSideBySideStore::Redirect(const Wanted& wanted, AssemblyVersion& target) {
    // Policies are named policy.MAJOR.MINOR.NAME; the newest one that covers
    // the version decides.
    const std::string policyName = "policy." + std::to_string(wanted.version.part[0]) + '.' +
                                   std::to_string(wanted.version.part[1]) + '.' + wanted.name;
    std::vector<const StoreKey*> policies;
    for (const StoreKey& key : m_keys) {
        if (key.arch == wanted.arch && key.token == wanted.token &&
            SameLanguage(wanted.language, key.language) && SameName(policyName, key.name)) {
            policies.push_back(&key);
        }
    }
    std::sort(policies.begin(), policies.end(),
              [](const StoreKey* a, const StoreKey* b) { return b->version < a->version; });
    for (const StoreKey* policy : policies) {
        Manifest manifest;
        if (!ReadManifestFile(m_manifestDirectory + policy->fileName, false, manifest)) continue;
        for (const AssemblyDependency& dependency : manifest.dependencies) {
            if (!EqualsNoCase(dependency.identity.name, wanted.name)) continue;
            for (const BindingRedirect& redirect : dependency.redirects)
                if (redirect.Covers(wanted.version, target)) return true;
        }
    }
    return false;
}

void CSideBySideStore::TakeStoreAssembly(const StoreKey& key, ResolvedAssembly& result) {
    const std::string folderName =
        FindEntry(m_storeDirectory, key.fileName.substr(0, key.fileName.size() - 9));
    if (folderName.empty()) {
        result.note += "; its folder is missing";
        return;
    }
    result.found = true;
    result.version = key.version.ToString();
    result.manifestPath = m_manifestDirectory + key.fileName;
    result.folder = m_storeDirectory + folderName + m_platform.PathSeparator();
    Manifest manifest;
    if (ReadManifestFile(result.manifestPath, false, manifest)) return TakeFiles(manifest, result);
    // A manifest that cannot be read (the store compresses them since
    // Windows 10): the folder holds the assembly's files and nothing else.
    m_platform.FindMatches(result.folder, "*", [&](const std::string& name) {
        if (name != "." && name != ".." && FitsPathBuffer(result.folder + name))
            result.files.emplace_back(name, result.folder + name);
        return true;
    });
}

void CSideBySideStore::TakeFiles(const Manifest& manifest, ResolvedAssembly& result) {
    for (const std::string& name : manifest.files) {
        const std::string entry = FindEntry(result.folder, name);
        if (!entry.empty()) result.files.emplace_back(name, result.folder + entry);
    }
}

}  // namespace kivrel
