// The main dialog's placement: its text read and fitted on screen; written on
// Exit under the entry of its copy and restored on the next start, with copies
// of Kivrel.exe running side by side.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

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
    const struct {
        RECT stored;
        UINT showCmd;
        CRect fitted;
        UINT shown;
    } cases[] = {
        // Reachable and large enough: kept as it was, as is any known show command.
        {{10, 20, 700, 500}, SW_MAX, {10, 20, 700, 500}, SW_MAX},
        // Hidden or unknown show commands show the window normally.
        {{10, 20, 700, 500}, SW_HIDE, {10, 20, 700, 500}, SW_SHOWNORMAL},
        {{10, 20, 700, 500}, SW_MAX + 1, {10, 20, 700, 500}, SW_SHOWNORMAL},
        // Too small: grown to the template size in place.
        {{50, 60, 55, 65}, SW_SHOWNORMAL, {50, 60, 350, 260}, SW_SHOWNORMAL},
        // Off every monitor: moved inside.
        {{-30000, -30000, -29400, -29600}, SW_SHOWNORMAL, lost, SW_SHOWNORMAL},
        {{INT_MAX - 10, INT_MAX - 10, INT_MIN, INT_MIN}, SW_SHOWNORMAL, lost, SW_SHOWNORMAL},
        // Bigger than the work area: cut to it.
        {{0, 0, 100000, 100000}, SW_SHOWNORMAL, {0, 0, work.Width(), work.Height()}, SW_SHOWNORMAL},
    };
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

}  // namespace
}  // namespace kivrel_test
