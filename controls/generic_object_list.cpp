#include "generic_object_list.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "gdi.h"
#include "help_tip_request.h"
#include "object_list_drop_target.h"

IMPLEMENT_DYNAMIC(CGenericObjectList, CListBox)

BEGIN_MESSAGE_MAP(CGenericObjectList, CListBox)
ON_WM_LBUTTONDOWN()
ON_WM_RBUTTONDOWN()
ON_WM_DESTROY()
END_MESSAGE_MAP()

CGenericObjectList::CGenericObjectList() : m_dwProcessId(::GetCurrentProcessId()) {}

CGenericObjectList::~CGenericObjectList() {
    // Here rather than in the base: the list's own WM_DESTROY handling runs.
    DestroyWindow();
}

int CGenericObjectList::AddLine(const char* text, DWORD dwItemData) {
    const int index = AddString(text);
    if (index >= 0) SetItemData(index, dwItemData);
    if (index >= 0 && index <= m_nDragLine) ++m_nDragLine;
    UpdateHorizontalExtent(text);
    return index;
}

int CGenericObjectList::InsertLine(int nIndex, const char* text, DWORD dwItemData) {
    const int index = InsertString(nIndex, text);
    if (index >= 0) SetItemData(index, dwItemData);
    if (index >= 0 && index <= m_nDragLine) ++m_nDragLine;
    UpdateHorizontalExtent(text);
    return index;
}

int CGenericObjectList::DeleteLine(int nIndex) {
    const int left = DeleteString(nIndex);
    if (left != LB_ERR && m_nDragLine >= 0 && nIndex <= m_nDragLine) {
        m_nDragLine = nIndex == m_nDragLine ? -1 : m_nDragLine - 1;
    }
    return left;
}

int CGenericObjectList::TextWidth(const std::vector<std::string>& texts) const {
    CClientDC dc(m_hWnd);
    CSelectObject font(dc, GetFont());
    int widest = 0;
    for (const std::string& text : texts) {
        const DWORD size =
            ::GetTabbedTextExtentA(dc, text.c_str(), static_cast<int>(text.size()), 0, nullptr);
        widest = std::max<int>(widest, static_cast<short>(LOWORD(size)));
    }
    return widest;
}

int CGenericObjectList::UpdateHorizontalExtent(const char* text) {
    const int extent = std::max(GetHorizontalExtent(), TextWidth({text}));
    SetHorizontalExtent(extent);
    return extent;
}

int CGenericObjectList::GetFirstSel() const {
    if (!AllowsMultipleSelection()) return GetCurSel();
    if (GetSelCount() <= 0) return -1;
    int index = -1;
    return GetSelItems(1, &index) == 1 ? index : -1;
}

DWORD CGenericObjectList::GetFirstSelItemData() const {
    const int index = GetFirstSel();
    return index < 0 ? 0 : LineValue(index);
}

void CGenericObjectList::ApplyFont(const CFont* pFont) {
    SetFont(pFont != nullptr ? pFont->GetSafeHandle() : nullptr, TRUE);
    // The lines' widths change with the font: otherwise the ends of long
    // lines could not be scrolled to until lines are added again.
    const int count = GetCount();
    if (count <= 0) return;
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) texts.push_back(GetText(i));
    SetHorizontalExtent(TextWidth(texts));
}

