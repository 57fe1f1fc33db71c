// The drop target of an object list: takes line records of its own list or
// of lists of its group in this process, as the list's transfer flags allow,
// and shows where a dropped line will go with an inverted insertion mark.
#pragma once

#include <optional>

#include "line_record.h"
#include "ole_drop_target.h"

class CGenericObjectList;

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
    CGenericObjectList* m_pList = nullptr;
    // The mark now shown; empty when none.
    CRect m_rcMark;

private:
    // The record the drag carries, read within its block; none when absent.
    std::optional<kivrel::LineRecordFields> ReadRecord(COleDataObject* pDataObject) const;
    bool SameGroup(const kivrel::LineRecordFields& record) const;
};
