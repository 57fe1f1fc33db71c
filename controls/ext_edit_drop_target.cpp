#include "ext_edit_drop_target.h"

#include <algorithm>

#include "bounded_text.h"
#include "file_list.h"
#include "gdi.h"
#include "global_memory.h"
#include "wnd.h"

namespace {
// Dropped text is never read beyond this, whatever the field would take.
constexpr size_t kMaxDroppedText = 1 << 20;
// Bytes asked of a stream at a time.
constexpr ULONG kStreamChunk = 254;

bool OffersText(COleDataObject* pDataObject) {
    return pDataObject->IsDataAvailable(CF_TEXT, TYMED_HGLOBAL | TYMED_ISTREAM) != FALSE;
}
bool OffersFiles(COleDataObject* pDataObject) {
    return pDataObject->IsDataAvailable(CF_HDROP, TYMED_HGLOBAL) != FALSE;
}
}  // namespace

std::optional<std::string> DroppedFileName(HGLOBAL hFileList) {
    CGlobalLock block(hFileList);
    if (block.Data() == nullptr) return std::nullopt;
    const auto layout = kivrel::ParseFileList(block.Bytes(), block.Size());
    if (!layout || layout->names.empty()) return std::nullopt;
    const auto& first = layout->names.front();
    std::string name;
    if (!layout->bWide) {
        name = kivrel::NarrowFileName(block.Bytes(), first);
    } else if (first.length < MAX_PATH) {
        const std::u16string wide = kivrel::WideFileName(block.Bytes(), first);
        const wchar_t* from = reinterpret_cast<const wchar_t*>(wide.c_str());
        const int count = static_cast<int>(wide.size());
        BOOL bLossy = FALSE;
        const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, from, count, nullptr,
                                                0, nullptr, &bLossy);
        if (bytes <= 0 || bLossy) return std::nullopt;
        name.resize(static_cast<size_t>(bytes));
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, from, count, name.data(), bytes,
                              nullptr, nullptr);
    }
    if (name.empty() || name.size() >= MAX_PATH) return std::nullopt;
    return name;
}

DROPEFFECT CExtEditDropTarget::OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject,
                                           DWORD dwKeyState, CPoint point) {
    pWnd->SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&m_nSelStart),
                      reinterpret_cast<LPARAM>(&m_nSelEnd));
    m_nDropPos = 0;
    return OnDragOver(pWnd, pDataObject, dwKeyState, point);
}

DROPEFFECT CExtEditDropTarget::OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                                          CPoint point) {
    if ((pWnd->GetStyle() & ES_READONLY) != 0) return DROPEFFECT_NONE;
    if (!OffersText(pDataObject)) {
        // A file is only ever named here, never moved.
        return OffersFiles(pDataObject) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    }
    const DROPEFFECT effect = (dwKeyState & MK_CONTROL) != 0 ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
    DrawDropFeedback(pWnd, &point, effect);
    return effect;
}

void CExtEditDropTarget::OnDragLeave(CWnd* pWnd) {
    DrawDropFeedback(pWnd, nullptr, 0);
    COleDropTarget::OnDragLeave(pWnd);
}

DROPEFFECT CExtEditDropTarget::OnDropEx(CWnd* pWnd, COleDataObject* pDataObject,
                                        DROPEFFECT dropDefault, DROPEFFECT dropList, CPoint point) {
    DrawDropFeedback(pWnd, nullptr, 0);
    if (OffersText(pDataObject)) {
        bool complete = false;
        if (!InsertDroppedText(pWnd, pDataObject, dropDefault, point, complete)) {
            return DROPEFFECT_NONE;
        }
        if (complete) return dropDefault;
        // Text was left out: the source must keep its text.
        return (dropList & DROPEFFECT_COPY) != 0 ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    }
    CStgMedium medium;
    if (!pDataObject->GetData(CF_HDROP, medium, TYMED_HGLOBAL)) return DROPEFFECT_NONE;
    const auto name = DroppedFileName(medium.Get().hGlobal);
    if (!name) return DROPEFFECT_NONE;
    pWnd->SetWindowText(*name);
    return dropDefault;
}

