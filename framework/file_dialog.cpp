#include "file_dialog.h"

#include <cderr.h>
#include <commdlg.h>

IMPLEMENT_DYNAMIC(CFileDialog, CDialog)

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* defaultExt, const char* fileName,
                         DWORD flags, const char* filter, CWnd* pParentWnd)
    : CDialog(0, pParentWnd), m_bOpenFileDialog(bOpenFileDialog) {
    if (filter != nullptr) {
        m_strFilter = filter;
        for (char& c : m_strFilter) {
            if (c == '|') c = '\0';
        }
    }
    if (defaultExt != nullptr) m_strDefExt = defaultExt;
    // A name that does not fit the buffer is not offered at all rather than cut.
    if (fileName != nullptr && lstrlenA(fileName) < MAX_PATH)
        lstrcpynA(m_szFileName, fileName, MAX_PATH);

    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.lpstrFile = m_szFileName;
    m_ofn.nMaxFile = MAX_PATH;
    m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal() {
    if ((m_ofn.Flags & OFN_ENABLEHOOK) != 0) {
        m_ofn.lpfnHook = &CFileDialog::HookProc;
        m_ofn.lCustData = reinterpret_cast<LPARAM>(this);
    }
    m_ofn.hwndOwner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    m_ofn.lpstrFilter = m_strFilter.empty() ? nullptr : m_strFilter.c_str();
    m_ofn.lpstrDefExt = m_strDefExt.empty() ? nullptr : m_strDefExt.c_str();
    BOOL ok = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    // A starting name the platform rejects (a wildcard, a bad character) keeps
    // the dialog from opening at all; open it without one instead.
    if (!ok && ::CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
        m_szFileName[0] = '\0';
        ok = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    }
    if (!ok) m_szFileName[0] = '\0';
    return ok ? IDOK : IDCANCEL;
}

UINT_PTR CALLBACK CFileDialog::HookProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const OPENFILENAMEA* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
        CFileDialog* pDialog = reinterpret_cast<CFileDialog*>(ofn->lCustData);
        if (pDialog == nullptr || !pDialog->SubclassWindow(hWnd)) return FALSE;
        return pDialog->OnInitDialog();
    }
    if (message != WM_NOTIFY) return FALSE;
    CFileDialog* pDialog = static_cast<CFileDialog*>(FromHandlePermanent(hWnd));
    if (pDialog == nullptr) return FALSE;
    switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case CDN_FILEOK: {
            // The platform reads the answer from the dialog result.
            const LONG_PTR refuse = pDialog->OnFileNameOK() ? 1 : 0;
            ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, refuse);
            return refuse != 0;
        }
        case CDN_SELCHANGE:
            pDialog->OnFileNameChange();
            return FALSE;
        case CDN_FOLDERCHANGE:
            pDialog->OnFolderChange();
            return FALSE;
        default:
            return FALSE;
    }
}
