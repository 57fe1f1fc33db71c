#include "object_list_drop_target.h"

#include "gdi.h"
#include "generic_object_list.h"
#include "global_memory.h"

std::optional<kivrel::LineRecordFields> CObjectListDropTarget::ReadRecord(
    COleDataObject* pDataObject) const {
    CStgMedium medium;
    if (!pDataObject->GetData(static_cast<CLIPFORMAT>(m_pList->m_cfFormat), medium)) {
        return std::nullopt;
    }
    CGlobalLock block(medium.Get().hGlobal);
    return kivrel::ReadLineRecord(block.Data(), block.Size());
}

bool CObjectListDropTarget::SameGroup(const kivrel::LineRecordFields& record) const {
    return record.processId == m_pList->m_dwProcessId &&
           ::lstrcmpiA(record.group.c_str(), m_pList->m_szGroup) == 0;
}

DROPEFFECT CObjectListDropTarget::OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject,
                                              DWORD dwKeyState, CPoint point) {
    return OnDragOver(pWnd, pDataObject, dwKeyState, point);
}

DROPEFFECT CObjectListDropTarget::OnDragOver(CWnd*, COleDataObject* pDataObject, DWORD dwKeyState,
                                             CPoint point) {
    if (m_pList == nullptr) return DROPEFFECT_NONE;
    const WORD flags = m_pList->m_wFlags;
    bool accept = false;
    if (pDataObject->IsDataAvailable(static_cast<CLIPFORMAT>(m_pList->m_cfFormat))) {
        const auto record = ReadRecord(pDataObject);
        if (record && record->processId == m_pList->m_dwProcessId) {
            if (record->listId == m_pList->ListIdentity()) {
                accept = (flags & OLF_READONLY) == 0 && (flags & OLF_REORDER) != 0;
            } else {
                accept = (flags & OLF_SHARE) != 0 && SameGroup(*record);
            }
        }
        if (accept && (m_pList->GetStyle() & LBS_SORT) == 0) DrawInsertMark(&point);
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
    // A read-only list takes what it accepted and keeps nothing of it.
    if ((m_pList->m_wFlags & OLF_READONLY) != 0) return TRUE;
    const auto record = ReadRecord(pDataObject);
    if (!record || !SameGroup(*record)) return FALSE;
    const int index = (m_pList->GetStyle() & LBS_SORT) != 0 ? -1 : m_pList->IndexFromPoint(point);
    m_pList->OnDropLine(pDataObject, index);
    const int added = index >= 0
                          ? m_pList->InsertLine(index, record->text.c_str(), record->itemData)
                          : m_pList->AddLine(record->text.c_str(), record->itemData);
    return added >= 0 ? TRUE : FALSE;
}

void CObjectListDropTarget::DrawInsertMark(const CPoint* point) {
    if (m_pList == nullptr) return;
    CRect mark;
    if (point != nullptr) {
        const int count = m_pList->GetCount();
        if (count > 0) {
            CRect line;
            int y = 0;
            const int index = m_pList->IndexFromPoint(*point);
            if (index >= 0 && m_pList->GetItemRect(index, &line) != LB_ERR) {
                y = line.top;
            } else {
                m_pList->GetItemRect(count - 1, &line);
                y = line.bottom;
            }
            mark = CRect(line.left, y - 3, line.right, y + 3);
        } else {
            CRect client;
            m_pList->GetClientRect(&client);
            mark = CRect(client.left, client.top, client.right, client.top + 3);
        }
    }
    if (mark == m_rcMark) return;
    CClientDC dc(m_pList->m_hWnd);
    if (!m_rcMark.IsRectEmpty()) ::InvertRect(dc, &m_rcMark);
    m_rcMark = mark;
    if (!m_rcMark.IsRectEmpty()) ::InvertRect(dc, &m_rcMark);
}
