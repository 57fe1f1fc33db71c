// Where the loader takes a name from before it walks the search order: a
// module the host process has loaded already, else a KnownDLL, or a name a
// KnownDLL imports (directly or further down), from the system directory.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "known_dlls.h"

namespace kivrel {

class CLoaderRules {
public:
    // The one directory to look in, and the name to look for there.
    struct Place {
        std::string directory;
        std::string fileName;
    };

    void Clear();
    // A module the host has loaded, at `directory` (ending in a separator) as
    // `fileName`: an import of its base name is that module.
    void AddLoaded(std::string_view name, const std::string& directory,
                   const std::string& fileName);
    // KnownDLLs from `list` (kept by the caller) in `systemDirectory`; no
    // KnownDLL rule without a system directory.
    void SetKnownDlls(const CKnownDlls* list, const std::string& systemDirectory);

    // False: the name is looked for along the search order as usual.
    bool Find(std::string_view name, Place& place) const;
    // True when `place` (from Find) is the system directory's: the module's
    // own imports come from there too.
    bool IsSystemPlace(const Place& place) const;
    // The names a module taken from the system directory by this rule imports.
    void AddSystemImports(const std::vector<std::string>& names);

    bool HasLoaded() const { return !m_loaded.empty(); }

private:
    std::unordered_map<std::string, Place> m_loaded;  // by folded base name
    const CKnownDlls* m_pKnownDlls = nullptr;
    std::string m_systemDirectory;
    std::unordered_set<std::string> m_systemImports;  // folded
};

}  // namespace kivrel
