#include "drag_starter.h"

// After windows.h, which it needs.
#include <ole2.h>

#include "ole_data_source.h"
#include "wnd.h"

RECT DragStartRect(POINT ptScreen) {
    const int distance =
        static_cast<int>(::GetProfileIntA("windows", "DragMinDist", DD_DEFDRAGMINDIST));
    return RECT{ptScreen.x - distance, ptScreen.y - distance, ptScreen.x + distance + 1,
                ptScreen.y + distance + 1};
}

DWORD DragDelay() { return ::GetProfileIntA("windows", "DragDelay", DD_DEFDRAGDELAY); }

namespace {
enum class Wait { kGoOn, kDrag, kNoDrag };

Wait OnMouseOrKey(const MSG& msg, DWORD nButton, const RECT& rcStart) {
    const bool left = nButton == MK_LBUTTON;
    switch (msg.message) {
        case WM_MOUSEMOVE:
            return ::PtInRect(&rcStart, msg.pt) ? Wait::kGoOn : Wait::kDrag;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            return (msg.message == WM_LBUTTONUP) == left ? Wait::kNoDrag : Wait::kGoOn;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            return (msg.message == WM_LBUTTONDOWN) == left ? Wait::kGoOn : Wait::kNoDrag;
        case WM_KEYDOWN:
            return msg.wParam == VK_ESCAPE ? Wait::kNoDrag : Wait::kGoOn;
        default:
            return Wait::kGoOn;
    }
}

Wait Poll(DWORD nButton, const RECT& rcStart, DWORD started, DWORD delay) {
    // The key state also covers a button released without a message.
    if (::GetKeyState(nButton == MK_LBUTTON ? VK_LBUTTON : VK_RBUTTON) >= 0) return Wait::kNoDrag;
    POINT pt;
    if (::GetCursorPos(&pt) && !::PtInRect(&rcStart, pt)) return Wait::kDrag;
    if (::GetTickCount() - started >= delay) return Wait::kDrag;
    return Wait::kGoOn;
}
}  // namespace

BOOL WaitForDragStart(HWND hWnd, const RECT& rcStartScreen, DWORD nButton) {
    const DWORD delay = DragDelay();
    const DWORD started = ::GetTickCount();
    ::SetCapture(hWnd);
    Wait state = Wait::kGoOn;
    while (state == Wait::kGoOn) {
        if (::GetCapture() != hWnd) {
            state = Wait::kNoDrag;
            break;
        }
        MSG msg;
        if (::PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
            ::PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
            state = OnMouseOrKey(msg, nButton, rcStartScreen);
            continue;
        }
        state = Poll(nButton, rcStartScreen, started, delay);
        if (state != Wait::kGoOn) break;
        if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                state = Wait::kNoDrag;
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
            continue;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    if (::GetCapture() == hWnd) ::ReleaseCapture();
    return state == Wait::kDrag ? TRUE : FALSE;
}

DragOutcome RunDragFromPress(CWnd& wnd, MSG press, COleDataSource* pSource,
                             const RECT& rcStartScreen, DWORD dwEffects, HeldPress held,
                             const std::function<void(const DragOutcome&)>& after) {
    DragOutcome outcome;
    if (pSource != nullptr) {
        outcome.bStarted = WaitForDragStart(wnd.m_hWnd, rcStartScreen, MK_LBUTTON) != FALSE;
        if (outcome.bStarted) outcome.effect = pSource->DoDragDrop(dwEffects);
        pSource->Empty();
    }
    const bool pressLeft = (held == HeldPress::kUnlessDragged && !outcome.bStarted) ||
                           (held == HeldPress::kUnlessDropped && outcome.effect == DROPEFFECT_NONE);
    if (pressLeft) wnd.DefWindowProc(WM_LBUTTONDOWN, press.wParam, press.lParam);
    if (after) after(outcome);
    wnd.SendMessage(WM_LBUTTONUP, press.wParam, press.lParam);
    return outcome;
}
