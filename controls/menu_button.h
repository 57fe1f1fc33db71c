// A push button that drops down a popup menu from the resources instead of
// sending a click. The parent enables and checks the items through
// command-update routing before the menu shows, and receives the chosen item
// as an ordinary command. The button draws itself flat.
#pragma once

#include "controls.h"
#include "handle.h"

class CMenuButton : public CButton {
    DECLARE_DYNAMIC(CMenuButton)
public:
    CMenuButton() = default;
    ~CMenuButton() override;

    // Drops the held menu, then loads menu resource `nIDResource` (none for
    // 0) whose popup at `nSubMenu` will be shown. TRUE when a menu is held.
    BOOL SetDropMenu(UINT nIDResource, int nSubMenu);
    // At the pointer, or at the button's centre; `bLeftButton` FALSE lets the
    // right button choose as well. The tracking's result, 0 without a menu.
    BOOL ShowDropMenu(BOOL bAtCursor, BOOL bLeftButton);
    // The same at `ptScreen`.
    BOOL ShowDropMenuAt(POINT ptScreen, BOOL bLeftButton);

    void DrawItem(DRAWITEMSTRUCT* pDrawItem) override;

protected:
    void OnLButtonDown(UINT nFlags, CPoint point);
    // Space and Enter drop the menu, as a press does.
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    // Enter reaches the button instead of running the dialog's default command.
    UINT OnGetDlgCode(const MSG* pMsg);
    BOOL OnSetCursor(HWND hWnd, UINT nHitTest, UINT message);
    void OnRButtonDown(UINT nFlags, CPoint point);

    int m_nFaceColor = COLOR_BTNFACE;
    int m_nTextColor = COLOR_BTNTEXT;
    CMenuHandle m_hDropMenu;
    int m_nSubMenu = 0;

    DECLARE_MESSAGE_MAP()
};
