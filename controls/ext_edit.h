// A text field that takes part in drag-and-drop: its selection can be dragged
// out as text (the clipboard is left alone), text and shell files can be
// dropped into it, and it answers help-tip requests with its own string.
#pragma once

#include <memory>
#include <string>

#include "controls.h"
#include "ext_edit_drop_target.h"

class COleDataSource;

class CExtEdit : public CEdit, private IExtEditDropSite {
    DECLARE_DYNAMIC(CExtEdit)
public:
    CExtEdit();
    ~CExtEdit() override;

    // Registers the field's drop target; without it the field neither takes
    // OLE drops nor starts drags. TRUE when registered.
    BOOL EnableDragDrop();
    // Files dropped from the shell as WM_DROPFILES.
    void DragAcceptFiles(BOOL bAccept = TRUE);
    // Called with the data of every drag that starts here, after the text.
    virtual void OnPrepareDragData(COleDataSource*) {}

    // String resource of the help tip; 0: none.
    UINT m_nTipTextId = 0;

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnDestroy();
    void OnDropFiles(HDROP hDropInfo);
    // The keyboard's context-menu request goes to the owner, whose menu it
    // is; the mouse's still shows the field's own menu.
    void OnContextMenu(HWND hWnd, CPoint point);

    BOOL m_bDragDropEnabled = FALSE;
    std::unique_ptr<CExtEditDropTarget> m_pDropTarget;

    DECLARE_MESSAGE_MAP()

private:
    bool DragsOwnText() const override { return m_bOwnTextDragged; }
    void OwnTextTaken() override { m_bOwnTextDragged = false; }

    // Set while a drag of the field's own text runs and the text is in place.
    bool m_bOwnTextDragged = false;

    // The text between two character positions, in the system's code page.
    std::string TextBetween(DWORD nStart, DWORD nEnd) const;
    // Whether a press at `point` lands on the selection [nStart, nEnd).
    bool IsOnSelection(CPoint point, DWORD nStart, DWORD nEnd) const;
};
