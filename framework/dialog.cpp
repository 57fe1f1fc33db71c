#include "dialog.h"

#include "win_app.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

namespace {
// The dialog whose window is being created on this thread: the dialog
// procedure attaches it to the window on the window's first message.
thread_local CDialog* t_pDialogInit = nullptr;
}  // namespace

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd == nullptr) rControl.SubclassWindow(pDX->m_pDlgWnd->GetDlgItem(nIDC));
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr) return -1;
    HWND hWndParent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    CDialog* const outer = t_pDialogInit;
    t_pDialogInit = this;
    const INT_PTR result =
        ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), hWndParent,
                          &CDialog::DialogProc, 0);
    t_pDialogInit = outer;
    return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM, LPARAM) {
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd == nullptr && t_pDialogInit != nullptr) {
        CDialog* pDialog = t_pDialogInit;
        t_pDialogInit = nullptr;
        if (pDialog->SubclassWindow(hWnd)) pWnd = pDialog;
    }
    // Every other message reached the object through its subclass procedure
    // before the dialog manager called us.
    if (pWnd != nullptr && message == WM_INITDIALOG) {
        return static_cast<CDialog*>(pWnd)->OnInitDialog();
    }
    return FALSE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }
