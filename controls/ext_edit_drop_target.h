// The drop target of a CExtEdit: text is inserted where the pointer shows it
// (replacing the field's selection for text from elsewhere), a shell file
// list replaces the whole text. Everything dropped is read into our own
// buffer within its block or a bounded number of stream reads; a drop that
// could not take everything reports a copy, so its source keeps the text.
#pragma once

#include "ole_drop_target.h"
#include "types.h"

class CExtEdit;

class CExtEditDropTarget : public COleDropTarget {
public:
    explicit CExtEditDropTarget(CExtEdit* pEdit) : m_pEdit(pEdit) {}

    DROPEFFECT OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                           CPoint point) override;
    DROPEFFECT OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                          CPoint point) override;
    DROPEFFECT OnDropEx(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropDefault,
                        DROPEFFECT dropList, CPoint point) override;
    void OnDragLeave(CWnd* pWnd) override;
    // Inverts the place a drop at `point` would take; with no point, erases.
    virtual void DrawDropFeedback(CWnd* pWnd, const CPoint* point, DROPEFFECT effect);

    CRect m_rectFeedback;
    DWORD m_nSelStart = 0;
    DWORD m_nSelEnd = 0;
    DWORD m_nDropPos = 0;
    BOOL m_bDragFromSelf = FALSE;

private:
    // Makes room for the dropped text: a move within the field may delete
    // the dragged text first; the caret goes to the drop point.
    void PrepareInsertion(DROPEFFECT effect, CPoint point);
    // Inserts the dropped text; FALSE when nothing could be read. `complete`
    // tells whether all of the text went in.
    BOOL InsertDroppedText(COleDataObject* pDataObject, DROPEFFECT effect, CPoint point,
                           bool& complete);

    CExtEdit* m_pEdit;
};
