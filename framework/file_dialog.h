// The platform's file-open (or save) dialog. A derived class that sets
// OFN_ENABLEHOOK in m_ofn gets the Explorer-style child dialog: the object is
// attached to that child window inside the platform's frame, and the
// dialog's notifications arrive as the virtual On... operations.
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

protected:
    // TRUE refuses the confirmed name: the dialog stays open.
    virtual BOOL OnFileNameOK() { return FALSE; }
    // The selection in the file list changed.
    virtual void OnFileNameChange() {}
    // The dialog shows another folder.
    virtual void OnFolderChange() {}

    // The platform's dialog window that holds the child, or null.
    HWND GetFrame() const { return m_hWnd != nullptr ? ::GetParent(m_hWnd) : nullptr; }

private:
    static UINT_PTR CALLBACK HookProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    BOOL m_bOpenFileDialog;
    std::string m_strFilter;
    std::string m_strDefExt;
    char m_szFileName[MAX_PATH] = "";
};
