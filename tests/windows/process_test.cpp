// Kivrel.exe itself, started as its own process: the command-line scan, Esc
// writing the placement, copies running side by side, and bad command lines.
#include <gtest/gtest.h>

#include <memory>

#include "resource.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

class KivrelProcess {
public:
    explicit KivrelProcess(const std::string& arguments) {
        std::string commandLine = "\"" + KivrelProgram() + "\"";
        if (!arguments.empty()) commandLine += " " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        if (!::CreateProcessA(KivrelProgram().c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                              0, nullptr, nullptr, &startup, &m_info)) {
            return;
        }
        ::WaitForInputIdle(m_info.hProcess, 10000);
        for (int tries = 0; tries < 200 && m_window == nullptr; ++tries) {
            ::EnumWindows(&FindWindowOf, reinterpret_cast<LPARAM>(this));
            if (m_window == nullptr) ::Sleep(50);
        }
    }
    ~KivrelProcess() {
        if (m_info.hProcess == nullptr) return;
        if (::WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(m_info.hProcess, 99);
        }
        ::CloseHandle(m_info.hProcess);
        ::CloseHandle(m_info.hThread);
    }

    HWND Window() const { return m_window; }
    HWND Item(int id) const { return ::GetDlgItem(m_window, id); }

    // Waits until the results list holds lines (the scan has run).
    std::vector<std::pair<int, uint32_t>> WaitForResults() const {
        for (int tries = 0; tries < 200; ++tries) {
            if (::SendMessageA(Item(IDC_RESULTS), LB_GETCOUNT, 0, 0) > 0) break;
            ::Sleep(50);
        }
        return LineShapes(Item(IDC_RESULTS));
    }

    // Presses Esc in the dialog and returns the exit code, or -1 when the
    // program did not end.
    int PressEscape() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        ::GetGUIThreadInfo(m_info.dwThreadId, &info);
        HWND target = info.hwndFocus != nullptr ? info.hwndFocus : m_window;
        ::PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        ::PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        if (::WaitForSingleObject(m_info.hProcess, 10000) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(m_info.hProcess, &code);
        return static_cast<int>(code);
    }

private:
    static BOOL CALLBACK FindWindowOf(HWND hWnd, LPARAM lParam) {
        auto* self = reinterpret_cast<KivrelProcess*>(lParam);
        DWORD processId = 0;
        ::GetWindowThreadProcessId(hWnd, &processId);
        char className[16] = "";
        ::GetClassNameA(hWnd, className, sizeof(className));
        if (processId == self->m_info.dwProcessId && ::IsWindowVisible(hWnd) &&
            lstrcmpA(className, "#32770") == 0) {
            self->m_window = hWnd;
            return FALSE;
        }
        return TRUE;
    }

    PROCESS_INFORMATION m_info{};
    HWND m_window = nullptr;
};

std::string PlacementOf(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    ::GetWindowPlacement(window, &placement);
    const RECT& rc = placement.rcNormalPosition;
    return std::to_string(rc.left) + " " + std::to_string(rc.top) + " " + std::to_string(rc.right) +
           " " + std::to_string(rc.bottom) + " " + std::to_string(placement.showCmd);
}

class Program : public testing::Test {
protected:
    void SetUp() override { DeleteRegistryTree("Software\\Velmarin\\Kivrel"); }
};

TEST_F(Program, ShowsTheScanOfItsCommandLineAndEscapeSavesThePlacement) {
    KivrelProcess kivrel("\"" + FixtureProgram() + "\"");
    ASSERT_NE(kivrel.Window(), nullptr);
    EXPECT_EQ(WindowText(kivrel.Window()), "Kivrel");
    const std::vector<Line> expected = CoreReport(FixtureProgram());
    ASSERT_GE(expected.size(), 5u);
    EXPECT_EQ(kivrel.WaitForResults(), LineShapes(expected));
    EXPECT_EQ(WindowText(kivrel.Item(IDC_MODULE)), FixtureProgram());

    const std::string placement = PlacementOf(kivrel.Window());
    EXPECT_EQ(kivrel.PressEscape(), 0);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window1"), placement);
    EXPECT_EQ(ReadRegistryDword(kProgramSectionPath, "Help"), 1u);
}

TEST_F(Program, TwoCopiesKeepTheirPlacementsApart) {
    KivrelProcess first("");
    ASSERT_NE(first.Window(), nullptr);
    KivrelProcess second("");
    ASSERT_NE(second.Window(), nullptr);
    ::SetWindowPos(first.Window(), nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(second.Window(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const std::string firstPlacement = PlacementOf(first.Window());
    const std::string secondPlacement = PlacementOf(second.Window());
    ASSERT_NE(firstPlacement, secondPlacement);

    EXPECT_EQ(second.PressEscape(), 0);
    EXPECT_EQ(first.PressEscape(), 0);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window1"), firstPlacement);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window2"), secondPlacement);

    // Alone again, the program is the first copy and comes back where it was.
    KivrelProcess again("");
    ASSERT_NE(again.Window(), nullptr);
    EXPECT_EQ(PlacementOf(again.Window()), firstPlacement);
    EXPECT_EQ(again.PressEscape(), 0);
}

// A copy holds its number while it runs: a third copy, started after the
// first has ended, takes the first's number and place, not the second's.
TEST_F(Program, ANewCopyTakesTheLowestNumberNoRunningCopyHolds) {
    auto first = std::make_unique<KivrelProcess>("");
    ASSERT_NE(first->Window(), nullptr);
    KivrelProcess second("");
    ASSERT_NE(second.Window(), nullptr);
    ::SetWindowPos(first->Window(), nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(second.Window(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const std::string firstPlacement = PlacementOf(first->Window());
    const std::string secondPlacement = PlacementOf(second.Window());
    EXPECT_EQ(first->PressEscape(), 0);
    first.reset();

    KivrelProcess third("");
    ASSERT_NE(third.Window(), nullptr);
    EXPECT_EQ(PlacementOf(third.Window()), firstPlacement);
    ::SetWindowPos(third.Window(), nullptr, 150, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const std::string thirdPlacement = PlacementOf(third.Window());
    EXPECT_EQ(second.PressEscape(), 0);
    EXPECT_EQ(third.PressEscape(), 0);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window1"), thirdPlacement);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window2"), secondPlacement);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window3"), std::nullopt);
}

TEST_F(Program, BadCommandLinesStillOpenTheDialog) {
    const std::string cases[] = {
        "\"C:\\" + std::string(300, 'x') + ".dll\"",
        "C:\\" + std::string(300, 'x') + "\\" + std::string(300, 'y'),
        "\"" + FixtureDirectory() + "\"",
        FixtureDirectory() + "\\no such module.dll",
        "\"\"",
        "\"unterminated",
    };
    for (const std::string& arguments : cases) {
        SCOPED_TRACE(arguments.substr(0, 60));
        KivrelProcess kivrel(arguments);
        ASSERT_NE(kivrel.Window(), nullptr);
        EXPECT_TRUE(::IsWindowVisible(kivrel.Window()));
        EXPECT_EQ(kivrel.PressEscape(), 0);
    }
}

}  // namespace
}  // namespace kivrel_test
