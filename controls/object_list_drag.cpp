// Drag-and-drop of object-list lines: set-up, the drag source and where a
// drop goes. The drop target is in object_list_drop_target.cpp.
#include <utility>

#include "drag_starter.h"
#include "generic_object_list.h"
#include "global_memory.h"
#include "object_list_drop_target.h"
#include "ole_data_source.h"

namespace {
kivrel::CLeadBytes SystemLeadBytes() {
    CPINFO info{};
    if (!::GetCPInfo(CP_ACP, &info)) return kivrel::CLeadBytes();
    return kivrel::CLeadBytes(info.LeadByte, sizeof(info.LeadByte));
}
}  // namespace

BOOL CGenericObjectList::InitTransfer(WORD wFlags, const char* group) {
    const std::string name = group != nullptr ? group : "";
    lstrcpynA(m_szGroup, name.c_str(), sizeof(m_szGroup));
    if ((wFlags & OLF_DRAGDROP) == 0) return FALSE;
    m_cfFormat = ::RegisterClipboardFormatA("CGenericObjectList");
    if (m_cfFormat == 0) return FALSE;
    auto target = std::make_unique<CObjectListDropTarget>();
    if (!target->Register(this)) return FALSE;
    target->m_pList = this;
    m_pDropTarget = std::move(target);
    m_wFlags = wFlags;
    return TRUE;
}

int CGenericObjectList::IndexFromPoint(CPoint point) const {
    const int count = GetCount();
    if (count <= 0) return -1;
    for (int i = GetTopIndex(); i >= 0 && i < count; ++i) {
        CRect line;
        if (GetItemRect(i, &line) == LB_ERR) break;
        if (!::PtInRect(&line, point)) continue;
        const int index = point.y >= (line.top + line.bottom) / 2 ? i + 1 : i;
        return index == count ? -1 : index;
    }
    return -1;
}

DWORD CGenericObjectList::ListIdentity() const {
#if defined(_WIN64)
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(m_hWnd));
#else
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(this));
#endif
}

int CGenericObjectList::DragLine() const {
    if (!AllowsMultipleSelection()) return GetCurSel();
    const int caret = static_cast<int>(SendMessage(LB_GETCARETINDEX));
    if (caret >= 0 && GetSel(caret) > 0) return caret;
    return GetFirstSel();
}

BOOL CGenericObjectList::FillDragData(COleDataSource& source, int nLine) {
    kivrel::LineRecordFields fields;
    fields.processId = m_dwProcessId;
    fields.listId = ListIdentity();
    fields.itemData = GetItemData(nLine);
    fields.text = GetText(nLine);
    fields.group = m_szGroup;
    const kivrel::LineRecord record = kivrel::MakeLineRecord(fields, SystemLeadBytes());
    CGlobalHandle block = AllocateGlobalCopy(&record, sizeof(record));
    if (!block || !source.CacheGlobalData(static_cast<CLIPFORMAT>(m_cfFormat), block)) {
        return FALSE;
    }
    if ((m_wFlags & OLF_TEXT) != 0) {
        std::string description;
        GetDescription(description, GetFirstSelItemData());
        if (!description.empty()) {
            CGlobalHandle text = AllocateGlobalCopy(description.c_str(), description.size() + 1);
            if (text) source.CacheGlobalData(CF_TEXT, text);
        }
    }
    OnPrepareDragData(&source);
    return TRUE;
}

IObjectListDropSite::Transfer CGenericObjectList::GetTransfer() const {
    return Transfer{static_cast<CLIPFORMAT>(m_cfFormat), m_wFlags, m_dwProcessId, ListIdentity(),
                    m_szGroup};
}

int CGenericObjectList::InsertDroppedLine(COleDataObject* pDataObject, int nIndex,
                                          const kivrel::LineRecordFields& record) {
    OnDropLine(pDataObject, nIndex);
    return nIndex >= 0 ? InsertLine(nIndex, record.text.c_str(), record.itemData)
                       : AddLine(record.text.c_str(), record.itemData);
}

void CGenericObjectList::OnLButtonDown(UINT, CPoint point) {
    if ((m_wFlags & OLF_DRAGDROP) == 0) {
        Default();
        return;
    }
    const MSG press = m_msgCurrent;
    // A press on a line of a multiple selection would collapse the selection
    // to that line: it waits, and reaches the list box only if no drag starts.
    bool bHeld = false;
    if (AllowsMultipleSelection()) {
        const LRESULT hit = SendMessage(LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
        bHeld = HIWORD(hit) == 0 && GetSel(LOWORD(hit)) > 0;
    }
    if (!bHeld) Default();

    CComRef<COleDataSource> source;
    const int line = DragLine();
    if (line >= 0) {
        OnSelChange();
        source = COleDataSource::Create();
        if (!FillDragData(*source.Get(), line)) source.Reset();
    }
    // Files offered, or a list that never changes: nothing may be moved away.
    const bool copyOnly = (m_wFlags & OLF_READONLY) != 0 || (source && source->HasFormat(CF_HDROP));
    POINT screen = point;
    ClientToScreen(&screen);
    m_nDragLine = line;
    const auto removeMoved = [&](const DragOutcome& outcome) {
        const int dragged = std::exchange(m_nDragLine, -1);
        if ((outcome.effect & DROPEFFECT_MOVE) == 0 || (m_wFlags & OLF_READONLY) != 0 ||
            dragged < 0) {
            return;
        }
        DeleteLine(dragged);
        SetCurSel(-1);
        OnSelChange();
    };
    RunDragFromPress(*this, press, source.Get(), DragStartRect(screen),
                     copyOnly ? DROPEFFECT_COPY : DROPEFFECT_COPY | DROPEFFECT_MOVE,
                     bHeld ? HeldPress::kUnlessDragged : HeldPress::kNone, removeMoved);
}
