// The drop target of a CExtEdit: text is inserted where the pointer shows it
// (replacing the field's selection for text from elsewhere), a shell file
// list replaces the whole text. Everything dropped is read into our own
// buffer within its block or a bounded number of stream reads; a drop that
// could not take everything reports a copy, so its source keeps the text.
// The target speaks to the field through the edit control's messages and
// asks it only what IExtEditDropSite says.
#pragma once

#include <optional>
#include <string>

#include "ole_drop_target.h"
#include "types.h"

// What the target needs of its field about a drag that started there.
class IExtEditDropSite {
public:
    // Whether the drag under way started in this field and its text is still
    // in its old place.
    virtual bool DragsOwnText() const = 0;
    // A move within the field has already taken the dragged text away.
    virtual void OwnTextTaken() = 0;

protected:
    ~IExtEditDropSite() = default;
};

// The first name of a shell file list, as the field would take it; none for a
// block that does not parse, a name of 260 characters or more (cut, it would
// name another file), or a wide name the code page cannot hold.
std::optional<std::string> DroppedFileName(HGLOBAL hFileList);

class CExtEditDropTarget : public COleDropTarget {
public:
    explicit CExtEditDropTarget(IExtEditDropSite& site) : m_site(site) {}

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

private:
    // Makes room for the dropped text: a move within the field may delete
    // the dragged text first; the caret goes to the drop point.
    void PrepareInsertion(CWnd* pWnd, DROPEFFECT effect, CPoint point);
    // Inserts the dropped text; FALSE when nothing could be read. `complete`
    // tells whether all of the text went in.
    BOOL InsertDroppedText(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT effect, CPoint point,
                           bool& complete);

    IExtEditDropSite& m_site;
};
