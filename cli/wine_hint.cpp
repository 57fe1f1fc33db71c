#include "wine_hint.h"

#include <cstdlib>
#include <set>

#include "file_ops.h"
#include "text.h"

namespace kivrel::cli {

#ifdef _WIN32
std::string WineFolderHint(const Options&, const CScanResult&) { return ""; }
#else
namespace {
// Wine's own DLLs for the machine: the prefix's system folder when WINEPREFIX
// is set, else the first of the usual library folders that exists; "" for none.
std::string WineFolder(uint16_t machine) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix != nullptr && *prefix != '\0') {
        std::string windows = prefix;
        while (windows.size() > 1 && windows.back() == '/') windows.pop_back();
        windows += "/drive_c/windows/";
        // A 64-bit prefix keeps its 32-bit DLLs apart.
        if (machine == 0x014C && KindOf(windows + "syswow64") == FileKind::DIRECTORY)
            return windows + "syswow64";
        return windows + "system32";
    }
    const char* folder = machine == 0x8664   ? "x86_64-windows"
                         : machine == 0x014C ? "i386-windows"
                         : machine == 0xAA64 ? "aarch64-windows"
                                             : nullptr;
    if (folder == nullptr) return "";
    for (const char* library :
         {"/usr/lib/x86_64-linux-gnu/wine/", "/usr/lib/i386-linux-gnu/wine/",
          "/usr/lib/aarch64-linux-gnu/wine/", "/usr/lib64/wine/", "/usr/lib/wine/",
          "/usr/local/lib/wine/", "/opt/wine-stable/lib/wine/", "/opt/wine-stable/lib64/wine/"}) {
        const std::string candidate = library + std::string(folder);
        if (KindOf(candidate) == FileKind::DIRECTORY) return candidate;
    }
    return "";
}
}  // namespace

std::string WineFolderHint(const Options& options, const CScanResult& result) {
    const char* configured = std::getenv("KIVREL_SYSTEM_DIR");
    if (options.overrides.systemDirectory || (configured != nullptr && *configured != '\0'))
        return "";
    std::set<std::string> unresolved;
    for (size_t i = 0; i < result.References().size(); ++i) {
        if (!result.IsResolved(i)) unresolved.insert(ToLowerAscii(result.References()[i].text));
    }
    if (unresolved.empty()) return "";
    const std::string folder = WineFolder(result.Module().machine);
    std::vector<std::string> names;
    std::string error;
    if (folder.empty() || !ListDirectory(folder, names, error)) return "";
    size_t held = 0;
    for (const std::string& name : names) held += unresolved.count(ToLowerAscii(name));
    if (held == 0) return "";
    return "kivrel-scan: " + std::to_string(held) +
           (held == 1 ? " unresolved name is" : " unresolved names are") +
           " in Wine's DLL folder " + folder + "; --system-dir " + folder + " searches it\n";
}
#endif

}  // namespace kivrel::cli
