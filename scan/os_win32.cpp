// Win32 platform layer: the system's own directories, the process environment
// and the directory search (directory_search_win32.cpp); the file mapping is
// in mapped_file_win32.cpp.
#include <windows.h>

#include <cstdlib>
#include <utility>

#include "directory_search_win32.h"
#include "handle.h"
#include "platform.h"
#include "text.h"

namespace kivrel {

namespace {

class CWin32Platform : public IScanPlatform {
public:
    CWin32Platform(const PlatformOverrides& overrides, bool bPatternSearch)
        : m_overrides(overrides), m_search(bPatternSearch) {}

    char PathSeparator() const override { return '\\'; }

    std::string SystemDirectory() override {
        if (m_overrides.systemDirectory) return *m_overrides.systemDirectory;
        char buffer[kMaxPath];
        const UINT length = GetSystemDirectoryA(buffer, kMaxPath);
        return length > 0 && length < kMaxPath ? std::string(buffer, length) : std::string();
    }

    std::string WindowsDirectory() override {
        if (m_overrides.windowsDirectory) return *m_overrides.windowsDirectory;
        char buffer[kMaxPath];
        const UINT length = GetWindowsDirectoryA(buffer, kMaxPath);
        return length > 0 && length < kMaxPath ? std::string(buffer, length) : std::string();
    }

    bool GetPathList(std::string& value) override {
        if (m_overrides.pathList) {
            value = *m_overrides.pathList;
            return !value.empty();
        }
        const char* text = std::getenv("PATH");
        if (text == nullptr || *text == '\0') return false;
        value = text;
        return true;
    }

    bool GetEnvironmentValue(const std::string& name, std::string& value) override {
        DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
        if (size == 0) return false;
        std::string buffer(size, '\0');
        const DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), size);
        if (length == 0 || length >= size) return false;  // changed or emptied meanwhile
        buffer.resize(length);
        value = std::move(buffer);
        return true;
    }

    bool IsLeadByte(char c) const override { return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }

    void FindMatches(const std::string& directory, const std::string& pattern,
                     const MatchCallback& onMatch) override {
        m_search.FindMatches(directory, pattern, onMatch);
    }

    void BeginScan() override { m_search.BeginScan(); }

    std::string Wow64SystemDirectory() override {
        char buffer[kMaxPath];
        // Fails on a 32-bit system: there is no such folder.
        const UINT length = GetSystemWow64DirectoryA(buffer, kMaxPath);
        return length > 0 && length < kMaxPath ? std::string(buffer, length) : std::string();
    }

    bool GetKnownDlls(std::vector<std::string>& names) override {
        names.clear();
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                          KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
            return false;
        }
        const CRegKeyHandle key(opened);
        // Names only from REG_SZ values: the DllDirectory entries are
        // REG_EXPAND_SZ. The cap ends the walk should the key keep changing.
        char valueName[256];
        char data[kMaxPath];
        for (DWORD index = 0; index < 4096; ++index) {
            DWORD nameLength = sizeof valueName, dataSize = sizeof data - 1, type = 0;
            const LONG status = RegEnumValueA(key.Get(), index, valueName, &nameLength, nullptr,
                                              &type, reinterpret_cast<BYTE*>(data), &dataSize);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS || type != REG_SZ) continue;  // too long, or not a name
            data[dataSize] = '\0';  // a stored text need not end in a zero
            names.emplace_back(data);
        }
        return true;
    }

private:
    PlatformOverrides m_overrides;
    CWin32DirectorySearch m_search;
};

}  // namespace

std::unique_ptr<IScanPlatform> CreateNativePlatform(const PlatformOverrides& overrides) {
    return std::make_unique<CWin32Platform>(overrides, false);
}

std::unique_ptr<IScanPlatform> CreatePatternSearchPlatform(const PlatformOverrides& overrides) {
    return std::make_unique<CWin32Platform>(overrides, true);
}

}  // namespace kivrel