BOOL CGenericObjectList::SyncSelection(std::list<DWORD>& values, BOOL bSave) {
    if (bSave) {
        const int count = GetSelCount();
        if (count <= 0) {
            if (values.empty()) return FALSE;
            values.clear();
            return TRUE;
        }
        std::vector<int> indices(static_cast<size_t>(count));
        const int got = std::max(0, GetSelItems(count, indices.data()));
        std::vector<DWORD> selected;
        for (int i = 0; i < got; ++i)
            selected.push_back(LineValue(indices[static_cast<size_t>(i)]));

        const size_t before = values.size();
        values.remove_if([&](DWORD value) {
            return std::find(selected.begin(), selected.end(), value) == selected.end();
        });
        bool changed = values.size() != before;
        for (DWORD value : selected) {
            if (std::find(values.begin(), values.end(), value) == values.end()) {
                values.push_back(value);
                changed = true;
            }
        }
        return changed ? TRUE : FALSE;
    }

    SetRedraw(FALSE);
    const int count = GetCount();
    for (int i = 0; i < count; ++i) SetSel(i, FALSE);
    int lastSelected = -1;
    for (DWORD value : values) {
        for (int i = 0; i < count; ++i) {
            if (LineValue(i) == value) {
                SetSel(i, TRUE);
                lastSelected = i;
                break;
            }
        }
    }
    if (lastSelected >= 0) ScrollIntoView(lastSelected);
    SetRedraw(TRUE);
    UpdateWindow();
    return FALSE;
}

void CGenericObjectList::ScrollIntoView(int nIndex) {
    CRect client;
    GetClientRect(&client);
    CRect item;
    if (GetItemRect(nIndex, &item) == LB_ERR) return;
    const int height = static_cast<int>(item.Height());
    if (height <= 0) return;
    int top = GetTopIndex();
    if (item.bottom > client.bottom) {
        top = std::min(top + static_cast<int>(item.bottom - client.bottom) / height + 1,
                       GetCount() - 1);
    }
    if (item.top < client.top) {
        top = top + static_cast<int>(item.top - client.top) / height - 1;
        if (top <= 0) top = 0;
    }
    SetTopIndex(top);
}

BOOL CGenericObjectList::GetDescription(std::string& description, DWORD dwItemData) {
    char prefix[32];
    std::snprintf(prefix, sizeof(prefix), "%#08lx,  ", static_cast<unsigned long>(dwItemData));
    description = prefix;
    const int index = GetFirstSel();
    if (index >= 0) description += GetText(index);
    return TRUE;
}

void CGenericObjectList::OnSelChange() {
    const DWORD data = GetFirstSelItemData();
    if (data == m_dwLastSelItemData || ::GetFocus() != m_hWnd) return;
    // A frame window would show GetDescription in its status bar here; this
    // program's windows are dialogs without one.
    m_dwLastSelItemData = data;
}

BOOL CGenericObjectList::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT* pResult) {
    if (message == WM_NOTIFY) {
        NMHELPTIP* request = reinterpret_cast<NMHELPTIP*>(lParam);
        if (m_nTipTextId != 0 && request->hdr.code == HTN_NEEDTEXT) {
            AnswerHelpTip(request, m_nTipTextId);
        }
        return TRUE;
    }
    if (message != WM_COMMAND) return CListBox::OnChildNotify(message, wParam, lParam, pResult);
    switch (HIWORD(wParam)) {
        case LBN_SELCHANGE:
            OnSelChange();
            return TRUE;
        case LBN_DBLCLK:
            OnDblClk();
            return TRUE;
        case LBN_SELCANCEL:
            OnSelCancel();
            return TRUE;
        case LBN_SETFOCUS:
            OnSetFocusNotify();
            return TRUE;
        case LBN_KILLFOCUS:
            OnKillFocusNotify();
            return TRUE;
        case static_cast<WORD>(LBN_ERRSPACE):
            OnErrSpace();
            return TRUE;
        default:
            return FALSE;
    }
}

void CGenericObjectList::OnRButtonDown(UINT, CPoint) {
    // Select as a left click would, with transfer off so that no drag starts.
    const WORD flags = m_wFlags;
    m_wFlags = 0;
    SendMessage(WM_LBUTTONDOWN, m_msgCurrent.wParam, m_msgCurrent.lParam);
    SendMessage(WM_LBUTTONUP, m_msgCurrent.wParam, m_msgCurrent.lParam);
    m_wFlags = flags;
}

void CGenericObjectList::OnDestroy() {
    if (m_pDropTarget) {
        m_pDropTarget->Revoke();
        m_pDropTarget.reset();
    }
    m_wFlags = 0;
    Default();
}
