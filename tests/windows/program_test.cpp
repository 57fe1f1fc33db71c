// Kivrel.exe run as programs of their own: the main dialog's placement (its
// text read and fitted on screen; written on Exit under the entry of its copy
// and restored on the next start, with copies running side by side), and a
// real mouse drag (xdotool in the test's display) of found modules out of the
// results list into another program that accepts files.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "resource.h"
#include "test_support.h"
#include "window_placement.h"

namespace kivrel_test {
namespace {

TEST(PlacementText, ReadsExactlyFiveIntegers) {
    WINDOWPLACEMENT placement{};
    placement.flags = 7;
    ASSERT_TRUE(ParsePlacement(" -10\t20  400 300 3 ", placement));
    EXPECT_EQ(CRect(placement.rcNormalPosition), CRect(-10, 20, 400, 300));
    EXPECT_EQ(placement.showCmd, 3u);
    EXPECT_EQ(placement.flags, 7u);
    EXPECT_EQ(FormatPlacement(placement), "-10 20 400 300 3");
    for (const char* bad : {"", "1 2 3 4", "1 2 3 4 5 6", "1 2 3 4 x", "1,2,3,4,5",
                            "1 2 3 4 4294967296", "0x10 2 3 4 5", "99999999999 0 10 10 1"}) {
        WINDOWPLACEMENT unchanged = placement;
        EXPECT_FALSE(ParsePlacement(bad, unchanged)) << bad;
        EXPECT_EQ(CRect(unchanged.rcNormalPosition), CRect(placement.rcNormalPosition)) << bad;
    }
}

TEST(PlacementText, FittingKeepsTheWindowReachableAndAtLeastItsTemplateSize) {
    CRect work, lost(0, 0, 0, 0);  // lost: anywhere inside the work area
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    // clang-format off
    const struct { RECT stored; UINT showCmd; CRect fitted; UINT shown; } cases[] = {
        {{10, 20, 700, 500}, SW_MAX, {10, 20, 700, 500}, SW_MAX},  // kept, as is a known show command
        {{10, 20, 700, 500}, SW_HIDE, {10, 20, 700, 500}, SW_SHOWNORMAL},  // hidden or unknown:
        {{10, 20, 700, 500}, SW_MAX + 1, {10, 20, 700, 500}, SW_SHOWNORMAL},  // shown normally
        {{50, 60, 55, 65}, SW_SHOWNORMAL, {50, 60, 350, 260}, SW_SHOWNORMAL},  // grown in place
        {{-30000, -30000, -29400, -29600}, SW_SHOWNORMAL, lost, SW_SHOWNORMAL},  // off every monitor
        {{INT_MAX - 10, INT_MAX - 10, INT_MIN, INT_MIN}, SW_SHOWNORMAL, lost, SW_SHOWNORMAL},
        {{0, 0, 100000, 100000}, SW_SHOWNORMAL, {0, 0, work.Width(), work.Height()}, SW_SHOWNORMAL},  // cut
    };
    // clang-format on
    for (const auto& c : cases) {
        WINDOWPLACEMENT placement{};
        placement.rcNormalPosition = c.stored;
        placement.showCmd = c.showCmd;
        FitPlacementOnScreen(placement, SIZE{300, 200});
        const CRect rect(placement.rcNormalPosition);
        EXPECT_EQ(placement.showCmd, c.shown) << c.stored.left << "," << c.stored.top;
        if (c.fitted != lost) {
            EXPECT_EQ(rect, c.fitted) << c.stored.left << "," << c.stored.top;
            continue;
        }
        CRect inside;
        EXPECT_TRUE(::IntersectRect(&inside, &rect, &work) && inside == rect) << c.stored.left;
        EXPECT_GE(rect.Width(), 300);
        EXPECT_GE(rect.Height(), 200);
    }
}

// Moved to x, y (unless negative); the placement `window` then has.
std::string PlacementOf(HWND window, int x = -1, int y = -1) {
    if (x >= 0) ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    ::GetWindowPlacement(window, &placement);
    return FormatPlacement(placement);
}

// A copy holds its number while it runs: a third copy, started after the
// first has ended, takes the first's number and place, not the second's. The
// tips switched off stay off.
TEST(Program, ANewCopyTakesTheLowestNumberNoRunningCopyHolds) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmarin\\Kivrel");
    const DWORD off = 0;
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kProgramSectionPath, "Help", REG_DWORD, &off, sizeof(off));
    auto first = std::make_unique<CTestProgram>(KivrelProgram(), "");
    CTestProgram second(KivrelProgram(), "");
    ASSERT_TRUE(first->m_hWnd != nullptr && second.m_hWnd != nullptr);
    const std::string firstPlacement = PlacementOf(first->m_hWnd, 20, 30);
    const std::string secondPlacement = PlacementOf(second.m_hWnd, 300, 200);
    ASSERT_NE(firstPlacement, secondPlacement);
    EXPECT_EQ(first->Exit(), 0);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window1"), firstPlacement);
    DWORD help = 1, size = sizeof(help);
    ::RegGetValueA(HKEY_CURRENT_USER, kProgramSectionPath, "Help", RRF_RT_REG_DWORD, nullptr, &help,
                   &size);
    EXPECT_EQ(help, 0u);
    first.reset();

    CTestProgram third(KivrelProgram(), "");
    ASSERT_NE(third.m_hWnd, nullptr);
    EXPECT_EQ(PlacementOf(third.m_hWnd), firstPlacement);
    const std::string thirdPlacement = PlacementOf(third.m_hWnd, 150, 100);
    EXPECT_EQ(second.Exit(), 0);
    EXPECT_EQ(third.Exit(), 0);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window1"), thirdPlacement);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window2"), secondPlacement);
    EXPECT_EQ(ReadRegistryString(kProgramSectionPath, "Window3"), std::nullopt);
}

HWND CaptureOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndCapture;
}

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
    const POINT from = ToScreen(list, LineCentre(list, pressed));
    ASSERT_TRUE(MovePointer(from));
    ASSERT_TRUE(Xdotool("mousedown 1"));
    EXPECT_TRUE(PumpUntil([&] { return CaptureOf(list) != nullptr; }, 30));
    // The display may put the pointer back: moved again until the target
    // sees the drag.
    const HWND text = ::GetWindow(target.m_hWnd, GW_CHILD);
    for (int attempt = 0; attempt < 5 && WindowText(text) != "files over"; ++attempt) {
        const POINT to = CentreOf(target.m_hWnd);
        Xdotool("mousemove " + std::to_string(to.x + attempt * 3) + " " + std::to_string(to.y));
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
