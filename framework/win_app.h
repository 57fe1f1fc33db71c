// The application object: start-up data, the main window and the per-user
// settings (the "profile"), kept in the registry under
// HKEY_CURRENT_USER\Software\<registry key>\<application name>\<section>.
#pragma once

#include <windows.h>

#include <string>

#include "runtime_class.h"

class CWnd;

class CWinApp : public CObject {
public:
    // There is one application object; it registers itself for AfxGetApp.
    CWinApp();
    ~CWinApp() override;

    // Called by WinMain before InitInstance: the instance, the command line
    // after the program name, and the application name (string 57344 unless
    // one was given).
    void SetStartup(HINSTANCE hInstance, const char* cmdLine);

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }
    // The message loop, for an application whose InitInstance returned TRUE.
    virtual int Run();

    void SetRegistryKey(const char* key);
    // A missing entry, or one of another type, reads as the default.
    std::string GetProfileString(const char* section, const char* entry,
                                 const char* defaultValue = nullptr) const;
    BOOL WriteProfileString(const char* section, const char* entry, const char* value);
    UINT GetProfileInt(const char* section, const char* entry, int defaultValue) const;
    BOOL WriteProfileInt(const char* section, const char* entry, int value);

    HINSTANCE m_hInstance = nullptr;
    std::string m_strCmdLine;
    std::string m_strAppName;
    std::string m_strRegistryKey;
    CWnd* m_pMainWnd = nullptr;

private:
    // The key of a section, or "" when no registry key has been set.
    std::string SectionPath(const char* section) const;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetResourceHandle();
// The application's title for message box captions ("" before start-up).
const char* AfxGetAppName();
int AfxMessageBox(const char* text, UINT type = MB_OK);
