// The help tip window: a small top-most popup that shows a short text near
// the pointer once it has rested over a window of the owner. It keeps no
// texts: it asks the window under the pointer with an HTN_NEEDTEXT request
// and shows what that window writes. Windows that cannot answer (push
// buttons) are redirected to one that answers for them; a popup menu's
// owner answers for the menu's items.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "gdi.h"
#include "handle.h"
#include "help_tip_request.h"
#include "help_tip_system.h"
#include "wnd.h"

class CHelpTipWnd : public CWnd {
    DECLARE_DYNAMIC(CHelpTipWnd)
public:
    // Without a system, the tip reads the real one.
    explicit CHelpTipWnd(IHelpTipSystem* pSystem = nullptr);
    ~CHelpTipWnd() override;

    // Requests for `hWndTool` go to `hWndTarget`; both must be windows.
    void RedirectTool(HWND hWndTool, HWND hWndTarget);
    BOOL RemoveTool(HWND hWndTool);
    // Switches the tips on (creates the popup, owned by `hWndOwner`) or off.
    // FALSE, and nothing done, while busy or without a mouse.
    BOOL Toggle(HWND hWndOwner);
    BOOL IsOn() const { return m_bOn; }
    BOOL CanToggle() const { return !m_bBusy && m_bMousePresent; }
    // The text of the tip now shown, or last shown.
    const char* GetTipText() const { return m_szText; }

    // One tick of the pointer watch; the timer calls it every m_nPeriod ms.
    void OnTimer(UINT_PTR nIDEvent);

protected:
    int OnCreate(CREATESTRUCTA* pCreate);
    void OnDestroy();
    void OnPaint();
    void OnActivateApp(BOOL bActive, DWORD dwThreadId);

    // The window under the pointer and the one asked for its tip.
    struct Hover {
        HWND hWndHovered;
        HWND hWndAsked;  // after redirection
        int nID;         // the hovered control's id, or menu item's command; 0 for neither
    };
    // Who is under the pointer; none when no one can be asked.
    std::optional<Hover> FindHover(POINT point);
    // Counts the ticks the pointer rests over the same window; true on every
    // m_nTicksToShow-th of them while the owner is enabled and active.
    bool HasRested(POINT point, const Hover& hover);
    // Sends the text request; the answer is cut to its buffer.
    NMHELPTIP AskForTip(const Hover& hover, POINT point);
    // Hides a tip whose text changed and shows the answer beside the pointer,
    // inside the work area of its monitor.
    void ShowAnswer(const NMHELPTIP& answer, const Hover& hover, POINT point);
    // Takes the text and sizes the window to it (shadow and margins included).
    void SetTipText(const char* text);
    // Hides the tip and drops the pixels that were beneath it.
    void HideTip();
    // Shows the tip at (x, y) over a darkened copy of what is there now.
    void ShowTipAt(int x, int y);

    // Sets m_bBusy for its lifetime, so that every way out of a handler
    // clears it.
    class CBusyScope {
    public:
        explicit CBusyScope(BOOL& bBusy) : m_bBusy(bBusy) { m_bBusy = TRUE; }
        ~CBusyScope() { m_bBusy = FALSE; }
        CBusyScope(const CBusyScope&) = delete;
        CBusyScope& operator=(const CBusyScope&) = delete;

    private:
        BOOL& m_bBusy;
    };

    char m_szText[1024] = "";
    // The stock GUI font: not owned.
    HFONT m_font;
    POINT m_ptLast{0, 0};
    HWND m_hWndLast = nullptr;
    BOOL m_bOn = FALSE;
    BOOL m_bBusy = FALSE;
    BOOL m_bMousePresent;
    UINT_PTR m_nTimer = 0;
    UINT m_nStillTicks = 0;
    std::vector<HWND> m_toolWnds;
    std::vector<HWND> m_targetWnds;
    UINT m_nPeriod = 100;
    UINT m_nTicksToShow = 5;

    std::unique_ptr<IHelpTipSystem> m_pOwnSystem;
    IHelpTipSystem* m_pSystem;
    // The screen beneath the shown tip with the shadow band darkened.
    CBitmapHandle m_shadow;

    DECLARE_MESSAGE_MAP()
};
