#include "help_tip_wnd.h"

#include <algorithm>
#include <cstring>

#include "help_tip_request.h"
#include "help_tip_shadow.h"

IMPLEMENT_DYNAMIC(CHelpTipWnd, CWnd)

BEGIN_MESSAGE_MAP(CHelpTipWnd, CWnd)
ON_WM_CREATE()
ON_WM_DESTROY()
ON_WM_TIMER()
ON_WM_PAINT()
ON_WM_ACTIVATEAPP()
END_MESSAGE_MAP()

namespace {
constexpr UINT_PTR kTimerId = 2;
constexpr char kClassName[] = "KivrelHelpTip";
// Frame and text margin inside the frame, on each side.
constexpr int kMargin = 3;
// Space between the tip's bottom edge and the pointer when the tip goes above it.
constexpr int kGapAbovePointer = 2;

bool HasClass(HWND hWnd, const char* name) {
    char className[128] = "";
    return ::GetClassNameA(hWnd, className, sizeof(className)) > 0 &&
           ::lstrcmpiA(className, name) == 0;
}

// An answer is nothing to show when it is empty or holds only line breaks.
bool HasVisibleText(const char* text) {
    for (; *text != '\0'; ++text) {
        if (*text != '\n' && *text != '\r') return true;
    }
    return false;
}
}  // namespace

CHelpTipWnd::CHelpTipWnd(IHelpTipSystem* pSystem)
    : m_font(static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT))),
      m_pOwnSystem(pSystem == nullptr ? CreateNativeHelpTipSystem() : nullptr),
      m_pSystem(pSystem != nullptr ? pSystem : m_pOwnSystem.get()) {
    m_bMousePresent = m_pSystem->IsMousePresent();
}

CHelpTipWnd::~CHelpTipWnd() { DestroyWindow(); }

void CHelpTipWnd::RedirectTool(HWND hWndTool, HWND hWndTarget) {
    if (!::IsWindow(hWndTool) || !::IsWindow(hWndTarget)) return;
    RemoveTool(hWndTool);
    m_toolWnds.push_back(hWndTool);
    m_targetWnds.push_back(hWndTarget);
}

BOOL CHelpTipWnd::RemoveTool(HWND hWndTool) {
    const auto it = std::find(m_toolWnds.begin(), m_toolWnds.end(), hWndTool);
    if (it == m_toolWnds.end()) return FALSE;
    m_targetWnds.erase(m_targetWnds.begin() + (it - m_toolWnds.begin()));
    m_toolWnds.erase(it);
    return TRUE;
}

BOOL CHelpTipWnd::Toggle(HWND hWndOwner) {
    if (!CanToggle()) return FALSE;
    CBusyScope busy(m_bBusy);
    if (m_bOn) {
        DestroyWindow();
        m_bOn = FALSE;
        return TRUE;
    }
    POINT point{0, 0};
    m_pSystem->GetCursorPos(&point);
    m_ptLast = point;
    m_hWndLast = nullptr;
    const char* className = RegisterWndClass(kClassName, CS_HREDRAW | CS_VREDRAW);
    m_bOn = CreateEx(WS_EX_TOPMOST, className, "", WS_POPUP, 0, 0, 0, 0, hWndOwner);
    return TRUE;
}

int CHelpTipWnd::OnCreate(CREATESTRUCTA*) {
    if (Default() == -1) return -1;
    m_nTimer = ::SetTimer(m_hWnd, kTimerId, m_nPeriod, nullptr);
    m_nStillTicks = 0;
    return 0;
}

void CHelpTipWnd::OnDestroy() {
    if (m_nTimer != 0) ::KillTimer(m_hWnd, m_nTimer);
    m_nTimer = 0;
    // Whoever destroys the window (Toggle, the owner going away), the tips
    // are off and nothing of the last tip is kept.
    m_bOn = FALSE;
    m_hWndLast = nullptr;
    m_nStillTicks = 0;
    m_shadow.Reset();
    Default();
}

void CHelpTipWnd::OnActivateApp(BOOL, DWORD) {
    if (!m_bBusy && IsWindowVisible()) {
        HideTip();
        m_ptLast = POINT{0, 0};
    }
    Default();
}

void CHelpTipWnd::HideTip() {
    if (IsWindowVisible()) ::ShowWindow(m_hWnd, SW_HIDE);
    m_shadow.Reset();
}

void CHelpTipWnd::OnTimer(UINT_PTR nIDEvent) {
    if (m_bBusy || m_hWnd == nullptr) return;
    CBusyScope busy(m_bBusy);
    if (nIDEvent != kTimerId) return;
    POINT point{0, 0};
    if (!m_pSystem->GetCursorPos(&point)) return;
    const std::optional<Hover> hover = FindHover(point);
    if (!hover || !HasRested(point, *hover)) return;
    ShowAnswer(AskForTip(*hover, point), *hover, point);
}

