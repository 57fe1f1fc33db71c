// A list box whose lines each carry a text and a 32-bit value. Adds lines
// with their values while keeping the horizontal scroll range wide enough,
// saves and restores a multiple selection by values, describes a line in one
// line of text, answers help-tip requests, hands its own notifications to
// overridable hooks, and selects with the right mouse button as well.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "controls.h"
#include "gdi.h"
#include "object_list_drop_target.h"

class COleDataSource;
class COleDataObject;

class CGenericObjectList : public CListBox, private IObjectListDropSite {
    DECLARE_DYNAMIC(CGenericObjectList)
public:
    CGenericObjectList();
    ~CGenericObjectList() override;

    // Save (TRUE): makes `values` the item values of the selected lines, keeping
    // the order of those already there; TRUE when it changed. Restore (FALSE):
    // selects the first line of each value and scrolls the last into view.
    virtual BOOL SyncSelection(std::list<DWORD>& values, BOOL bSave);
    // The index of the new line, or the list box's negative error code.
    virtual int InsertLine(int nIndex, const char* text, DWORD dwItemData);
    virtual int AddLine(const char* text, DWORD dwItemData);
    virtual int DeleteLine(int nIndex);
    // Called before a drag starts, so that a derived list can add formats.
    virtual void OnPrepareDragData(COleDataSource*) {}
    // Called just before a dropped line is inserted at nIndex (-1: appended).
    virtual void OnDropLine(COleDataObject*, int) {}
    virtual void OnErrSpace() {}
    virtual void OnSelChange();
    virtual void OnDblClk() {}
    virtual void OnSelCancel() {}
    virtual void OnSetFocusNotify() {}
    virtual void OnKillFocusNotify() {}
    // "0x000003,  text of the first selected line".
    virtual BOOL GetDescription(std::string& description, DWORD dwItemData);

    // Widens the horizontal extent to the text's width; returns the extent.
    int UpdateHorizontalExtent(const char* text);
    // The first selected line (multiple selection) or the caret line; -1: none.
    int GetFirstSel() const;
    DWORD GetFirstSelItemData() const;
    // Sets the font (none: the system font) and measures the lines again.
    void ApplyFont(const CFont* pFont);

    // Enables drag-and-drop of lines (the flags OLF_...) for the lists of the
    // group `group` (at most 15 characters); FALSE without OLF_DRAGDROP or
    // when the list cannot be registered as a drop target.
    BOOL InitTransfer(WORD wFlags, const char* group);
    // The line a drop at `point` (client coordinates) inserts before; -1: at the end.
    int IndexFromPoint(CPoint point) const override;

    UINT m_nTipTextId = 0;

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnRButtonDown(UINT nFlags, CPoint point);
    void OnDestroy();

    DWORD m_dwProcessId;
    DWORD m_dwLastSelItemData = 0;
    WORD m_wFlags = 0;
    char m_szGroup[16] = "";
    UINT m_cfFormat = 0;
    std::unique_ptr<CObjectListDropTarget> m_pDropTarget;
    // Compared with a record's list identity: this object's address where it
    // fits the record's 32 bits, else the window handle's 32 significant bits.
    DWORD ListIdentity() const;

    DECLARE_MESSAGE_MAP()

private:
    Transfer GetTransfer() const override;
    const CListBox& ListBox() const override { return *this; }
    int InsertDroppedLine(COleDataObject* pDataObject, int nIndex,
                          const kivrel::LineRecordFields& record) override;

    // The line a drag carries: the caret line when it is selected, else the
    // first selected line; -1: none.
    int DragLine() const;
    BOOL FillDragData(COleDataSource& source, int nLine);
    // The line being dragged out, kept on it while lines come and go; -1: none.
    int m_nDragLine = -1;

    bool AllowsMultipleSelection() const {
        return (GetStyle() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
    }
    void ScrollIntoView(int nIndex);
    // The widest of the texts in the list's font, tabs expanded.
    int TextWidth(const std::vector<std::string>& texts) const;
    // A line's value: the list box keeps a pointer-sized item, our lines 32 bits.
    DWORD LineValue(int nIndex) const { return static_cast<DWORD>(GetItemData(nIndex)); }
};
