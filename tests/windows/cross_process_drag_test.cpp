// A real mouse drag (xdotool in the test's X display) of found modules out of
// Kivrel.exe's results list into another program that accepts files.
#include <gtest/gtest.h>
#include <windows.h>

#include "drag_test_support.h"
#include "handle.h"
#include "resource.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

// Waits for a state of other processes.
bool WaitFor(const std::function<bool()>& done, int seconds = 30) {
    for (int wait = 0; wait < seconds * 20 && !done(); ++wait) PumpMessages(50);
    return done();
}

// A program started for the test, its visible window of `className` found,
// and ended with the test.
class CProgram {
public:
    CProgram(const std::string& path, const std::string& arguments, const char* className) {
        std::string commandLine = "\"" + path + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info))
            return;
        m_process.Reset(info.hProcess);
        const CKernelHandle thread(info.hThread);
        WaitFor([&] {
            m_hWnd = nullptr;
            while ((m_hWnd = ::FindWindowExA(nullptr, m_hWnd, className, nullptr)) != nullptr) {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(m_hWnd, &owner);
                if (owner == info.dwProcessId && ::IsWindowVisible(m_hWnd)) return true;
            }
            return false;
        });
    }
    ~CProgram() {
        if (!m_process) return;
        ::TerminateProcess(m_process.Get(), 99);
        ::WaitForSingleObject(m_process.Get(), 10000);
    }
    CKernelHandle m_process;
    HWND m_hWnd = nullptr;
};

HWND CaptureOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndCapture;
}

bool Xdotool(const std::string& actions) { return StartHostProgram("/usr/bin/xdotool " + actions); }

std::string At(POINT point) { return std::to_string(point.x) + " " + std::to_string(point.y); }

TEST(CrossProcessDrag, SelectedFoundModulesArriveInAnotherProgramAsCopiedFiles) {
    DeleteRegistryTree("Software\\Velmarin\\Kivrel");
    CProgram kivrel(KivrelProgram(), "\"" + FixtureProgram() + "\"", "#32770");
    CProgram target(KIVREL_DROP_TARGET_HOST, "", "KivrelDropTargetHost");
    ASSERT_TRUE(kivrel.m_hWnd != nullptr && target.m_hWnd != nullptr);
    const CRect dialog = WindowRect(kivrel.m_hWnd);
    ::SetWindowPos(target.m_hWnd, HWND_TOP, dialog.right + 10, dialog.top, 0, 0, SWP_NOSIZE);
    const HWND list = ::GetDlgItem(kivrel.m_hWnd, IDC_RESULTS);
    const std::vector<Line> lines = CoreReport(FixtureProgram());
    ASSERT_TRUE(WaitFor([&] { return LineShapes(list) == LineShapes(lines); }));

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
    ASSERT_TRUE(Xdotool("mousemove " + At(from) + " sleep 0.2 mousedown 1"));
    EXPECT_TRUE(WaitFor([&] { return CaptureOf(list) != nullptr; }));
    // The display may put the pointer back: moved again until the target
    // sees the drag.
    const HWND text = ::GetWindow(target.m_hWnd, GW_CHILD);
    for (int attempt = 0; attempt < 5 && WindowText(text) != "files over"; ++attempt) {
        const POINT to = CentreOf(target.m_hWnd);
        Xdotool("mousemove " + At(POINT{to.x + attempt * 3, to.y}));
        WaitFor([&] { return WindowText(text) == "files over"; }, 5);
    }
    EXPECT_EQ(WindowText(text), "files over");
    Xdotool("mouseup 1");
    EXPECT_TRUE(WaitFor([&] { return WindowText(text).rfind("Dropped", 0) == 0; }));
    EXPECT_EQ(WindowText(text), expected);
    // The source kept every line and its selection.
    EXPECT_TRUE(WaitFor([&] { return CaptureOf(list) == nullptr; }));
    EXPECT_EQ(LineShapes(list), LineShapes(lines));
    EXPECT_GT(::SendMessageA(list, LB_GETSEL, pressed, 0), 0);
}

}  // namespace
}  // namespace kivrel_test
