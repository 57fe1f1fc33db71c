#include "wnd.h"

#include <unordered_map>

#include "win_app.h"

IMPLEMENT_DYNAMIC(CWnd, CObject)
const CRuntimeClass CObject::classCObject = {"CObject", nullptr};

namespace {
// The one HWND-to-object map of the user-interface thread.
std::unordered_map<HWND, CWnd*>& HandleMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

// The first entry for `message` along the chain from `map` to the base
// classes' maps; a WM_COMMAND entry must also match the code and the id.
const MessageMapEntry* FindEntry(const MessageMap* map, UINT message, UINT nCode, UINT nID) {
    for (; map != nullptr; map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        for (const MessageMapEntry* entry = map->lpEntries; entry->nMessage != 0; ++entry) {
            if (entry->nMessage != message) continue;
            if (message != WM_COMMAND || (entry->nID == nID && entry->nCode == nCode)) return entry;
        }
    }
    return nullptr;
}
}  // namespace

const MessageMap* CWnd::GetThisMessageMap() {
    static const MessageMapEntry entries[] = {{0, 0, 0, nullptr}};
    static const MessageMap map = {nullptr, entries};
    return &map;
}

CWnd::~CWnd() {
    if (m_hWnd != nullptr && !DestroyWindow()) Detach();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    auto& map = HandleMap();
    auto it = map.find(hWnd);
    return it == map.end() ? nullptr : it->second;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (m_hWnd != nullptr || hWnd == nullptr || !::IsWindow(hWnd)) return FALSE;
    if (FromHandlePermanent(hWnd) != nullptr) return FALSE;
    HandleMap()[hWnd] = this;
    m_hWnd = hWnd;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StdWndProc)));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    return pParent != nullptr && SubclassWindow(::GetDlgItem(pParent->m_hWnd, nID));
}

HWND CWnd::UnsubclassWindow() {
    HWND hWnd = m_hWnd;
    Detach();
    return hWnd;
}

void CWnd::Detach() {
    if (m_hWnd == nullptr) return;
    // Only put the old procedure back while ours is still the current one;
    // otherwise a later subclass would lose its place in the chain.
    if (m_pfnSuper != nullptr && ::IsWindow(m_hWnd) &&
        ::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC) ==
            reinterpret_cast<LONG_PTR>(&CWnd::StdWndProc)) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    }
    HandleMap().erase(m_hWnd);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
}

const char* CWnd::RegisterWndClass(const char* lpszClassName, UINT nClassStyle) {
    WNDCLASSA existing{};
    const HINSTANCE hInstance = ::GetModuleHandleA(nullptr);
    if (!::GetClassInfoA(hInstance, lpszClassName, &existing)) {
        WNDCLASSA wc{};
        wc.style = nClassStyle;
        wc.lpfnWndProc = &CWnd::StdWndProc;
        wc.hInstance = hInstance;
        wc.lpszClassName = lpszClassName;
        if (::RegisterClassA(&wc) == 0) return nullptr;
    }
    return lpszClassName;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, const char* lpszClassName, const char* lpszWindowName,
                    DWORD dwStyle, int x, int y, int nWidth, int nHeight, HWND hWndParent) {
    if (m_hWnd != nullptr || lpszClassName == nullptr) return FALSE;
    // StdWndProc attaches this object on WM_NCCREATE, from the creation data.
    HWND hWnd = ::CreateWindowExA(dwExStyle, lpszClassName, lpszWindowName, dwStyle, x, y, nWidth,
                                  nHeight, hWndParent, nullptr, ::GetModuleHandleA(nullptr), this);
    return hWnd != nullptr && hWnd == m_hWnd;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

LRESULT CALLBACK CWnd::StdWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd == nullptr && message == WM_NCCREATE) {
        // A window of a class registered by RegisterWndClass, made by CreateEx.
        pWnd = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (pWnd != nullptr && pWnd->m_hWnd == nullptr) {
            HandleMap()[hWnd] = pWnd;
            pWnd->m_hWnd = hWnd;
        } else {
            pWnd = nullptr;
        }
    }
    if (pWnd == nullptr) return ::DefWindowProcA(hWnd, message, wParam, lParam);
    const MSG saved = pWnd->m_msgCurrent;
    pWnd->m_msgCurrent = MSG{hWnd, message, wParam, lParam, 0, {0, 0}};
    const LRESULT result = pWnd->WindowProc(message, wParam, lParam);
    pWnd->m_msgCurrent = saved;
    if (message == WM_NCDESTROY) {
        pWnd->Detach();
        pWnd->PostNcDestroy();
    }
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper != nullptr)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_msgCurrent.message, m_msgCurrent.wParam, m_msgCurrent.lParam);
}

