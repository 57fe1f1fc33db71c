#include "ext_edit.h"

#include <vector>

#include "drag_starter.h"
#include "global_memory.h"
#include "help_tip_request.h"
#include "ole_data_source.h"

IMPLEMENT_DYNAMIC(CExtEdit, CEdit)

BEGIN_MESSAGE_MAP(CExtEdit, CEdit)
ON_WM_LBUTTONDOWN()
ON_WM_DESTROY()
ON_WM_DROPFILES()
ON_WM_CONTEXTMENU()
END_MESSAGE_MAP()

CExtEdit::CExtEdit() = default;

CExtEdit::~CExtEdit() {
    // Here rather than in the base: the field's own WM_DESTROY handling runs.
    DestroyWindow();
}

BOOL CExtEdit::EnableDragDrop() {
    auto target = std::make_unique<CExtEditDropTarget>(static_cast<IExtEditDropSite&>(*this));
    m_bDragDropEnabled = target->Register(this);
    if (m_bDragDropEnabled) m_pDropTarget = std::move(target);
    return m_bDragDropEnabled;
}

void CExtEdit::DragAcceptFiles(BOOL bAccept) { ::DragAcceptFiles(m_hWnd, bAccept); }

std::string CExtEdit::TextBetween(DWORD nStart, DWORD nEnd) const {
    // Positions count characters, so the text is cut in wide characters.
    const int length = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> wide(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hWnd, wide.data(), length + 1);
    if (got <= 0 || nStart >= nEnd || nStart >= static_cast<DWORD>(got)) return {};
    const int count = static_cast<int>(std::min<DWORD>(nEnd, got) - nStart);
    const wchar_t* from = wide.data() + nStart;
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, from, count, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string text(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, from, count, text.data(), bytes, nullptr, nullptr);
    return text;
}

bool CExtEdit::IsOnSelection(CPoint point, DWORD nStart, DWORD nEnd) const {
    const LRESULT hit = SendMessage(EM_CHARFROMPOS, 0, MAKELPARAM(point.x, point.y));
    if (hit == -1) return false;
    const DWORD ch = LOWORD(hit);
    return ch >= nStart && ch < nEnd;
}

void CExtEdit::OnLButtonDown(UINT, CPoint point) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    // Only a press on the selection may drag it; any other press selects as usual.
    if (!m_bDragDropEnabled || start == end || !IsOnSelection(point, start, end)) {
        Default();
        return;
    }
    const std::string text = TextBetween(start, end);
    CGlobalHandle block = AllocateGlobalCopy(text.c_str(), text.size() + 1);
    if (text.empty() || !block) {
        Default();
        return;
    }
    const bool readOnly = (GetStyle() & ES_READONLY) != 0;
    RECT startRect;
    if (readOnly) {
        GetClientRect(&startRect);
        ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&startRect), 2);
    } else {
        POINT screen = point;
        ClientToScreen(&screen);
        startRect = DragStartRect(screen);
    }
    CComRef<COleDataSource> source = COleDataSource::Create();
    source->CacheGlobalData(CF_TEXT, block);
    OnPrepareDragData(source.Get());

    // The field's own drop target may send it presses while the drag runs:
    // they get the ordinary handling.
    m_bDragDropEnabled = FALSE;
    m_bOwnTextDragged = true;
    const auto removeMoved = [&](const DragOutcome& outcome) {
        if ((outcome.effect & DROPEFFECT_MOVE) == 0 || !m_bOwnTextDragged) return;
        SetSel(static_cast<int>(start), static_cast<int>(end));
        SendMessage(EM_SCROLLCARET);
        SendMessage(WM_CLEAR);
    };
    RunDragFromPress(*this, m_msgCurrent, source.Get(), startRect,
                     readOnly ? DROPEFFECT_COPY : DROPEFFECT_COPY | DROPEFFECT_MOVE,
                     HeldPress::kUnlessDropped, removeMoved);
    m_bOwnTextDragged = false;
    // The window may have gone during the drag, and its target with it.
    m_bDragDropEnabled = m_pDropTarget != nullptr;
}

void CExtEdit::OnDropFiles(HDROP hDropInfo) {
    if (const auto name = DroppedFileName(reinterpret_cast<HGLOBAL>(hDropInfo))) {
        SetWindowText(*name);
    }
    ::DragFinish(hDropInfo);
}

void CExtEdit::OnContextMenu(HWND, CPoint point) {
    const HWND hWndParent = GetParent();
    if (point.x != -1 || point.y != -1 || hWndParent == nullptr) {
        Default();
        return;
    }
    ::SendMessageA(hWndParent, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_hWnd),
                   m_msgCurrent.lParam);
}

void CExtEdit::OnDestroy() {
    if (m_pDropTarget) {
        m_pDropTarget->Revoke();
        m_pDropTarget.reset();
    }
    m_bDragDropEnabled = FALSE;
    Default();
}

BOOL CExtEdit::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message != WM_NOTIFY || m_nTipTextId == 0) {
        return CEdit::OnChildNotify(message, wParam, lParam, pResult);
    }
    NMHELPTIP* request = reinterpret_cast<NMHELPTIP*>(lParam);
    if (request->hdr.code == HTN_NEEDTEXT) AnswerHelpTip(request, m_nTipTextId);
    return TRUE;
}
