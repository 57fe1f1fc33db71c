// A real mouse drag (xdotool in the test's X display) of found modules out of
// Kivrel.exe's results list into another program that accepts files.
#include <gtest/gtest.h>
#include <windows.h>

#include "drag_test_support.h"
#include "resource.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

HWND CaptureOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndCapture;
}

bool Xdotool(const std::string& actions) { return StartHostProgram("/usr/bin/xdotool " + actions); }

std::string At(POINT point) { return std::to_string(point.x) + " " + std::to_string(point.y); }

TEST(CrossProcessDrag, SelectedFoundModulesArriveInAnotherProgramAsCopiedFiles) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmarin\\Kivrel");
    CTestProgram kivrel(KivrelProgram(), "\"" + FixtureProgram() + "\"");
    CTestProgram target(KIVREL_DROP_TARGET_HOST, "", "KivrelDropTargetHost");
    ASSERT_TRUE(kivrel.m_hWnd != nullptr && target.m_hWnd != nullptr);
    const CRect dialog = WindowRect(kivrel.m_hWnd);
    ::SetWindowPos(target.m_hWnd, HWND_TOP, dialog.right + 10, dialog.top, 0, 0, SWP_NOSIZE);
    const HWND list = ::GetDlgItem(kivrel.m_hWnd, IDC_RESULTS);
    const auto count = [&] { return size_t(::SendMessageA(list, LB_GETCOUNT, 0, 0)); };
    const std::vector<Line> lines = CoreReport(FixtureProgram());
    ASSERT_TRUE(PumpUntil([&] { return count() == lines.size(); }, 30));

    // Every other found module and a heading, which a file list leaves out;
    // the press lands on the last selected module. The target asks for a
    // move, as a file manager does, and gets a copy: nothing else is allowed.
    std::string expected = "Dropped as copy (allowed: copy):\n";
    int pressed = -1;
    ::SendMessageA(list, LB_SETSEL, FALSE, -1);
    ::SendMessageA(list, LB_SETSEL, TRUE, 0);
    for (int i = 0, found = 0; i < static_cast<int>(lines.size()); ++i) {
        if (lines[i].value == 0 || found++ % 2 != 0) continue;
        ::SendMessageA(list, LB_SETSEL, TRUE, i);
        expected += lines[i].text + "\n";
        pressed = i;
    }
    ASSERT_GE(pressed, 2);
    ::SendMessageA(list, LB_SETCARETINDEX, pressed, FALSE);
    POINT from = LineCentre(list, pressed);
    ::ClientToScreen(list, &from);
    ASSERT_TRUE(Xdotool("mousemove " + At(from)));
    ASSERT_TRUE(PumpUntil([&] {
        POINT now{};
        return ::GetCursorPos(&now) && now.x == from.x && now.y == from.y;
    }));
    ASSERT_TRUE(Xdotool("mousedown 1"));
    EXPECT_TRUE(PumpUntil([&] { return CaptureOf(list) != nullptr; }, 30));
    // The display may put the pointer back: moved again until the target
    // sees the drag.
    const HWND text = ::GetWindow(target.m_hWnd, GW_CHILD);
    for (int attempt = 0; attempt < 5 && WindowText(text) != "files over"; ++attempt) {
        const POINT to = CentreOf(target.m_hWnd);
        Xdotool("mousemove " + At(POINT{to.x + attempt * 3, to.y}));
        PumpUntil([&] { return WindowText(text) == "files over"; }, 5);
    }
    EXPECT_EQ(WindowText(text), "files over");
    Xdotool("mouseup 1");
    EXPECT_TRUE(PumpUntil([&] { return WindowText(text).rfind("Dropped", 0) == 0; }, 30));
    EXPECT_EQ(WindowText(text), expected);
    // The source kept every line and its selection.
    EXPECT_TRUE(PumpUntil([&] { return CaptureOf(list) == nullptr; }, 30));
    EXPECT_EQ(count(), lines.size());
    EXPECT_GT(::SendMessageA(list, LB_GETSEL, pressed, 0), 0);
}

}  // namespace
}  // namespace kivrel_test
