#include "resizable_dialog.h"

#include "resource_string.h"
#include "win_app.h"
#include "window_placement.h"

IMPLEMENT_DYNAMIC(CResizableDialog, CDialog)

BEGIN_MESSAGE_MAP(CResizableDialog, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_SIZE()
ON_WM_GETMINMAXINFO()
ON_WM_SETTINGCHANGE()
ON_WM_NCHITTEST()
END_MESSAGE_MAP()

namespace {
constexpr int kLayoutEntries = 128;
constexpr int kMaxLayoutIds = 123;

HICON LoadIconOfSize(UINT nID, int cx, int cy) {
    return static_cast<HICON>(
        ::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nID), IMAGE_ICON, cx, cy, 0));
}
}  // namespace

CResizableDialog::CResizableDialog(UINT nIDTemplate, UINT nIDIcon, int nInstance, CWnd* pParent)
    : CDialog(nIDTemplate, pParent),
      m_nInstance(nInstance > 0 ? nInstance : TakeInstanceSlot(m_instanceSlot)) {
    if (nIDIcon != 0) {
        m_hIcon.Reset(
            LoadIconOfSize(nIDIcon, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)));
        m_hSmallIcon.Reset(
            LoadIconOfSize(nIDIcon, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));
    }
    m_font.AttachShared(::GetStockObject(DEFAULT_GUI_FONT));
}

CResizableDialog::~CResizableDialog() = default;

BOOL CResizableDialog::OnInitDialog() {
    GetWindowRect(&m_rcInitial);
    CRect client;
    GetClientRect(&client);
    m_cyClient = client.Height();
    m_cxClient = client.Width();
    if (m_hIcon) {
        SetIcon(m_hIcon.Get(), TRUE);
        SetIcon(m_hSmallIcon ? m_hSmallIcon.Get() : m_hIcon.Get(), FALSE);
    }
    UpdateControlFont();
    return CDialog::OnInitDialog();
}

BOOL CResizableDialog::SetControlLayout(CLayoutGroup widen, CLayoutGroup moveRight,
                                        CLayoutGroup heighten, CLayoutGroup moveDown) {
    m_bLayoutSet = TRUE;
    const CLayoutGroup groups[4] = {widen, moveRight, heighten, moveDown};
    int total = 0;
    for (const CLayoutGroup& group : groups) total += group.size();
    if (total > kMaxLayoutIds) return FALSE;
    static_assert(kMaxLayoutIds + 4 <= kLayoutEntries, "layout table holds every id");
    int at = 0;
    for (const CLayoutGroup& group : groups) {
        m_nLayout[at++] = group.size();
        for (int id : group) m_nLayout[at++] = id;
    }
    m_bResizeX = widen.size() + moveRight.size() != 0;
    m_bResizeY = heighten.size() + moveDown.size() != 0;
    return TRUE;
}

