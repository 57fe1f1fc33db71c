// The main dialog's placement in the settings: written on Exit under the
// entry of this copy, restored on the next start, and harmless whatever the
// stored text holds.
#include <aclapi.h>
#include <gtest/gtest.h>

#include <climits>

#include "kivrel_dlg.h"
#include "resource.h"
#include "test_support.h"
#include "win_app.h"
#include "window_placement.h"

namespace kivrel_test {
namespace {

class Placement : public testing::Test {
protected:
    void SetUp() override {
        AfxGetApp()->m_strCmdLine.clear();
        DeleteRegistryTree(kTestSectionPath);
    }
    void TearDown() override { DeleteRegistryTree(kTestSectionPath); }

    // Runs the dialog and leaves it by Exit, as the user would.
    void RunAndExit(const std::function<void(HWND)>& body) {
        CKivrelDlg dialog;
        const INT_PTR result = RunDialog(dialog, [&](HWND hWnd) {
            body(hWnd);
            ::SendMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(result, IDCANCEL);
    }
};

// The window can be reached: its caption lies on the monitor and it is not
// smaller than the template.
void ExpectUsableOnScreen(HWND dialog, SIZE minSize) {
    EXPECT_TRUE(::IsWindowVisible(dialog));
    const CRect window = WindowRect(dialog);
    EXPECT_GE(window.Width(), minSize.cx);
    EXPECT_GE(window.Height(), minSize.cy);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoA(::MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT caption{window.left, window.top, window.right, window.top + 20};
    RECT visible{};
    EXPECT_TRUE(::IntersectRect(&visible, &caption, &monitor.rcMonitor))
        << window.left << "," << window.top << " " << window.Width() << "x" << window.Height();
}

SIZE TemplateWindowSize() {
    SIZE size{};
    CKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        const CRect rect = WindowRect(hWnd);
        size = SIZE{rect.Width(), rect.Height()};
    });
    return size;
}

TEST_F(Placement, FirstStartIsCentredAtTemplateSize) {
    CKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        const CRect window = WindowRect(hWnd);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        ::GetMonitorInfoA(::MonitorFromWindow(hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
        const CRect work(monitor.rcWork);
        EXPECT_LE(std::abs((window.left + window.right) - (work.left + work.right)), 2);
        EXPECT_LE(std::abs((window.top + window.bottom) - (work.top + work.bottom)), 2);
        RECT client;
        ::GetClientRect(hWnd, &client);
        RECT units{0, 0, 253, 149};
        ::MapDialogRect(hWnd, &units);
        EXPECT_EQ(client.right, units.right);
        EXPECT_EQ(client.bottom, units.bottom);
    });
}

TEST_F(Placement, ExitWritesThisCopysEntryAndTheNextStartRestoresIt) {
    CRect moved;
    int listWidth = 0;
    RunAndExit([&](HWND dialog) {
        const CRect window = WindowRect(dialog);
        listWidth = ChildRect(::GetDlgItem(dialog, IDC_RESULTS)).Width();
        ::SetWindowPos(dialog, nullptr, 40, 50, window.Width() + 60, window.Height() + 40,
                       SWP_NOZORDER);
        moved = WindowRect(dialog);
    });
    // The dialog has gone and released its number: the next takes 1 again.
    CKernelHandle slot;
    EXPECT_EQ(CResizableDialog::TakeInstanceSlot(slot), 1);
    slot.Reset();
    const std::string expected = std::to_string(moved.left) + " " + std::to_string(moved.top) +
                                 " " + std::to_string(moved.right) + " " +
                                 std::to_string(moved.bottom) + " 1";
    EXPECT_EQ(ReadRegistryString(kTestSectionPath, "Window1"), expected);
    EXPECT_EQ(ReadRegistryString(kTestSectionPath, "Window0"), std::nullopt);
    EXPECT_EQ(ReadRegistryDword(kTestSectionPath, "Help"), 1u);

    CKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hWnd) {
        EXPECT_EQ(WindowRect(hWnd), moved);
        // The restored size laid the controls out again.
        EXPECT_EQ(ChildRect(::GetDlgItem(hWnd, IDC_RESULTS)).Width(), listWidth + 60);
    });
}

// Looks at the dialog as its start-up leaves it, before the modal loop runs.
class CInitObserver : public CKivrelDlg {
public:
    BOOL OnInitDialog() override {
        const BOOL result = CKivrelDlg::OnInitDialog();
        zoomed = ::IsZoomed(m_hWnd);
        placement.length = sizeof(placement);
        ::GetWindowPlacement(m_hWnd, &placement);
        return result;
    }
    BOOL zoomed = FALSE;
    WINDOWPLACEMENT placement{};
};

TEST_F(Placement, AMaximisedDialogComesBackMaximisedOverItsNormalRectangle) {
    WriteRegistryString(kTestSectionPath, "Window1", "10 20 700 500 3");
    CInitObserver dialog;
    const INT_PTR result = RunDialog(dialog, [&](HWND hWnd) {
        // Wine difference: Wine's modal dialog loop shows the dialog with
        // SW_SHOWNORMAL when its queue first goes empty, which undoes the
        // maximised state that start-up restored. Windows leaves a visible
        // dialog as it is.
        if (!::IsZoomed(hWnd)) ::ShowWindow(hWnd, SW_SHOWMAXIMIZED);
        ::SendMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(dialog.zoomed);
    EXPECT_EQ(CRect(dialog.placement.rcNormalPosition), CRect(10, 20, 700, 500));
    EXPECT_EQ(dialog.placement.showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
    EXPECT_EQ(ReadRegistryString(kTestSectionPath, "Window1"), "10 20 700 500 3");
}

TEST_F(Placement, AnyStoredTextStillOpensTheDialogOnScreen) {
    const SIZE minSize = TemplateWindowSize();
    const char* texts[] = {
        "garbage",
        "1 2 3",
        "1 2 3 4 5 6",
        "10 20 700 500 3x",
        "10 20 700 500 0",                // hidden
        "10 20 700 500 99",               // no such show command
        "0 0 5 5 1",                      // smaller than the template
        "-30000 -30000 -29400 -29600 1",  // a monitor that is gone
        "30000 200 30600 600 1",
        "10 -5000 700 -4600 1",
        "2147483647 2147483647 -2147483648 -2147483648 1",
        "99999999999 0 10 10 1",
        "0 0 100000 100000 1",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        WriteRegistryString(kTestSectionPath, "Window1", text);
        RunAndExit([&](HWND dialog) { ExpectUsableOnScreen(dialog, minSize); });
        // What is written back is a placement that reads again.
        WINDOWPLACEMENT placement{};
        const auto written = ReadRegistryString(kTestSectionPath, "Window1");
        ASSERT_TRUE(written.has_value());
        EXPECT_TRUE(ParsePlacement(*written, placement)) << *written;
    }
}

TEST_F(Placement, AValueOfAnotherTypeCountsAsAbsent) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kTestSectionPath, 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD number = 12345;
    ::RegSetValueExA(key, "Window1", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof(number));
    ::RegCloseKey(key);
    RunAndExit([&](HWND dialog) { ExpectUsableOnScreen(dialog, SIZE{100, 100}); });
    EXPECT_TRUE(ReadRegistryString(kTestSectionPath, "Window1").has_value());
}

TEST_F(Placement, OtherSettingsSurviveAStartAndAnExit) {
    WriteRegistryString(kTestSectionPath, "Font", "-13 0 0 0 700 0 0 0 0 3 1 34 \"MS Sans Serif\"");
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, kTestSectionPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr);
    const DWORD off = 0;
    ::RegSetValueExA(key, "Help", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof(off));
    ::RegCloseKey(key);
    RunAndExit([](HWND) {});
    EXPECT_EQ(ReadRegistryDword(kTestSectionPath, "Help"), 0u);
    EXPECT_EQ(ReadRegistryString(kTestSectionPath, "Font"),
              "-13 0 0 0 700 0 0 0 0 3 1 34 \"MS Sans Serif\"");
}

// Makes the settings key readable only, and puts its protection back after.
class ReadOnlyKey {
public:
    explicit ReadOnlyKey(const char* path) : m_path(path) {
        HKEY key = nullptr;
        ::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr);
        if (key == nullptr) return;
        ::GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          &m_oldDacl, nullptr, &m_descriptor);
        EXPLICIT_ACCESS_A access{};
        char everyone[] = "EVERYONE";
        BuildExplicitAccessWithNameA(&access, everyone, KEY_READ | READ_CONTROL | WRITE_DAC,
                                     SET_ACCESS, NO_INHERITANCE);
        PACL dacl = nullptr;
        if (::SetEntriesInAclA(1, &access, nullptr, &dacl) == ERROR_SUCCESS) {
            m_applied =
                ::SetSecurityInfo(key, SE_REGISTRY_KEY,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
            ::LocalFree(dacl);
        }
        ::RegCloseKey(key);
    }
    ~ReadOnlyKey() {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, m_path, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            ::SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              m_oldDacl, nullptr);
            ::RegCloseKey(key);
        }
        if (m_descriptor != nullptr) ::LocalFree(m_descriptor);
    }
    // Whether the platform now refuses to write to the key.
    bool Enforced() const {
        HKEY key = nullptr;
        const bool refused =
            ::RegOpenKeyExA(HKEY_CURRENT_USER, m_path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS;
        if (key != nullptr) ::RegCloseKey(key);
        return m_applied && refused;
    }

private:
    const char* m_path;
    PACL m_oldDacl = nullptr;
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    bool m_applied = false;
};