std::optional<CHelpTipWnd::Hover> CHelpTipWnd::FindHover(POINT point) {
    HWND hWnd = m_pSystem->WindowFromPoint(point);
    if (!::IsWindow(hWnd)) return std::nullopt;
    if (hWnd == m_hWnd) {
        HideTip();
        return std::nullopt;
    }
    // A popup menu's owner answers for the item under the pointer, by its
    // command id; a separator or the menu's frame asks nobody.
    if (HasClass(hWnd, "#32768")) {
        const HMENU hMenu = reinterpret_cast<HMENU>(::SendMessageA(hWnd, MN_GETHMENU, 0, 0));
        const int item = hMenu != nullptr ? ::MenuItemFromPoint(nullptr, hMenu, point) : -1;
        const UINT nID = item >= 0 ? ::GetMenuItemID(hMenu, item) : 0;
        const HWND hWndOwner = ::GetWindow(hWnd, GW_OWNER);
        if (nID == 0 || nID == UINT(-1) || hWndOwner == nullptr) return std::nullopt;
        return Hover{hWnd, hWndOwner, static_cast<int>(nID)};
    }
    // The edit part of a combo box asks the combo box.
    if (HasClass(hWnd, "Edit")) {
        HWND hWndParent = ::GetParent(hWnd);
        if (hWndParent != nullptr && HasClass(hWndParent, "ComboBox")) hWnd = hWndParent;
    }
    Hover hover{hWnd, hWnd, 0};
    if ((::GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD) != 0) hover.nID = ::GetDlgCtrlID(hWnd);
    // Each pair in turn, so that a later pair may redirect once more.
    for (size_t k = 0; k < m_toolWnds.size(); ++k) {
        if (hover.hWndAsked != m_toolWnds[k]) continue;
        hover.hWndAsked = m_targetWnds[k];
        if (!::IsWindow(hover.hWndAsked)) return std::nullopt;
    }
    return hover;
}

bool CHelpTipWnd::HasRested(POINT point, const Hover& hover) {
    const HWND hWndAsked = hover.hWndAsked;
    if (point.x != m_ptLast.x || point.y != m_ptLast.y || hWndAsked != m_hWndLast) {
        m_ptLast = point;
        m_hWndLast = hWndAsked;
        HideTip();
        m_nStillTicks = 0;
        return false;
    }
    DWORD processId = 0;
    if (::GetWindowThreadProcessId(hWndAsked, &processId) != ::GetCurrentThreadId() ||
        processId != ::GetCurrentProcessId()) {
        return false;
    }
    const HWND hWndOwner = ::GetParent(m_hWnd);
    ++m_nStillTicks;
    if (hWndOwner == nullptr || !::IsWindowEnabled(hWndOwner)) return false;
    if (m_nTicksToShow == 0 || m_nStillTicks % m_nTicksToShow != 0) return false;
    // Only while this application is the active one.
    HWND hWndTop = hWndOwner;
    while (HWND hWndUp = ::GetParent(hWndTop)) hWndTop = hWndUp;
    if (m_pSystem->GetForegroundWindow() != ::GetLastActivePopup(hWndTop)) return false;
    // The owner's popup menu may reach beyond the owner.
    const bool ownersMenu = HasClass(hover.hWndHovered, "#32768") &&
                            ::GetWindow(hover.hWndHovered, GW_OWNER) == hWndOwner;
    RECT ownerRect;
    if (!ownersMenu &&
        (!::GetWindowRect(hWndOwner, &ownerRect) || !::PtInRect(&ownerRect, point))) {
        return false;
    }
    return ::IsWindow(hWndAsked) != FALSE;
}

NMHELPTIP CHelpTipWnd::AskForTip(const Hover& hover, POINT point) {
    NMHELPTIP request{};
    request.hdr.hwndFrom = hover.hWndAsked;
    request.hdr.idFrom = static_cast<UINT_PTR>(hover.nID);
    request.hdr.code = HTN_NEEDTEXT;
    request.x = point.x;
    request.y = point.y + m_pSystem->GetCursorHeight();
    request.dwFlags = 0;
    ::SendMessageA(hover.hWndAsked, WM_NOTIFY, request.hdr.idFrom,
                   reinterpret_cast<LPARAM>(&request));
    // The answer is the other window's: it may have filled the buffer.
    request.szText[sizeof(request.szText) - 1] = '\0';
    if (!HasVisibleText(request.szText)) request.szText[0] = '\0';
    return request;
}

