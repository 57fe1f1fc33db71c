#include "result_list.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "file_list.h"
#include "global_memory.h"
#include "ole_data_source.h"

BEGIN_MESSAGE_MAP(CResultList, CGenericObjectList)
ON_WM_KEYDOWN()
ON_WM_CHAR()
END_MESSAGE_MAP()

namespace {
// The control characters Ctrl+A and Ctrl+C type.
constexpr UINT kCtrlA = 0x01;
constexpr UINT kCtrlC = 0x03;

bool OnlyCtrlDown() {
    return ::GetKeyState(VK_CONTROL) < 0 && ::GetKeyState(VK_SHIFT) >= 0 &&
           ::GetKeyState(VK_MENU) >= 0;
}
}  // namespace

void CResultList::OnPrepareDragData(COleDataSource* pSource) {
    std::vector<std::string> names;
    const int count = GetCount();
    for (int i = 0; i < count; ++i) {
        if (GetSel(i) > 0 && GetItemData(i) != 0) names.push_back(GetText(i));
    }
    const std::vector<uint8_t> list = kivrel::BuildFileList(names);
    if (list.empty()) return;
    // A block the source does not take is freed with `block`.
    CGlobalHandle block = AllocateGlobalCopy(list.data(), list.size());
    if (block) pSource->CacheGlobalData(CF_HDROP, block);
}

BOOL CResultList::CopySelection() {
    std::string text;
    bool any = false;
    const int count = GetCount();
    for (int i = 0; i < count; ++i) {
        if (GetSel(i) <= 0) continue;
        if (any) text += "\r\n";
        text += GetText(i);
        any = true;
    }
    if (!any) return FALSE;
    CGlobalHandle block = AllocateGlobalCopy(text.c_str(), text.size() + 1);
    if (!block || !::OpenClipboard(m_hWnd)) return FALSE;
    ::EmptyClipboard();
    // The clipboard owns the block once it takes it.
    const BOOL taken = ::SetClipboardData(CF_TEXT, block.Get()) != nullptr;
    if (taken) block.Detach();
    ::CloseClipboard();
    return taken;
}

void CResultList::OnKeyDown(UINT nChar, UINT, UINT) {
    if (OnlyCtrlDown() && nChar == 'C') {
        CopySelection();
    } else if (OnlyCtrlDown() && nChar == 'A') {
        SetSel(-1, TRUE);
        OnSelChange();
    } else {
        Default();
    }
}

void CResultList::OnChar(UINT nChar, UINT, UINT) {
    // Typed by the shortcuts above; the list box would search its lines for them.
    if (nChar == kCtrlA || nChar == kCtrlC) return;
    Default();
}
