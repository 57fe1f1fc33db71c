// The resizable dialog: its layout groups after resizing, its size limits and
// its size grip.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "kivrel_dlg.h"
#include "resource.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

class SizeGrip : public DialogTest {};

std::map<int, CRect> ControlRects(HWND dialog) {
    std::map<int, CRect> rects;
    int label = 0;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        CRect rect = WindowRect(child);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        // The two labels share id -1; told apart by order.
        rects[id == 0xFFFF || id == -1 ? -1 - label++ : id] = rect;
    }
    return rects;
}

void Resize(HWND dialog, int cx, int cy) {
    ::SetWindowPos(dialog, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER);
}

TEST_F(SizeGrip, ResizingMovesExactlyTheLayoutGroupsAndTheGripAnswersAsTheCorner) {
    CKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        const std::map<int, CRect> before = ControlRects(dialog);
        ASSERT_EQ(before.size(), 12u);
        const CRect window = WindowRect(dialog);
        Resize(dialog, window.Width() + 50, window.Height() + 30);
        const std::map<int, CRect> after = ControlRects(dialog);
        // {dx of left, dx of right, dy of top, dy of bottom}; others do not move.
        // clang-format off
        const std::map<int, std::array<LONG, 4>> change = {
            {IDC_MODULE, {0, 50, 0, 0}}, {IDC_INITIAL_DIR, {0, 50, 0, 0}}, {IDC_RESULTS, {0, 50, 0, 30}},
            {IDC_FIND_MODULE, {50, 50, 0, 0}}, {IDC_FIND_INITIAL_DIR, {50, 50, 0, 0}}, {IDOK, {50, 50, 0, 0}},
            {IDCANCEL, {50, 50, 0, 0}}, {IDC_OPTIONS, {50, 50, 30, 30}},
        };
        // clang-format on
        for (const auto& [id, rect] : before) {
            const CRect& moved = after.at(id);
            const std::array<LONG, 4> d = {moved.left - rect.left, moved.right - rect.right,
                                           moved.top - rect.top, moved.bottom - rect.bottom};
            EXPECT_EQ(d, change.count(id) ? change.at(id) : decltype(d){}) << id;
        }
        // Changes add up; a minimise and restore moves nothing; it never shrinks.
        Resize(dialog, window.Width() + 20, window.Height() + 10);
        const std::map<int, CRect> smaller = ControlRects(dialog);
        EXPECT_EQ(smaller.at(IDC_RESULTS).Width(), before.at(IDC_RESULTS).Width() + 20);
        EXPECT_EQ(smaller.at(IDC_OPTIONS).top, before.at(IDC_OPTIONS).top + 10);
        ::ShowWindow(dialog, SW_MINIMIZE);
        PumpMessages(50);
        ::ShowWindow(dialog, SW_RESTORE);
        PumpMessages(50);
        EXPECT_EQ(ControlRects(dialog), smaller);
        Resize(dialog, window.Width() - 40, window.Height() - 25);
        EXPECT_EQ(WindowRect(dialog), window);
        // The grip in the client area's corner answers as the window's corner,
        // unless maximised.
        for (const bool zoomed : {false, true}) {
            ::ShowWindow(dialog, zoomed ? SW_MAXIMIZE : SW_RESTORE);
            PumpMessages(100);
            CRect client;
            ::GetClientRect(dialog, &client);
            POINT corner{client.right - 4, client.bottom - 4};
            ::ClientToScreen(dialog, &corner);
            EXPECT_EQ(::SendMessageA(dialog, WM_NCHITTEST, 0, MAKELPARAM(corner.x, corner.y)),
                      zoomed ? HTCLIENT : HTBOTTOMRIGHT);
        }
    });
}

}  // namespace
}  // namespace kivrel_test
