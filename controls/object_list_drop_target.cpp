#include "object_list_drop_target.h"

#include "gdi.h"
#include "global_memory.h"

namespace {
bool SameGroup(const kivrel::LineRecordFields& record,
               const IObjectListDropSite::Transfer& transfer) {
    return record.processId == transfer.dwProcessId &&
           ::lstrcmpiA(record.group.c_str(), transfer.group.c_str()) == 0;
}
}  // namespace

std::optional<kivrel::LineRecordFields> CObjectListDropTarget::ReadRecord(
    COleDataObject* pDataObject, CLIPFORMAT cfRecord) const {
    CStgMedium medium;
    if (!pDataObject->GetData(cfRecord, medium)) return std::nullopt;
    CGlobalLock block(medium.Get().hGlobal);
    return kivrel::ReadLineRecord(block.Data(), block.Size());
}

DROPEFFECT CObjectListDropTarget::OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject,
                                              DWORD dwKeyState, CPoint point) {
    return OnDragOver(pWnd, pDataObject, dwKeyState, point);
}

DROPEFFECT CObjectListDropTarget::OnDragOver(CWnd*, COleDataObject* pDataObject, DWORD dwKeyState,
                                             CPoint point) {
    if (m_pList == nullptr) return DROPEFFECT_NONE;
    const IObjectListDropSite::Transfer transfer = m_pList->GetTransfer();
    const WORD flags = transfer.wFlags;
    bool accept = false;
    if (pDataObject->IsDataAvailable(transfer.cfRecord)) {
        const auto record = ReadRecord(pDataObject, transfer.cfRecord);
        if (record && record->processId == transfer.dwProcessId) {
            if (record->listId == transfer.dwListId) {
                accept = (flags & OLF_READONLY) == 0 && (flags & OLF_REORDER) != 0;
            } else {
                accept = (flags & OLF_SHARE) != 0 && SameGroup(*record, transfer);
            }
        }
        if (accept && !IsSorted()) DrawInsertMark(&point);
    } else {
        accept = (flags & OLF_READONLY) != 0 && (flags & OLF_SHARE) != 0;
    }
    if (!accept) return DROPEFFECT_NONE;
    return (dwKeyState & MK_CONTROL) != 0 ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
}

void CObjectListDropTarget::OnDragLeave(CWnd* pWnd) {
    DrawInsertMark(nullptr);
    COleDropTarget::OnDragLeave(pWnd);
}

BOOL CObjectListDropTarget::OnDrop(CWnd*, COleDataObject* pDataObject, DROPEFFECT, CPoint point) {
    DrawInsertMark(nullptr);
    if (m_pList == nullptr) return FALSE;
    const IObjectListDropSite::Transfer transfer = m_pList->GetTransfer();
    // A read-only list takes what it accepted and keeps nothing of it.
    if ((transfer.wFlags & OLF_READONLY) != 0) return TRUE;
    const auto record = ReadRecord(pDataObject, transfer.cfRecord);
    if (!record || !SameGroup(*record, transfer)) return FALSE;
    const int index = IsSorted() ? -1 : m_pList->IndexFromPoint(point);
    return m_pList->InsertDroppedLine(pDataObject, index, *record) >= 0 ? TRUE : FALSE;
}

void CObjectListDropTarget::DrawInsertMark(const CPoint* point) {
    if (m_pList == nullptr) return;
    const CListBox& list = m_pList->ListBox();
    CRect mark;
    if (point != nullptr) {
        const int count = list.GetCount();
        if (count > 0) {
            CRect line;
            int y = 0;
            const int index = m_pList->IndexFromPoint(*point);
            if (index >= 0 && list.GetItemRect(index, &line) != LB_ERR) {
                y = line.top;
            } else {
                list.GetItemRect(count - 1, &line);
                y = line.bottom;
            }
            mark = CRect(line.left, y - 3, line.right, y + 3);
        } else {
            CRect client;
            list.GetClientRect(&client);
            mark = CRect(client.left, client.top, client.right, client.top + 3);
        }
    }
    if (mark == m_rcMark) return;
    CClientDC dc(list.m_hWnd);
    if (!m_rcMark.IsRectEmpty()) ::InvertRect(dc, &m_rcMark);
    m_rcMark = mark;
    if (!m_rcMark.IsRectEmpty()) ::InvertRect(dc, &m_rcMark);
}
