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
