#include "known_dlls.h"

#include <utility>

#include "mapped_file.h"
#include "platform.h"
#include "text.h"
#include "wine_registry.h"

namespace kivrel {

namespace {

// The key as system.reg writes it, relative to REGISTRY\Machine. Wine keeps
// CurrentControlSet as a key of its own; Windows' hives (and later Wine
// versions) hold it in ControlSet001 behind a link.
constexpr std::string_view kKeyPaths[] = {
    "System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs",
    "System\\ControlSet001\\Control\\Session Manager\\KnownDLLs"};

// Entries of the key that name the directory, not a DLL.
bool IsDirectoryValue(std::string_view name) {
    return EqualsNoCase(name, "DllDirectory") || EqualsNoCase(name, "DllDirectory32");
}

}  // namespace

std::string FoldedModuleName(std::string_view name) {
    // The reference list ends a name without extension in '.'.
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    std::string folded = ToLowerAscii(name);
    // The loader appends ".dll" to a name without extension.
    if (folded.find('.') == std::string::npos) folded += ".dll";
    return folded;
}

const std::vector<std::string>& BuiltInKnownDlls() {
    // The values of HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs
    // as 64-bit Windows 10 (22H2) and Windows 11 install them, with the
    // WOW64 emulator's own DLLs (wow64*, xtajit, wowarmhw) that the key also
    // lists; the DllDirectory and DllDirectory32 entries are the folders the
    // names are taken from (System32, SysWOW64). Used where no registry can
    // be read: on Linux without a prefix, and for a prefix without the key.
    static const std::vector<std::string> names = {
        "advapi32.dll", "clbcatq.dll",  "combase.dll",  "comdlg32.dll",  "coml2.dll",
        "difxapi.dll",  "gdi32.dll",    "gdiplus.dll",  "imagehlp.dll",  "imm32.dll",
        "kernel32.dll", "msctf.dll",    "msvcrt.dll",   "normaliz.dll",  "nsi.dll",
        "ole32.dll",    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",    "sechost.dll",
        "setupapi.dll", "shcore.dll",   "shell32.dll",  "shlwapi.dll",   "user32.dll",
        "wldap32.dll",  "ws2_32.dll",   "wow64.dll",    "wow64base.dll", "wow64con.dll",
        "wow64cpu.dll", "wow64win.dll", "wowarmhw.dll", "xtajit.dll"};
    return names;
}

void CKnownDlls::Assign(const std::vector<std::string>& names, std::string source) {
    m_names.clear();
    for (const std::string& name : names) {
        if (!name.empty()) m_names.insert(FoldedModuleName(name));
    }
    m_source = std::move(source);
}

void CKnownDlls::Clear() {
    m_names.clear();
    m_source.clear();
}

bool CKnownDlls::Contains(std::string_view name) const {
    return !name.empty() && m_names.count(FoldedModuleName(name)) != 0;
}

std::vector<std::string> ParseKnownDllsList(std::string_view text) {
    std::vector<std::string> names;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;
        line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
        names.emplace_back(line);
    }
    return names;
}

bool LoadKnownDlls(IScanPlatform& platform, const KnownDllsSource& source, CKnownDlls& list,
                   std::string& error) {
    list.Clear();
    std::vector<std::string> names;
    if (source.listFile) {
        const CMappedFile file(source.listFile->c_str());
        // An empty file cannot be mapped; it is an empty list.
        const bool empty = file.OpenError() == MAP_MAPPING_FAILED && file.Size() == 0;
        if (file.OpenError() != MAP_OK && !empty) {
            error = "cannot read the KnownDLLs list " + *source.listFile;
            return false;
        }
        if (!empty) {
            names = ParseKnownDllsList(
                std::string_view(reinterpret_cast<const char*>(file.View()), file.Size()));
        }
        list.Assign(names, *source.listFile);
        return true;
    }
    if (source.systemReg) {
        const CMappedFile file(source.systemReg->c_str());
        std::vector<RegistryString> values;
        if (file.OpenError() == MAP_OK &&
            ReadRegistryStrings(file.View(), file.Size(), {kKeyPaths[0], kKeyPaths[1]}, values) ==
                REGISTRY_KEY_FOUND) {
            for (const RegistryString& value : values) {
                if (!IsDirectoryValue(value.name)) names.push_back(value.data);
            }
            list.Assign(names, "the KnownDLLs key of " + *source.systemReg);
        } else {
            // Wine's own prefixes have no such key: the programs that run in
            // one get the names that Windows would give them.
            list.Assign(BuiltInKnownDlls(),
                        "the built-in list (no KnownDLLs key in " + *source.systemReg + ")");
        }
        return true;
    }
    if (platform.GetKnownDlls(names)) {
        list.Assign(names, "the registry's KnownDLLs key");
    } else {
        list.Assign(BuiltInKnownDlls(), "the built-in list");
    }
    return true;
}

}  // namespace kivrel
