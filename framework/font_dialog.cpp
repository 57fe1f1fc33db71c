#include "font_dialog.h"

IMPLEMENT_DYNAMIC(CFontDialog, CDialog)

namespace {
// The chooser being opened on this thread: its hook attaches the window.
thread_local CFontDialog* t_pFontDialogInit = nullptr;
}  // namespace

CFontDialog::CFontDialog(const LOGFONTA* plfInitial, DWORD dwFlags, HDC hdcPrinter,
                         CWnd* pParentWnd)
    : CDialog(0, pParentWnd) {
    if (plfInitial != nullptr) m_lf = *plfInitial;
    m_cf.lStructSize = sizeof(m_cf);
    m_cf.hDC = hdcPrinter;
    m_cf.lpLogFont = &m_lf;
    m_cf.Flags = dwFlags | CF_ENABLEHOOK;
    if (plfInitial != nullptr) m_cf.Flags |= CF_INITTOLOGFONTSTRUCT;
    m_cf.lpfnHook = &CFontDialog::HookProc;
}

INT_PTR CFontDialog::DoModal() {
    if (m_hWnd != nullptr) return -1;
    m_cf.hwndOwner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    m_cf.lpLogFont = &m_lf;
    CFontDialog* const outer = t_pFontDialogInit;
    t_pFontDialogInit = this;
    const BOOL ok = ::ChooseFontA(&m_cf);
    t_pFontDialogInit = outer;
    return ok ? IDOK : IDCANCEL;
}

BOOL CFontDialog::OnInitDialog() { return TRUE; }

UINT_PTR CALLBACK CFontDialog::HookProc(HWND hWnd, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG || t_pFontDialogInit == nullptr) return 0;
    CFontDialog* pDialog = t_pFontDialogInit;
    t_pFontDialogInit = nullptr;
    if (!pDialog->SubclassWindow(hWnd)) return TRUE;
    return pDialog->OnInitDialog();
}