TEST_F(Placement, AnUnwritableSettingsKeyLosesNothingAndExitStillCloses) {
    WriteRegistryString(kTestSectionPath, "Window1", "30 40 700 500 1");
    {
        ReadOnlyKey readOnly(kTestSectionPath);
        if (!readOnly.Enforced()) {
            GTEST_SKIP() << "Wine difference: registry key permissions are not enforced";
        }
        RunAndExit([&](HWND dialog) {
            EXPECT_EQ(WindowRect(dialog), CRect(30, 40, 700, 500));
            ::SetWindowPos(dialog, nullptr, 60, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        });
    }
    EXPECT_EQ(ReadRegistryString(kTestSectionPath, "Window1"), "30 40 700 500 1");
}

TEST(PlacementText, ReadsExactlyFiveIntegers) {
    WINDOWPLACEMENT placement{};
    placement.flags = 7;
    ASSERT_TRUE(ParsePlacement(" -10\t20  400 300 3 ", placement));
    EXPECT_EQ(CRect(placement.rcNormalPosition), CRect(-10, 20, 400, 300));
    EXPECT_EQ(placement.showCmd, 3u);
    EXPECT_EQ(placement.flags, 7u);
    EXPECT_EQ(FormatPlacement(placement), "-10 20 400 300 3");
    for (const char* bad : {"", "1 2 3 4", "1 2 3 4 5 6", "1 2 3 4 x", "1,2,3,4,5",
                            "1 2 3 4 4294967296", "0x10 2 3 4 5"}) {
        WINDOWPLACEMENT unchanged = placement;
        EXPECT_FALSE(ParsePlacement(bad, unchanged)) << bad;
        EXPECT_EQ(CRect(unchanged.rcNormalPosition), CRect(placement.rcNormalPosition)) << bad;
    }
}

TEST(PlacementText, FittingKeepsTheWindowReachableAndAtLeastItsTemplateSize) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    const POINT origin{0, 0};
    ::GetMonitorInfoA(::MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const CRect work(monitor.rcWork);
    const SIZE minSize{300, 200};
    auto fit = [&](RECT rect, UINT showCmd) {
        WINDOWPLACEMENT placement{};
        placement.rcNormalPosition = rect;
        placement.showCmd = showCmd;
        FitPlacementOnScreen(placement, minSize);
        return placement;
    };

    // A reachable, large enough window stays exactly where it was.
    WINDOWPLACEMENT kept = fit(RECT{10, 20, 700, 500}, SW_SHOWMAXIMIZED);
    EXPECT_EQ(CRect(kept.rcNormalPosition), CRect(10, 20, 700, 500));
    EXPECT_EQ(kept.showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
    EXPECT_EQ(fit(RECT{10, 20, 700, 500}, SW_SHOWMINIMIZED).showCmd,
              static_cast<UINT>(SW_SHOWMINIMIZED));

    // Hidden or unknown show commands show the window normally.
    EXPECT_EQ(fit(RECT{10, 20, 700, 500}, SW_HIDE).showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(fit(RECT{10, 20, 700, 500}, 4242).showCmd, static_cast<UINT>(SW_SHOWNORMAL));

    // Too small, inverted: grown to the template size in place.
    EXPECT_EQ(CRect(fit(RECT{50, 60, 55, 65}, SW_SHOWNORMAL).rcNormalPosition),
              CRect(50, 60, 350, 260));
    EXPECT_EQ(CRect(fit(RECT{400, 300, 100, 100}, SW_SHOWNORMAL).rcNormalPosition),
              CRect(400, 300, 700, 500));

    // Off every monitor, or with the caption above the screen: moved inside.
    for (const RECT& lost :
         {RECT{-30000, -30000, -29400, -29600}, RECT{30000, 200, 30600, 600},
          RECT{10, -5000, 700, -4600}, RECT{INT_MAX - 10, INT_MAX - 10, INT_MIN, INT_MIN}}) {
        const CRect rect(fit(lost, SW_SHOWNORMAL).rcNormalPosition);
        EXPECT_GE(rect.left, work.left) << lost.left << "," << lost.top;
        EXPECT_GE(rect.top, work.top) << lost.left << "," << lost.top;
        EXPECT_LE(rect.right, work.right) << lost.left << "," << lost.top;
        EXPECT_LE(rect.bottom, work.bottom) << lost.left << "," << lost.top;
        EXPECT_GE(rect.Width(), minSize.cx);
        EXPECT_GE(rect.Height(), minSize.cy);
    }

    // Bigger than the work area: cut to it.
    const CRect huge(fit(RECT{0, 0, 100000, 100000}, SW_SHOWNORMAL).rcNormalPosition);
    EXPECT_EQ(huge.Width(), work.Width());
    EXPECT_EQ(huge.Height(), work.Height());
}

}  // namespace
}  // namespace kivrel_test
