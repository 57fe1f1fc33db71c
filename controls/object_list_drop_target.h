// The drop target of an object list: takes line records of its own list or
// of lists of its group in this process, as the list's transfer flags allow,
// and shows where a dropped line will go with an inverted insertion mark.
// It asks its list only what IObjectListDropSite says.
#pragma once

#include <optional>
#include <string>

#include "controls.h"
#include "line_record.h"
#include "ole_drop_target.h"

// Transfer flags of an object list.
enum : WORD {
    OLF_DRAGDROP = 0x01,  // a drag source, and registered as a drop target
    OLF_READONLY = 0x02,  // never changed by drag-and-drop; drags out only copy
    OLF_REORDER = 0x04,   // takes its own lines (unless read-only)
    OLF_SHARE = 0x08,     // takes lines of other lists of its group in this process
    OLF_TEXT = 0x10,      // drags also carry the line's description as text
};

// What the target needs of its list.
class IObjectListDropSite {
public:
    // How the list takes part in drag-and-drop.
    struct Transfer {
        CLIPFORMAT cfRecord = 0;  // the registered line-record format
        WORD wFlags = 0;          // OLF_...
        DWORD dwProcessId = 0;
        DWORD dwListId = 0;  // what a record of this very list carries
        std::string group;
    };
    virtual Transfer GetTransfer() const = 0;
    virtual const CListBox& ListBox() const = 0;
    // The line a drop at `point` (client coordinates) inserts before; -1: at the end.
    virtual int IndexFromPoint(CPoint point) const = 0;
    // Inserts a dropped line at nIndex (-1: at the end); its index, or the
    // list box's negative error code.
    virtual int InsertDroppedLine(COleDataObject* pDataObject, int nIndex,
                                  const kivrel::LineRecordFields& record) = 0;

protected:
    ~IObjectListDropSite() = default;
};

class CObjectListDropTarget : public COleDropTarget {
public:
    DROPEFFECT OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                           CPoint point) override;
    DROPEFFECT OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                          CPoint point) override;
    BOOL OnDrop(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropEffect,
                CPoint point) override;
    void OnDragLeave(CWnd* pWnd) override;
    // Shows the mark for a drop at `point`; with none, erases it.
    virtual void DrawInsertMark(const CPoint* point);

    // The owning list, once registered.
    IObjectListDropSite* m_pList = nullptr;
    // The mark now shown; empty when none.
    CRect m_rcMark;

private:
    // The record the drag carries, read within its block; none when absent.
    std::optional<kivrel::LineRecordFields> ReadRecord(COleDataObject* pDataObject,
                                                       CLIPFORMAT cfRecord) const;
    bool IsSorted() const { return (m_pList->ListBox().GetStyle() & LBS_SORT) != 0; }
};