BOOL CWnd::ReflectToChild(HWND hWndChild, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT* pResult) {
    // Only our own children, and a window that names itself as the sender
    // (how a help-tip request addresses the window it asks).
    if (hWndChild == nullptr) return FALSE;
    if (hWndChild != m_hWnd && ::GetParent(hWndChild) != m_hWnd) return FALSE;
    CWnd* pChild = FromHandlePermanent(hWndChild);
    return pChild != nullptr && pChild->OnChildNotify(message, wParam, lParam, pResult);
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    HWND hWndCtrl = reinterpret_cast<HWND>(lParam);
    LRESULT ignored = 0;
    if (hWndCtrl != nullptr && hWndCtrl != m_hWnd &&
        ReflectToChild(hWndCtrl, WM_COMMAND, wParam, lParam, &ignored)) {
        return TRUE;
    }
    // Menus and accelerators count as plain commands.
    const UINT nCode = hWndCtrl != nullptr ? HIWORD(wParam) : 0;
    return OnCmdMsg(LOWORD(wParam), nCode);
}

const MessageMapEntry* CWnd::FindCmdEntry(UINT nID, UINT nCode) const {
    return FindEntry(GetMessageMap(), WM_COMMAND, nCode, nID);
}

BOOL CWnd::OnCmdMsg(UINT nID, UINT nCode, LPARAM lParam) {
    const MessageMapEntry* entry = FindCmdEntry(nID, nCode);
    if (entry == nullptr) return FALSE;
    entry->pfn(*this, MAKEWPARAM(nID, nCode), lParam);
    return TRUE;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult) {
    // Our notifications, help-tip requests included, come from this thread;
    // a pointer sent from another thread or process is not ours to read.
    if ((::InSendMessageEx(nullptr) & ISMEX_SEND) != 0) return FALSE;
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header == nullptr) return FALSE;
    return ReflectToChild(header->hwndFrom, WM_NOTIFY, 0, lParam, pResult);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    switch (message) {
        case WM_COMMAND:
            if (!OnCommand(wParam, lParam)) return FALSE;
            *pResult = 0;
            return TRUE;
        case WM_NOTIFY:
            return OnNotify(wParam, lParam, pResult);
        case WM_DRAWITEM: {
            const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item != nullptr && item->CtlType != ODT_MENU &&
                ReflectToChild(item->hwndItem, message, wParam, lParam, pResult)) {
                *pResult = TRUE;
                return TRUE;
            }
            break;
        }
        default:
            break;
    }
    // Commands reach their entries through OnCommand only.
    if (message == WM_COMMAND) return FALSE;
    const MessageMapEntry* entry = FindEntry(GetMessageMap(), message, 0, 0);
    if (entry == nullptr) return FALSE;
    *pResult = entry->pfn(*this, wParam, lParam);
    return TRUE;
}

std::string CWnd::GetWindowText() const {
    const int length = ::GetWindowTextLengthA(m_hWnd);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = ::GetWindowTextA(m_hWnd, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void CWnd::ScreenToClient(RECT* rect) const {
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(rect), 2);
}

BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* placement) const {
    placement->length = sizeof(WINDOWPLACEMENT);
    return ::GetWindowPlacement(m_hWnd, placement);
}

void CWnd::CenterWindow() {
    CRect window;
    GetWindowRect(&window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    HWND hWndOwner = ::GetWindow(m_hWnd, GW_OWNER);
    if (hWndOwner != nullptr && (!::IsWindowVisible(hWndOwner) || ::IsIconic(hWndOwner))) {
        hWndOwner = nullptr;
    }
    const HMONITOR hMonitor =
        ::MonitorFromWindow(hWndOwner != nullptr ? hWndOwner : m_hWnd, MONITOR_DEFAULTTONEAREST);
    if (!::GetMonitorInfoA(hMonitor, &monitor)) return;
    const CRect area(monitor.rcWork);
    CRect center = area;
    if (hWndOwner != nullptr) ::GetWindowRect(hWndOwner, &center);

    int x = (center.left + center.right) / 2 - window.Width() / 2;
    int y = (center.top + center.bottom) / 2 - window.Height() / 2;
    // Keep it inside the work area; the top left wins when it is too big.
    if (x + window.Width() > area.right) x = area.right - window.Width();
    if (x < area.left) x = area.left;
    if (y + window.Height() > area.bottom) y = area.bottom - window.Height();
    if (y < area.top) y = area.top;
    SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
    if (caption == nullptr) caption = AfxGetAppName();
    return ::MessageBoxA(m_hWnd, text, caption, type);
}
