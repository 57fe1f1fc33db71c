#include "menu_button.h"

#include "cmd_ui.h"
#include "win_app.h"

IMPLEMENT_DYNAMIC(CMenuButton, CButton)

BEGIN_MESSAGE_MAP(CMenuButton, CButton)
ON_WM_LBUTTONDOWN()
ON_WM_KEYDOWN()
ON_WM_GETDLGCODE()
ON_WM_SETCURSOR()
ON_WM_RBUTTONDOWN()
END_MESSAGE_MAP()

CMenuButton::~CMenuButton() { SetDropMenu(0, 0); }

BOOL CMenuButton::SetDropMenu(UINT nIDResource, int nSubMenu) {
    m_hDropMenu.Reset();
    HINSTANCE hResources = AfxGetResourceHandle();
    if (nIDResource != 0 && hResources != nullptr) {
        m_hDropMenu.Reset(::LoadMenuA(hResources, MAKEINTRESOURCEA(LOWORD(nIDResource))));
        m_nSubMenu = nSubMenu;
    }
    return m_hDropMenu.IsValid();
}

BOOL CMenuButton::ShowDropMenu(BOOL bAtCursor, BOOL bLeftButton) {
    POINT point{};
    if (bAtCursor) {
        ::GetCursorPos(&point);
    } else {
        CRect rect;
        GetWindowRect(&rect);
        point = POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }
    return ShowDropMenuAt(point, bLeftButton);
}

BOOL CMenuButton::ShowDropMenuAt(POINT point, BOOL bLeftButton) {
    if (!m_hDropMenu) return FALSE;
    HMENU hPopup = ::GetSubMenu(m_hDropMenu.Get(), m_nSubMenu);
    if (hPopup == nullptr) return FALSE;

    HWND hWndOwner = GetParent();
    CWnd* pOwner = CWnd::FromHandlePermanent(hWndOwner);
    const int count = ::GetMenuItemCount(hPopup);
    for (int i = 0; i < count; ++i) {
        const UINT nID = ::GetMenuItemID(hPopup, i);
        // Separators are 0; a nested popup answers -1, whose low 16 bits are set.
        if (nID == 0 || LOWORD(nID) == 0xFFFF) continue;
        CCmdUI item(hPopup, static_cast<UINT>(i), nID);
        item.DoUpdate(pOwner, TRUE);
    }

    const UINT flags = TPM_LEFTALIGN | (bLeftButton ? TPM_LEFTBUTTON : TPM_RIGHTBUTTON);
    return ::TrackPopupMenu(hPopup, flags, point.x, point.y, 0, hWndOwner, nullptr);
}

void CMenuButton::OnLButtonDown(UINT, CPoint) {
    // Not passed on: no focus, no pushed look and no click from a press.
    ShowDropMenu(TRUE, TRUE);
}

void CMenuButton::OnRButtonDown(UINT, CPoint) { ShowDropMenu(TRUE, FALSE); }

UINT CMenuButton::OnGetDlgCode(const MSG* pMsg) {
    const UINT code = static_cast<UINT>(Default());
    // An owner-drawn button is no push button to the dialog manager, which
    // would otherwise give Enter to the dialog's default button.
    const bool enter = pMsg != nullptr && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN;
    return enter ? code | DLGC_WANTMESSAGE : code;
}

void CMenuButton::OnKeyDown(UINT nChar, UINT, UINT) {
    if (nChar != VK_SPACE && nChar != VK_RETURN) {
        Default();
        return;
    }
    // The key press has already queued its character; inside the menu's loop
    // it would close the menu at once.
    MSG pending;
    while (::PeekMessageA(&pending, m_hWnd, WM_CHAR, WM_CHAR, PM_REMOVE)) {
    }
    ShowDropMenu(FALSE, TRUE);
}

BOOL CMenuButton::OnSetCursor(HWND, UINT, UINT) {
    if (!::IsWindowEnabled(m_hWnd)) return static_cast<BOOL>(Default());
    ::SetCursor(::LoadCursorA(nullptr, IDC_UPARROW));
    return TRUE;
}

void CMenuButton::DrawItem(DRAWITEMSTRUCT* pDrawItem) {
    HDC hDC = pDrawItem->hDC;
    CRect rect(pDrawItem->rcItem);
    switch (pDrawItem->itemAction) {
        case ODA_DRAWENTIRE:
        case ODA_SELECT: {
            char caption[32] = "";
            ::GetWindowTextA(m_hWnd, caption, sizeof(caption));
            ::SetBkColor(hDC, ::GetSysColor(m_nFaceColor));
            ::SetTextColor(hDC, ::GetSysColor(m_nTextColor));
            ::ExtTextOutA(hDC, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
            ::DrawTextA(hDC, caption, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            if (pDrawItem->itemState & ODS_FOCUS) {
                ::InflateRect(&rect, -2, -2);
                ::DrawFocusRect(hDC, &rect);
            }
            break;
        }
        case ODA_FOCUS:
            // Drawn by inversion: shows on gaining the focus, goes on losing it.
            ::InflateRect(&rect, -2, -2);
            ::DrawFocusRect(hDC, &rect);
            break;
        default:
            break;
    }
}
