// KnownDLLs: the names the loader always maps from the system directory,
// whatever sits earlier in the search order. The list comes from a file the
// user names, else a Wine prefix's registry, else the system's registry,
// else the table of current Windows in known_dlls.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kivrel {

class IScanPlatform;

class CKnownDlls {
public:
    void Assign(const std::vector<std::string>& names, std::string source);
    void Clear();

    // True when the loader takes `name`, an import's text, from the list
    // (compared as FoldedModuleName gives it).
    bool Contains(std::string_view name) const;
    size_t size() const { return m_names.size(); }
    bool IsLoaded() const { return !m_source.empty(); }
    // Where the list came from, for the verbose output.
    const std::string& Source() const { return m_source; }

private:
    std::unordered_set<std::string> m_names;  // folded, each with its extension
    std::string m_source;
};

// Where the list is to come from; both unset: the system's registry, else the table.
struct KnownDllsSource {
    std::optional<std::string> listFile;   // one name a line; replaces every other source
    std::optional<std::string> systemReg;  // a Wine prefix's system.reg
};

// Fills `list`. False only when the list file named cannot be read; `error` says why.
bool LoadKnownDlls(IScanPlatform& platform, const KnownDllsSource& source, CKnownDlls& list,
                   std::string& error);

// The names of a list file's text: one a line, blanks around it dropped;
// empty lines and lines beginning with '#' are skipped.
std::vector<std::string> ParseKnownDllsList(std::string_view text);

// A module name as the loader compares it: letter case ignored, and a name
// without extension (or ending in '.') standing for NAME.dll.
std::string FoldedModuleName(std::string_view name);

// The KnownDLLs of a Windows 10 or 11 installation.
const std::vector<std::string>& BuiltInKnownDlls();

}  // namespace kivrel
