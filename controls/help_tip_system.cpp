#include "help_tip_system.h"

#include "gdi.h"
#include "handle.h"

namespace {

class CNativeHelpTipSystem : public IHelpTipSystem {
public:
    BOOL GetCursorPos(POINT* point) override { return ::GetCursorPos(point); }
    HWND WindowFromPoint(POINT point) override { return ::WindowFromPoint(point); }
    HWND GetForegroundWindow() override { return ::GetForegroundWindow(); }
    BOOL GetWorkArea(POINT point, RECT* area) override {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        if (!::GetMonitorInfoA(::MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &info)) {
            return FALSE;
        }
        *area = info.rcWork;
        return TRUE;
    }
    int GetCursorHeight() override { return ::GetSystemMetrics(SM_CYCURSOR); }
    BOOL IsMousePresent() override { return ::GetSystemMetrics(SM_MOUSEPRESENT) != 0; }
    BOOL CaptureScreen(const RECT& area, std::vector<uint32_t>& pixels) override;
};

BOOL CNativeHelpTipSystem::CaptureScreen(const RECT& area, std::vector<uint32_t>& pixels) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return FALSE;
    // The screen itself, not a window: what the user sees beneath the tip,
    // whoever painted it.
    CClientDC screen(nullptr);
    if (screen.m_hDC == nullptr) return FALSE;
    CMemoryDCHandle memory(::CreateCompatibleDC(screen));
    if (!memory) return FALSE;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    CBitmapHandle bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) return FALSE;
    {
        CSelectObject select(memory.Get(), bitmap.Get());
        if (!::BitBlt(memory.Get(), 0, 0, width, height, screen, area.left, area.top, SRCCOPY)) {
            return FALSE;
        }
        ::GdiFlush();
    }
    const uint32_t* first = static_cast<const uint32_t*>(bits);
    pixels.assign(first, first + static_cast<size_t>(width) * static_cast<size_t>(height));
    for (uint32_t& pixel : pixels) pixel &= 0x00FFFFFFu;
    return TRUE;
}

}  // namespace

std::unique_ptr<IHelpTipSystem> CreateNativeHelpTipSystem() {
    return std::make_unique<CNativeHelpTipSystem>();
}