void CHelpTipWnd::ShowAnswer(const NMHELPTIP& answer, const Hover& hover, POINT point) {
    if (::lstrcmpiA(answer.szText, m_szText) != 0 && IsWindowVisible()) {
        HideTip();
        if (::IsWindow(hover.hWndHovered)) ::UpdateWindow(hover.hWndHovered);
    }
    // An unchanged answer leaves a shown tip in place.
    if (answer.szText[0] == '\0' || IsWindowVisible()) return;

    SetTipText(answer.szText);
    RECT tip;
    GetWindowRect(&tip);
    const int width = tip.right - tip.left;
    const int height = tip.bottom - tip.top;
    // The work area of the pointer's monitor, not the primary screen.
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    m_pSystem->GetWorkArea(point, &area);
    const int x = std::max<int>(area.left, std::min<int>(answer.x, area.right - width));
    int y = answer.y;
    if (y + height > area.bottom) {
        y = y - height - m_pSystem->GetCursorHeight() - kGapAbovePointer;
    }
    ShowTipAt(x, std::max<int>(y, area.top));
}

void CHelpTipWnd::SetTipText(const char* text) {
    ::lstrcpynA(m_szText, text, sizeof(m_szText));
    CClientDC dc(m_hWnd);
    CSelectObject font(dc, m_font);
    const int lineHeight = HIWORD(::GetTabbedTextExtentA(dc, " ", 1, 0, nullptr));
    int lines = 1;
    int textWidth = 0;
    const char* start = m_szText;
    for (const char* p = m_szText;; ++p) {
        if (*p != '\n' && *p != '\0') continue;
        const int length = static_cast<int>(p - start);
        if (length > 0) {
            const DWORD extent = ::GetTabbedTextExtentA(dc, start, length, 0, nullptr);
            textWidth = std::max<int>(textWidth, LOWORD(extent));
        }
        if (*p == '\0') break;
        ++lines;
        start = p + 1;
    }
    const int frame = 2 * kMargin + kHelpTipShadow;
    SetWindowPos(nullptr, 0, 0, textWidth + frame, lineHeight * lines + frame,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOOWNERZORDER);
}

void CHelpTipWnd::ShowTipAt(int x, int y) {
    RECT tip;
    GetWindowRect(&tip);
    const int width = tip.right - tip.left;
    const int height = tip.bottom - tip.top;
    // Taken while the tip is hidden: the pixels the shadow band lies over.
    std::vector<uint32_t> pixels;
    const RECT area{x, y, x + width, y + height};
    if (!m_pSystem->CaptureScreen(area, pixels) ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
        const uint32_t rgb = (static_cast<uint32_t>(GetRValue(face)) << 16) |
                             (static_cast<uint32_t>(GetGValue(face)) << 8) | GetBValue(face);
        std::fill(pixels.begin(), pixels.end(), rgb);
    }
    DarkenHelpTipShadow(pixels, width, height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_shadow.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (m_shadow && bits != nullptr) {
        std::memcpy(bits, pixels.data(), pixels.size() * sizeof(uint32_t));
    }
    SetWindowPos(nullptr, x, y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
}

void CHelpTipWnd::OnPaint() {
    CPaintDC dc(m_hWnd);
    RECT client;
    GetClientRect(&client);
    RECT frame{0, 0, client.right - kHelpTipShadow, client.bottom - kHelpTipShadow};
    COLORREF background = ::GetSysColor(COLOR_INFOBK);
    COLORREF textColor = ::GetSysColor(COLOR_INFOTEXT);
    if (background == textColor) {
        background = RGB(192, 192, 192);
        textColor = RGB(0, 0, 0);
    }
    {
        CBrush fill(background);
        CBrush border(textColor);
        ::FillRect(dc, &frame, fill);
        ::FrameRect(dc, &frame, border);
    }
    RECT text = frame;
    ::InflateRect(&text, -kMargin, -kMargin);
    CSelectObject font(dc, m_font);
    ::SetTextColor(dc, textColor);
    ::SetBkColor(dc, background);
    ::SetBkMode(dc, OPAQUE);
    ::DrawTextA(dc, m_szText, -1, &text, DT_LEFT | DT_TOP | DT_EXPANDTABS | DT_NOPREFIX);

    if (!m_shadow) return;
    CMemoryDCHandle memory(::CreateCompatibleDC(dc));
    if (!memory) return;
    CSelectObject bitmap(memory.Get(), m_shadow.Get());
    // The right band from the top, then the bottom band left of it.
    ::BitBlt(dc, frame.right, 0, kHelpTipShadow, client.bottom, memory.Get(), frame.right, 0,
             SRCCOPY);
    ::BitBlt(dc, 0, frame.bottom, frame.right, kHelpTipShadow, memory.Get(), 0, frame.bottom,
             SRCCOPY);
}
