#include "controls.h"

IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)

std::string CListBox::GetText(int nIndex) const {
    const LRESULT length = SendMessage(LB_GETTEXTLEN, nIndex);
    if (length == LB_ERR || length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = SendMessage(LB_GETTEXT, nIndex, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 && copied <= length ? static_cast<size_t>(copied) : 0);
    return text;
}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, pResult);
    DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    return TRUE;
}

void CButton::DrawItem(DRAWITEMSTRUCT* pDrawItem) {
    RECT rect = pDrawItem->rcItem;
    UINT state = DFCS_BUTTONPUSH;
    if (pDrawItem->itemState & ODS_SELECTED) state |= DFCS_PUSHED;
    if (pDrawItem->itemState & ODS_DISABLED) state |= DFCS_INACTIVE;
    ::DrawFrameControl(pDrawItem->hDC, &rect, DFC_BUTTON, state);
    char caption[128] = "";
    ::GetWindowTextA(m_hWnd, caption, sizeof(caption));
    const int oldMode = ::SetBkMode(pDrawItem->hDC, TRANSPARENT);
    ::SetTextColor(
        pDrawItem->hDC,
        ::GetSysColor((pDrawItem->itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    ::DrawTextA(pDrawItem->hDC, caption, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SetBkMode(pDrawItem->hDC, oldMode);
    if (pDrawItem->itemState & ODS_FOCUS) {
        ::InflateRect(&rect, -3, -3);
        ::DrawFocusRect(pDrawItem->hDC, &rect);
    }
}
