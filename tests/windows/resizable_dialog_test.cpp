// The resizable dialog: its layout table's limit, and the size grip, which
// answers the hit test as the frame's bottom-right corner so that a real drag
// on it with the mouse (xdotool in the test's X display) makes the window larger.
#include <gtest/gtest.h>

#include <algorithm>

#include "kivrel_dlg.h"
#include "resource.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

LRESULT HitTest(HWND dialog, POINT screen) {
    return ::SendMessageA(dialog, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
}

// Screen point `inset` pixels up and left of the client area's bottom-right corner.
POINT FromCorner(HWND dialog, int inset) {
    CRect client;
    ::GetClientRect(dialog, &client);
    POINT point{client.right - inset, client.bottom - inset};
    ::ClientToScreen(dialog, &point);
    return point;
}

// The main template with the results list widened N times over.
template <size_t N>
class CWidenedDialog : public CResizableDialog {
public:
    CWidenedDialog() : CResizableDialog(IDD_KIVREL_DIALOG, 0, 1) {
        std::fill(std::begin(m_ids), std::end(m_ids), IDC_RESULTS);
    }
    BOOL OnInitDialog() override {
        const BOOL result = CResizableDialog::OnInitDialog();
        m_bAccepted = SetControlLayout(m_ids, {}, {}, {});
        return result;
    }
    int m_ids[N];
    BOOL m_bAccepted = FALSE;
};

// Widens the dialog by one pixel; returns how much wider the results list got.
int ListGrowthForOnePixel(HWND dialog) {
    const int before = ChildRect(::GetDlgItem(dialog, IDC_RESULTS)).Width();
    const CRect window = WindowRect(dialog);
    ::SetWindowPos(dialog, nullptr, 0, 0, window.Width() + 1, window.Height(),
                   SWP_NOMOVE | SWP_NOZORDER);
    return ChildRect(::GetDlgItem(dialog, IDC_RESULTS)).Width() - before;
}

TEST(ResizableDialog, LayoutTableHoldsAtMost123Ids) {
    CWidenedDialog<123> fits;
    RunDialog(fits, [&](HWND hWnd) {
        EXPECT_TRUE(fits.m_bAccepted);
        EXPECT_EQ(ListGrowthForOnePixel(hWnd), 123);
    });
    CWidenedDialog<124> tooMany;
    RunDialog(tooMany, [&](HWND hWnd) {
        EXPECT_FALSE(tooMany.m_bAccepted);
        EXPECT_EQ(ListGrowthForOnePixel(hWnd), 0);
    });
}

TEST(SizeGrip, AnswersTheHitTestAsTheBottomRightCorner) {
    AfxGetApp()->m_strCmdLine.clear();
    CKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        const struct {
            int inset;
            LRESULT hit;
        } cases[] = {{2, HTBOTTOMRIGHT},
                     {8, HTBOTTOMRIGHT},
                     {::GetSystemMetrics(SM_CYCAPTION) + 2, HTCLIENT}};
        for (const auto& c : cases)
            EXPECT_EQ(HitTest(hWnd, FromCorner(hWnd, c.inset)), c.hit) << c.inset;
        // Maximised, the window has no size to drag.
        ::ShowWindow(hWnd, SW_MAXIMIZE);
        PumpMessages(100);
        ASSERT_TRUE(::IsZoomed(hWnd));
        EXPECT_EQ(HitTest(hWnd, FromCorner(hWnd, 4)), HTCLIENT);
        ::ShowWindow(hWnd, SW_RESTORE);
        PumpMessages(100);
        EXPECT_EQ(HitTest(hWnd, FromCorner(hWnd, 4)), HTBOTTOMRIGHT);
    });
    // A dialog without a layout cannot be resized and has no grip.
    CResizableDialog fixed(IDD_KIVREL_DIALOG, 0, 1);
    RunDialog(fixed, [&](HWND hWnd) { EXPECT_EQ(HitTest(hWnd, FromCorner(hWnd, 4)), HTCLIENT); });
}

TEST(SizeGrip, DraggingItWithTheMouseGrowsTheWindow) {
    AfxGetApp()->m_strCmdLine.clear();
    CKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        ::SetWindowPos(hWnd, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
        ::SetForegroundWindow(hWnd);
        PumpMessages(200);
        const CRect before = WindowRect(hWnd);
        const POINT grip = FromCorner(hWnd, 5);
        // What a real pointer over the grip meets: the dialog itself, no control.
        EXPECT_EQ(::WindowFromPoint(grip), hWnd);
        const std::string from = std::to_string(grip.x) + " " + std::to_string(grip.y);
        const std::string to = std::to_string(grip.x + 60) + " " + std::to_string(grip.y + 40);
        ASSERT_TRUE(StartHostProgram("/usr/bin/xdotool mousemove " + from +
                                     " sleep 0.3 mousedown 1 sleep 0.3 mousemove " + to +
                                     " sleep 0.3 mouseup 1"));
        PumpUntil([&] { return WindowRect(hWnd).Width() > before.Width() && !::GetCapture(); });
        PumpMessages(200);
        const CRect after = WindowRect(hWnd);
        EXPECT_EQ(after.left, before.left);
        EXPECT_EQ(after.top, before.top);
        EXPECT_EQ(after.Width(), before.Width() + 60);
        EXPECT_EQ(after.Height(), before.Height() + 40);
    });
}

}  // namespace
}  // namespace kivrel_test