void CResizableDialog::ResizeGroup(const int* pGroup, int dx, int dy, bool bMove) {
    for (int i = 1; i <= pGroup[0]; ++i) {
        HWND hWndControl = GetDlgItem(pGroup[i]);
        if (hWndControl == nullptr) continue;
        CRect rect;
        ::GetWindowRect(hWndControl, &rect);
        if (bMove) {
            ScreenToClient(&rect);
            ::SetWindowPos(hWndControl, nullptr, rect.left + dx, rect.top + dy, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else {
            ::SetWindowPos(hWndControl, nullptr, 0, 0, rect.Width() + dx, rect.Height() + dy,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

void CResizableDialog::OnSize(UINT nType, int cx, int cy) {
    if (m_bLayoutSet) SetRedraw(FALSE);
    if (nType != SIZE_MINIMIZED && m_cyClient != 0) {
        const int dx = cx - m_cxClient;
        const int dy = cy - m_cyClient;
        const int* group = m_nLayout;
        ResizeGroup(group, dx, 0, false);
        group += group[0] + 1;
        ResizeGroup(group, dx, 0, true);
        group += group[0] + 1;
        ResizeGroup(group, 0, dy, false);
        group += group[0] + 1;
        ResizeGroup(group, 0, dy, true);
        m_cyClient = cy;
        m_cxClient = cx;
        InvalidateRect(&m_rcGrip, TRUE);
    }
    Default();
    if (m_bLayoutSet) {
        SetRedraw(TRUE);
        Invalidate(TRUE);
    }
}

void CResizableDialog::OnGetMinMaxInfo(MINMAXINFO* pInfo) {
    if (m_cyClient == 0) {
        Default();
        return;
    }
    pInfo->ptMinTrackSize = POINT{m_rcInitial.Width(), m_rcInitial.Height()};
    if (!m_bResizeX) pInfo->ptMaxTrackSize.x = m_rcInitial.Width();
    if (!m_bResizeY) pInfo->ptMaxTrackSize.y = m_rcInitial.Height();
}

void CResizableDialog::OnPaint() {
    if (IsIconic() && m_hIcon) {
        CPaintDC dc(m_hWnd);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC));
        CRect client;
        GetClientRect(&client);
        const int x = (client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, m_hIcon.Get());
        return;
    }
    Default();
    if (m_bResizeX || m_bResizeY) {
        m_rcGrip = GripRect();
        CClientDC dc(m_hWnd);
        ::DrawFrameControl(dc, &m_rcGrip, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
    }
}

CRect CResizableDialog::GripRect() const {
    CRect grip;
    ::GetClientRect(m_hWnd, &grip);
    const int side = GetSystemMetrics(SM_CYCAPTION);
    grip.left = grip.right - side;
    grip.top = grip.bottom - side;
    return grip;
}

LRESULT CResizableDialog::OnNcHitTest(CPoint point) {
    const LRESULT hit = Default();
    // The painted grip sizes the window as the frame's corner does; a
    // maximised window has no size to drag.
    if (hit != HTCLIENT || !(m_bResizeX || m_bResizeY) || ::IsZoomed(m_hWnd)) return hit;
    ::ScreenToClient(m_hWnd, &point);
    const CRect grip = GripRect();
    return ::PtInRect(&grip, point) ? HTBOTTOMRIGHT : hit;
}

HCURSOR CResizableDialog::OnQueryDragIcon() { return m_hIcon.Get(); }

void CResizableDialog::OnSettingChange(UINT uFlags, LPCSTR) {
    Default();
    if (uFlags == SPI_SETNONCLIENTMETRICS) UpdateControlFont();
}

void CResizableDialog::UpdateControlFont() {
    NONCLIENTMETRICSA metrics{};
    // The size before Vista's extra field, which every version accepts.
    metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
    static_assert(offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth) == 340, "metrics record");
    if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return;
    if (m_font.GetSafeHandle() == nullptr) return;
    // The new font first: if it cannot be made, the controls keep theirs.
    HFONT hFont = ::CreateFontIndirectA(&metrics.lfMessageFont);
    if (hFont == nullptr) return;
    m_font.Attach(hFont);
    for (HWND hWndChild = ::GetWindow(m_hWnd, GW_CHILD); hWndChild != nullptr;
         hWndChild = ::GetWindow(hWndChild, GW_HWNDNEXT)) {
        const BOOL bVisible = ::IsWindowVisible(hWndChild);
        if (bVisible) ::SendMessageA(hWndChild, WM_SETREDRAW, FALSE, 0);
        ::SendMessageA(hWndChild, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
        AdjustEditMargins(hWndChild);
        if (bVisible) {
            ::SendMessageA(hWndChild, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(hWndChild, nullptr, TRUE);
        }
    }
}

void CResizableDialog::AdjustEditMargins(HWND hWndControl) {
    char className[128];
    if (::GetClassNameA(hWndControl, className, sizeof(className)) == 0) return;
    if (lstrcmpiA(className, "ComboBox") == 0) {
        ::SendMessageA(hWndControl, CB_SETEDITSEL, 0, MAKELPARAM(-1, 0));
        hWndControl = ::GetWindow(hWndControl, GW_CHILD);
        if (hWndControl == nullptr ||
            ::GetClassNameA(hWndControl, className, sizeof(className)) == 0) {
            return;
        }
    }
    if (lstrcmpiA(className, "Edit") == 0) {
        ::SendMessageA(hWndControl, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(1, 1));
    }
}

BOOL CResizableDialog::PlacementNames(UINT nIDSection, UINT nIDEntry, std::string& section,
                                      std::string& entry) const {
    if (!LoadResString(AfxGetResourceHandle(), nIDSection, section) ||
        !LoadResString(AfxGetResourceHandle(), nIDEntry, entry))
        return FALSE;
    entry += std::to_string(m_nInstance);
    return TRUE;
}

BOOL CResizableDialog::LoadPlacement(UINT nIDSection, UINT nIDEntry) {
    std::string section, entry;
    if (!PlacementNames(nIDSection, nIDEntry, section, entry)) return FALSE;
    return ReadPlacement(section.c_str(), entry.c_str());
}

BOOL CResizableDialog::SavePlacement(UINT nIDSection, UINT nIDEntry) {
    std::string section, entry;
    if (!PlacementNames(nIDSection, nIDEntry, section, entry)) return FALSE;
    return WritePlacement(section.c_str(), entry.c_str());
}

BOOL CResizableDialog::ReadPlacement(const char* section, const char* entry) {
    CWinApp* app = AfxGetApp();
    const std::string text = app != nullptr ? app->GetProfileString(section, entry) : "";
    WINDOWPLACEMENT placement{};
    if (text.empty() || !GetWindowPlacement(&placement) || !ParsePlacement(text, placement)) {
        CenterWindow();
        return FALSE;
    }
    FitPlacementOnScreen(placement, SIZE{m_rcInitial.Width(), m_rcInitial.Height()});
    return SetWindowPlacement(&placement);
}

BOOL CResizableDialog::WritePlacement(const char* section, const char* entry) {
    WINDOWPLACEMENT placement{};
    if (!GetWindowPlacement(&placement)) return FALSE;
    CWinApp* app = AfxGetApp();
    return app != nullptr &&
           app->WriteProfileString(section, entry, FormatPlacement(placement).c_str());
}