void CExtEditDropTarget::PrepareInsertion(CWnd* pWnd, DROPEFFECT effect, CPoint point) {
    if (m_nSelStart != m_nSelEnd && m_site.DragsOwnText()) {
        if (effect == DROPEFFECT_COPY) {
            m_nSelStart = m_nSelEnd = 0;
        } else if (effect == DROPEFFECT_MOVE) {
            // Dropped before or onto the dragged text: delete it first, so
            // that the drop position still holds.
            if (m_nDropPos <= m_nSelEnd) {
                pWnd->SendMessage(WM_CLEAR);
                m_site.OwnTextTaken();
            }
            pWnd->SendMessage(EM_SETSEL, m_nDropPos, m_nDropPos);
        }
    }
    if (m_nSelStart == m_nSelEnd) {
        const LPARAM at = MAKELPARAM(point.x, point.y);
        pWnd->SendMessage(WM_LBUTTONDOWN, 0, at);
        pWnd->SendMessage(WM_LBUTTONUP, 0, at);
    }
}

BOOL CExtEditDropTarget::InsertDroppedText(CWnd* pWnd, COleDataObject* pDataObject,
                                           DROPEFFECT effect, CPoint point, bool& complete) {
    CStgMedium medium;
    if (!pDataObject->GetData(CF_TEXT, medium, TYMED_HGLOBAL | TYMED_ISTREAM)) return FALSE;
    PrepareInsertion(pWnd, effect, point);

    // Room left in the field once the selection is replaced.
    DWORD start = 0;
    DWORD end = 0;
    pWnd->SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const size_t limit = static_cast<size_t>(pWnd->SendMessage(EM_GETLIMITTEXT));
    const size_t length = static_cast<size_t>(::GetWindowTextLengthA(pWnd->m_hWnd));
    const size_t kept = length - std::min<size_t>(end - start, length);
    const size_t room = std::min(limit > kept ? limit - kept : 0, kMaxDroppedText);
    kivrel::CBoundedText text(room, (pWnd->GetStyle() & ES_MULTILINE) == 0);

    const STGMEDIUM& got = medium.Get();
    if (got.tymed == TYMED_HGLOBAL) {
        CGlobalLock block(got.hGlobal);
        if (block.Data() == nullptr) return FALSE;
        text.Append(block.Bytes(), block.Size());
    } else {
        char chunk[kStreamChunk];
        // Each read asks for one chunk; the text's limit ends the loop.
        while (!text.Done()) {
            ULONG read = 0;
            const HRESULT hr = got.pstm->Read(chunk, kStreamChunk, &read);
            if (FAILED(hr) || read > kStreamChunk) {
                text.MarkIncomplete();
                break;
            }
            if (read == 0 || !text.Append(chunk, read) || read < kStreamChunk) break;
        }
    }
    pWnd->SendMessage(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.Text().c_str()));
    complete = text.Complete();
    return TRUE;
}

void CExtEditDropTarget::DrawDropFeedback(CWnd* pWnd, const CPoint* point, DROPEFFECT effect) {
    CRect feedback;
    if (point != nullptr) {
        const LRESULT hit = pWnd->SendMessage(EM_CHARFROMPOS, 0, MAKELPARAM(point->x, point->y));
        if (hit != -1) {
            const DWORD ch = LOWORD(hit);
            DWORD a = ch;
            DWORD b = ch;
            if (m_nSelStart == m_nSelEnd) {
            } else if (!m_site.DragsOwnText()) {
                a = m_nSelStart;
                b = m_nSelEnd;
            } else if (effect == DROPEFFECT_COPY ||
                       (effect == DROPEFFECT_MOVE && (ch < m_nSelStart || ch > m_nSelEnd))) {
            } else {
                a = m_nSelStart;
                b = m_nSelEnd;
            }
            m_nDropPos = a;
            const LRESULT from = pWnd->SendMessage(EM_POSFROMCHAR, a);
            const LRESULT to = pWnd->SendMessage(EM_POSFROMCHAR, b);
            if (from != -1 && to != -1) {
                const CPoint left(from);
                const CPoint right(to);
                feedback = CRect(left.x, left.y, right.x, right.y + 8);
                if (feedback.left == feedback.right) feedback.right = feedback.left + 2;
            }
        }
    }
    if (feedback == m_rectFeedback) return;
    CClientDC dc(pWnd->m_hWnd);
    if (!m_rectFeedback.IsRectEmpty()) ::InvertRect(dc, &m_rectFeedback);
    m_rectFeedback = feedback;
    if (!m_rectFeedback.IsRectEmpty()) ::InvertRect(dc, &m_rectFeedback);
}
