#include "win_app.h"

#include <vector>

#include "handle.h"
#include "resource_string.h"
#include "wnd.h"

namespace {
CWinApp* g_pApp = nullptr;

// Application title: the framework's string for it.
constexpr UINT kAppTitleStringId = 57344;
// Longer values are not settings of ours; reading them is refused.
constexpr DWORD kMaxProfileString = 64 * 1024;

// The settings key at `path` under HKEY_CURRENT_USER, opened for reading;
// nothing held when it does not exist.
CRegKeyHandle OpenSettingsKey(const std::string& path) {
    HKEY hKey = nullptr;
    if (path.empty() || ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE,
                                        &hKey) != ERROR_SUCCESS) {
        return CRegKeyHandle();
    }
    return CRegKeyHandle(hKey);
}

// The same key opened for writing, created when missing.
CRegKeyHandle CreateSettingsKey(const std::string& path) {
    HKEY hKey = nullptr;
    if (path.empty() ||
        ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, &hKey, nullptr) != ERROR_SUCCESS) {
        return CRegKeyHandle();
    }
    return CRegKeyHandle(hKey);
}
}  // namespace

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetResourceHandle() {
    return g_pApp != nullptr && g_pApp->m_hInstance != nullptr ? g_pApp->m_hInstance
                                                               : ::GetModuleHandleA(nullptr);
}

const char* AfxGetAppName() { return g_pApp != nullptr ? g_pApp->m_strAppName.c_str() : ""; }

int AfxMessageBox(const char* text, UINT type) {
    HWND owner =
        g_pApp != nullptr && g_pApp->m_pMainWnd != nullptr ? g_pApp->m_pMainWnd->m_hWnd : nullptr;
    return ::MessageBoxA(owner, text, AfxGetAppName(), type);
}

void CWinApp::SetStartup(HINSTANCE hInstance, const char* cmdLine) {
    m_hInstance = hInstance;
    m_strCmdLine = cmdLine != nullptr ? cmdLine : "";
    if (m_strAppName.empty()) LoadResString(hInstance, kAppTitleStringId, m_strAppName);
}

int CWinApp::Run() {
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return ExitInstance();
}

void CWinApp::SetRegistryKey(const char* key) { m_strRegistryKey = key != nullptr ? key : ""; }

std::string CWinApp::SectionPath(const char* section) const {
    if (m_strRegistryKey.empty() || m_strAppName.empty() || section == nullptr) return {};
    return "Software\\" + m_strRegistryKey + "\\" + m_strAppName + "\\" + section;
}

std::string CWinApp::GetProfileString(const char* section, const char* entry,
                                      const char* defaultValue) const {
    const std::string fallback = defaultValue != nullptr ? defaultValue : "";
    const CRegKeyHandle key = OpenSettingsKey(SectionPath(section));
    if (!key) return fallback;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key.Get(), entry, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size > kMaxProfileString) {
        return fallback;
    }
    std::vector<char> buffer(size + 1, '\0');
    if (::RegQueryValueExA(key.Get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return fallback;
    }
    // The stored bytes need not end in a zero; the extra byte provides one.
    return std::string(buffer.data());
}

BOOL CWinApp::WriteProfileString(const char* section, const char* entry, const char* value) {
    if (entry == nullptr) return FALSE;
    const CRegKeyHandle key = CreateSettingsKey(SectionPath(section));
    if (!key) return FALSE;
    if (value == nullptr) return ::RegDeleteValueA(key.Get(), entry) == ERROR_SUCCESS;
    return ::RegSetValueExA(key.Get(), entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(lstrlenA(value) + 1)) == ERROR_SUCCESS;
}

UINT CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue) const {
    const CRegKeyHandle key = OpenSettingsKey(SectionPath(section));
    if (!key) return static_cast<UINT>(defaultValue);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExA(key.Get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return static_cast<UINT>(defaultValue);
    }
    return value;
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* entry, int value) {
    if (entry == nullptr) return FALSE;
    const CRegKeyHandle key = CreateSettingsKey(SectionPath(section));
    if (!key) return FALSE;
    const DWORD data = static_cast<DWORD>(value);
    return ::RegSetValueExA(key.Get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                            sizeof(data)) == ERROR_SUCCESS;
}
