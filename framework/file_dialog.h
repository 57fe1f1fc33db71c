// The platform's file-open (or save) dialog.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <string>

#include "dialog.h"

class CFileDialog : public CDialog {
    DECLARE_DYNAMIC(CFileDialog)
public:
    // `filter`: pairs of description and pattern, each ended by "|", the list
    // ended by a further "|" ("Modules|*.exe;*.dll|All files|*.*||").
    CFileDialog(BOOL bOpenFileDialog, const char* defaultExt = nullptr,
                const char* fileName = nullptr, DWORD flags = 0, const char* filter = nullptr,
                CWnd* pParentWnd = nullptr);

    INT_PTR DoModal() override;
    // The full path that was chosen.
    std::string GetPathName() const { return m_szFileName; }

    OPENFILENAMEA m_ofn{};

private:
    BOOL m_bOpenFileDialog;
    std::string m_strFilter;
    std::string m_strDefExt;
    char m_szFileName[MAX_PATH] = "";
};
