// Side-by-side manifests, read from untrusted text: a module's dependencies
// on assemblies, an assembly's own identity and the files it holds, and the
// version redirections of a publisher policy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivrel {

class CMappedImage;

// major.minor.build.revision, each part 0..65535.
struct AssemblyVersion {
    uint16_t part[4] = {0, 0, 0, 0};

    // False unless `text` is four decimal parts joined by '.'.
    static bool Parse(std::string_view text, AssemblyVersion& version);
    std::string ToString() const;
    bool SameMajorMinor(const AssemblyVersion& other) const {
        return part[0] == other.part[0] && part[1] == other.part[1];
    }
    friend bool operator<(const AssemblyVersion& a, const AssemblyVersion& b);
    friend bool operator==(const AssemblyVersion& a, const AssemblyVersion& b);
};

// The attributes of an assemblyIdentity element, as written.
struct AssemblyIdentity {
    std::string type, name, version, processorArchitecture, publicKeyToken, language;
};

// oldVersion is one version or a range "low-high".
struct BindingRedirect {
    std::string oldVersion, newVersion;
    // True when `version` lies in oldVersion and newVersion parses.
    bool Covers(const AssemblyVersion& version, AssemblyVersion& target) const;
};

struct AssemblyDependency {
    AssemblyIdentity identity;
    bool optional = false;                   // <dependency optional="yes">
    std::vector<BindingRedirect> redirects;  // in a publisher policy
};

struct Manifest {
    bool hasIdentity = false;  // the assembly's own assemblyIdentity
    AssemblyIdentity identity;
    // <file name=.../>: names that could point outside the assembly's folder are left out.
    std::vector<std::string> files;
    std::vector<AssemblyDependency> dependencies;
};

// Reads a manifest: XML whose root is the element assembly of namespace
// urn:schemas-microsoft-com:asm.v1 (trailing zero bytes, which resource
// compilers pad with, are ignored). False with a reason otherwise.
bool ReadManifest(std::string_view text, Manifest& manifest, std::string& error);

// The manifest a module carries (or an EXE's NAME.exe.manifest beside it).
struct ModuleManifest {
    std::string source;  // "resource N" or the file read; "" when there is none
    bool read = false;   // it is a manifest; else `error` says why not
    std::string error;
    Manifest manifest;
    // Only then does it make an activation context that changes where names resolve.
    bool HasDependencies() const { return read && !manifest.dependencies.empty(); }
};

// Reads RT_MANIFEST resource `id` of `image` into `result` (source "" when
// the image has none).
void ReadManifestResource(const CMappedImage& image, uint16_t id, ModuleManifest& result);

// True when every field an identity is looked up by can name a file only in
// the folders it is looked for in: a plain file name, a four-part version, an
// architecture, token and language of letters, digits and '-' (or "*").
bool IsLookupSafe(const AssemblyIdentity& identity);

}  // namespace kivrel
