// Where the loader takes a name from before it walks the search order: a
// module the host process has loaded already, else a KnownDLL, or a name a
// KnownDLL imports (directly or further down), from the system directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "known_dlls.h"

namespace kivrel {

class CLoaderRules {
public:
    // The one search directory to look in first, and the file name to look
    // for there ("" for the name as imported).
    struct Place {
        uint32_t directoryIndex = 0;
        std::string fileName;
        bool system = false;  // by the KnownDLLs rule: the module's imports follow it
    };

    void Clear();
    // A module the host has loaded, in search directory `directoryIndex` as
    // `fileName`: an import of its base name is that module.
    void AddLoaded(std::string_view name, uint32_t directoryIndex, std::string fileName);
    // KnownDLLs from `list` (kept by the caller) in search directory `systemIndex`.
    void SetKnownDlls(const CKnownDlls* list, uint32_t systemIndex);

    // False: the name is looked for along the search order as usual.
    bool Find(std::string_view name, Place& place) const;
    // The names a module taken from the system directory by this rule imports.
    void AddSystemImports(const std::vector<std::string>& names);

private:
    std::unordered_map<std::string, Place> m_loaded;  // by folded base name
    const CKnownDlls* m_pKnownDlls = nullptr;
    uint32_t m_systemIndex = 0;
    std::unordered_set<std::string> m_systemImports;  // folded
};

}  // namespace kivrel
