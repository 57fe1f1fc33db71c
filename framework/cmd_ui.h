// Command-update routing: before a menu is shown, each item asks the window
// that will receive its command whether it is enabled and checked.
#pragma once

#include <windows.h>

class CWnd;

class CCmdUI {
public:
    CCmdUI(HMENU hMenu, UINT nIndex, UINT nID) : m_hMenu(hMenu), m_nIndex(nIndex), m_nID(nID) {}

    virtual ~CCmdUI() = default;
    virtual void Enable(BOOL bOn = TRUE);
    // 0 unchecked, 1 checked.
    virtual void SetCheck(int nCheck = 1);

    // Offers the item to `pTarget`'s update handler. When none set the
    // enabled state and `bDisableIfNoHandler` is TRUE, the item is enabled
    // exactly when `pTarget` has a command handler for it.
    void DoUpdate(CWnd* pTarget, BOOL bDisableIfNoHandler);

    HMENU m_hMenu;
    UINT m_nIndex;  // position in m_hMenu
    UINT m_nID;
    BOOL m_bEnableChanged = FALSE;
};
