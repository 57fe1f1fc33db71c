// The options menu and the font of the main dialog, run in this process: where
// the menu drops, which items are enabled and checked, the command that
// arrives, a real Space key press, the font chooser and the "Font" setting.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cmd_ui.h"
#include "kivrel_dlg.h"
#include "menu_button.h"
#include "resource.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

// The main dialog with its switches and font in reach of the tests.
class CProbeKivrelDlg : public CKivrelDlg {
public:
    using CKivrelDlg::m_bCleanup;
    using CKivrelDlg::m_btnOptions;
    using CKivrelDlg::m_font;
    using CKivrelDlg::m_helpTips;
};

// A parent that handles only some of the menu's commands.
class CPartialParentDlg : public CDialog {
public:
    CPartialParentDlg() : CDialog(IDD_KIVREL_DIALOG) {}
    BOOL OnInitDialog() override {
        m_button.SubclassDlgItem(IDC_OPTIONS, this);
        m_button.SetDropMenu(IDR_OPTIONS_MENU, 0);
        return TRUE;
    }
    void OnCleanup() {}
    // Checked but disabled, though no command handler exists.
    void OnUpdateHelpTips(CCmdUI* pCmdUI) {
        pCmdUI->Enable(FALSE);
        pCmdUI->SetCheck(1);
    }
    CMenuButton m_button;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPartialParentDlg, CDialog)
ON_COMMAND(ID_OPTIONS_CLEANUP, OnCleanup)
ON_UPDATE_COMMAND_UI(ID_OPTIONS_HELPTIPS, OnUpdateHelpTips)
END_MESSAGE_MAP()

constexpr UINT kMenuGetHMenu = 0x01E1;  // MN_GETHMENU
constexpr const char* kFontEntry = "Font";
constexpr const char* kDejaVu = "-16 0 0 0 700 0 0 0 0 0 0 0 \"DejaVu Sans\"";

// What a tracked popup menu looked like.
struct MenuSeen {
    bool shown = false;
    bool keptOpen = false;  // still shown a while after it appeared
    CRect rect;
    std::vector<UINT> states;  // GetMenuState of each item, by position
};

struct MenuWatch {
    MenuSeen seen;
    std::function<void(HWND)> inside;
    DWORD firstSeen = 0;
    int ticks = 0;
    UINT_PTR timer = 0;
};
MenuWatch g_watch;

void CALLBACK WatchMenu(HWND, UINT, UINT_PTR, DWORD) {
    HWND hMenuWnd = ::FindWindowA("#32768", nullptr);
    const bool visible = hMenuWnd != nullptr && ::IsWindowVisible(hMenuWnd);
    if (++g_watch.ticks > 100 || (g_watch.seen.shown && !visible)) {
        ::KillTimer(nullptr, g_watch.timer);
        g_watch.timer = 0;
        return;
    }
    if (!visible) return;
    if (!g_watch.seen.shown) {
        g_watch.seen.shown = true;
        g_watch.firstSeen = ::GetTickCount();
        ::GetWindowRect(hMenuWnd, &g_watch.seen.rect);
        HMENU hMenu = reinterpret_cast<HMENU>(::SendMessageA(hMenuWnd, kMenuGetHMenu, 0, 0));
        for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i)
            g_watch.seen.states.push_back(::GetMenuState(hMenu, i, MF_BYPOSITION));
        return;
    }
    if (::GetTickCount() - g_watch.firstSeen < 300) return;
    g_watch.seen.keptOpen = true;
    ::KillTimer(nullptr, g_watch.timer);
    g_watch.timer = 0;
    if (g_watch.inside) {
        g_watch.inside(hMenuWnd);
    } else {
        ::EndMenu();
    }
}

// Runs `open`, which tracks a menu; once the menu has stayed a moment,
// `inside` runs in its loop (by default the menu is closed). The commands the
// menu posted have been handled on return.
MenuSeen WatchMenuWhile(const std::function<void()>& open,
                        const std::function<void(HWND)>& inside = nullptr) {
    g_watch = MenuWatch{};
    g_watch.inside = inside;
    g_watch.timer = ::SetTimer(nullptr, 0, 30, &WatchMenu);
    open();
    PumpMessages(200);
    if (g_watch.timer != 0) ::KillTimer(nullptr, g_watch.timer);
    return g_watch.seen;
}

void PressKey(BYTE vk) {
    ::keybd_event(vk, 0, 0, 0);
    ::keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
}

bool Checked(const MenuSeen& seen, int position) {
    return position < static_cast<int>(seen.states.size()) &&
           (seen.states[position] & MF_CHECKED) != 0;
}
bool Grayed(const MenuSeen& seen, int position) {
    return position < static_cast<int>(seen.states.size()) &&
           (seen.states[position] & (MF_GRAYED | MF_DISABLED)) != 0;
}
// Item positions in the popup: Font, -, Show helptips, Cleanup, -, About.
constexpr int kFontItem = 0;
constexpr int kTipsItem = 2;
constexpr int kCleanupItem = 3;
constexpr int kAboutItem = 5;

LOGFONTA FontOf(HWND control) {
    LOGFONTA logFont{};
    HFONT hFont = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
    EXPECT_EQ(::GetObjectA(hFont, sizeof(logFont), &logFont), static_cast<int>(sizeof(logFont)))
        << "the control's font is a live font";
    return logFont;
}

// Pixel height of a line of text in the control's font.
int LineHeight(HWND control) {
    HDC dc = ::GetDC(control);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return metrics.tmHeight;
}

class OptionsMenu : public testing::Test {
protected:
    void SetUp() override {
        DeleteRegistryTree(kTestSectionPath);
        // Keep the pointer off the screen's edges, where menus are moved.
        ::SetCursorPos(300, 200);
    }
};

TEST_F(OptionsMenu, DropsAtThePointerFromTheButtonAndTheDialogSurface) {
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDlg) {
        HWND button = ::GetDlgItem(hDlg, IDC_OPTIONS);
        const struct {
            const char* how;
            HWND target;
            UINT message;
        } presses[] = {
            {"left press on the button", button, WM_LBUTTONDOWN},
            {"right press on the button", button, WM_RBUTTONDOWN},
            {"right press on the dialog", hDlg, WM_RBUTTONDOWN},
        };
        for (const auto& press : presses) {
            POINT pointer{};
            ::GetCursorPos(&pointer);
            const MenuSeen seen = WatchMenuWhile(
                [&] { ::SendMessageA(press.target, press.message, 0, MAKELPARAM(2, 2)); });
            ASSERT_TRUE(seen.shown) << press.how;
            EXPECT_EQ(seen.rect.left, pointer.x) << press.how;
            EXPECT_EQ(seen.rect.top, pointer.y) << press.how;
            // The main dialog handles every item; both switches start on.
            ASSERT_EQ(seen.states.size(), 6u) << press.how;
            for (int item : {kFontItem, kTipsItem, kCleanupItem, kAboutItem})
                EXPECT_FALSE(Grayed(seen, item)) << press.how << " item " << item;
            EXPECT_TRUE(Checked(seen, kTipsItem)) << press.how;
            EXPECT_TRUE(Checked(seen, kCleanupItem)) << press.how;
        }
        // The press is not passed on: the button takes no focus from it.
        EXPECT_NE(::GetFocus(), button);
    });
}

TEST_F(OptionsMenu, ItemsFollowTheParentsHandlers) {
    CPartialParentDlg dialog;
    RunDialog(dialog, [&](HWND) {
        const MenuSeen seen = WatchMenuWhile([&] { dialog.m_button.ShowDropMenu(TRUE, TRUE); });
        ASSERT_TRUE(seen.shown);
        EXPECT_TRUE(Grayed(seen, kFontItem)) << "no handler at all";
        EXPECT_TRUE(Grayed(seen, kTipsItem)) << "the update handler disabled it";
        EXPECT_TRUE(Checked(seen, kTipsItem)) << "the update handler checked it";
        EXPECT_FALSE(Grayed(seen, kCleanupItem)) << "a command handler";
        EXPECT_FALSE(Checked(seen, kCleanupItem));
        EXPECT_TRUE(Grayed(seen, kAboutItem)) << "no handler at all";
    });
}

TEST_F(OptionsMenu, ChosenCommandsArriveAndTheCheckMarksFollow) {
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDlg) {
        const auto openAndPress = [&](BYTE key) {
            return WatchMenuWhile(
                [&] { ::SendMessageA(hDlg, WM_RBUTTONDOWN, 0, MAKELPARAM(2, 2)); },
                [&](HWND) { PressKey(key); });
        };
        // Each item's mnemonic, pressed twice: off, then on again.
        const struct {
            BYTE key;
            std::function<bool()> on;
            int item;
        } switches[] = {{'C', [&] { return dialog.m_bCleanup != FALSE; }, kCleanupItem},
                        {'S', [&] { return dialog.m_helpTips.IsOn() != FALSE; }, kTipsItem}};
        for (const auto& s : switches) {
            ASSERT_TRUE(openAndPress(s.key).shown);
            EXPECT_FALSE(s.on()) << s.key;
            EXPECT_FALSE(Checked(
                WatchMenuWhile([&] { dialog.m_btnOptions.ShowDropMenu(TRUE, TRUE); }), s.item))
                << s.key;
            ASSERT_TRUE(openAndPress(s.key).shown);
            EXPECT_TRUE(s.on()) << s.key;
        }
    });
}

TEST_F(OptionsMenu, ARealSpaceKeyOpensTheMenuAtTheButtonsCentreAndKeepsItOpen) {
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDlg) {
        HWND button = ::GetDlgItem(hDlg, IDC_OPTIONS);
        ::SetForegroundWindow(hDlg);
        ::SetFocus(button);
        ASSERT_EQ(::GetFocus(), button);
        const CRect rect = WindowRect(button);
        // The key comes from the X server, as a user's would.
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        char command[] = "/usr/bin/xdotool key space";
        ASSERT_TRUE(::CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &process));
        ::CloseHandle(process.hThread);
        const MenuSeen seen = WatchMenuWhile([&] {
            const DWORD start = ::GetTickCount();
            while (!g_watch.seen.shown && ::GetTickCount() - start < 3000) PumpMessages(20);
        });
        ::WaitForSingleObject(process.hProcess, 3000);
        ::CloseHandle(process.hProcess);
        ASSERT_TRUE(seen.shown);
        EXPECT_TRUE(seen.keptOpen);
        EXPECT_EQ(seen.rect.left, (rect.left + rect.right) / 2);
        EXPECT_EQ(seen.rect.top, (rect.top + rect.bottom) / 2);
    });
}

// Pixels of the button's focus-rectangle row that differ from its face.
int FocusRowPixels(HWND button) {
    ::RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    CRect client;
    ::GetClientRect(button, &client);
    HDC dc = ::GetDC(button);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    int differing = 0;
    for (int x = 3; x < client.right - 3; ++x) {
        if (::GetPixel(dc, x, 2) != face) ++differing;
    }
    ::ReleaseDC(button, dc);
    return differing;
}

TEST_F(OptionsMenu, TheFlatButtonShowsItsFocusOnlyWhileFocused) {
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDlg) {
        HWND button = ::GetDlgItem(hDlg, IDC_OPTIONS);
        ::SetFocus(::GetDlgItem(hDlg, IDC_MODULE));
        EXPECT_EQ(FocusRowPixels(button), 0);
        ::SetFocus(button);
        EXPECT_GT(FocusRowPixels(button), 4);
        ::SetFocus(::GetDlgItem(hDlg, IDC_MODULE));
        EXPECT_EQ(FocusRowPixels(button), 0);
    });
}

// Opens the chooser with "Font..." and leaves it with `button`; returns what
// was seen of its owner while it ran.
struct ChooserSeen {
    bool shown = false;
    bool ownedByDialog = false;
    bool dialogDisabled = false;
};
struct ChooserWatch {
    HWND hDlg = nullptr;
    int button = 0;
    ChooserSeen seen;
    UINT_PTR timer = 0;
};
ChooserWatch g_chooser;

// The thread's other visible dialog window: the chooser, whoever owns it.
BOOL CALLBACK FindChooser(HWND hWnd, LPARAM lParam) {
    char name[16] = "";
    ::GetClassNameA(hWnd, name, sizeof(name));
    if (hWnd == g_chooser.hDlg || !::IsWindowVisible(hWnd) || lstrcmpA(name, "#32770") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}

void CALLBACK WatchChooser(HWND, UINT, UINT_PTR, DWORD) {
    HWND chooser = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindChooser, reinterpret_cast<LPARAM>(&chooser));
    if (chooser == nullptr) return;
    ::KillTimer(nullptr, g_chooser.timer);
    g_chooser.timer = 0;
    g_chooser.seen.shown = true;
    g_chooser.seen.ownedByDialog = ::GetWindow(chooser, GW_OWNER) == g_chooser.hDlg;
    g_chooser.seen.dialogDisabled = !::IsWindowEnabled(g_chooser.hDlg);
    ::PostMessageA(chooser, WM_COMMAND, g_chooser.button, 0);
}

ChooserSeen ChooseFont(HWND hDlg, int button) {
    g_chooser = ChooserWatch{hDlg, button, {}, 0};
    g_chooser.timer = ::SetTimer(nullptr, 0, 50, &WatchChooser);
    ::SendMessageA(hDlg, WM_COMMAND, ID_OPTIONS_FONT, 0);
    if (g_chooser.timer != 0) ::KillTimer(nullptr, g_chooser.timer);
    return g_chooser.seen;
}

TEST_F(OptionsMenu, FontChooserCancelChangesNothingAndOkAppliesAndStoresTheFont) {
    CProbeKivrelDlg dialog;
    LOGFONTA chosen{};
    RunDialog(dialog, [&](HWND hDlg) {
        HWND fields[] = {::GetDlgItem(hDlg, IDC_MODULE), ::GetDlgItem(hDlg, IDC_INITIAL_DIR),
                         ::GetDlgItem(hDlg, IDC_RESULTS)};
        // Start from a face the chooser lists under Wine.
        LOGFONTA start{};
        start.lfHeight = -16;
        lstrcpyA(start.lfFaceName, "DejaVu Sans");
        ASSERT_TRUE(dialog.m_font.CreateFontIndirect(&start));
        HFONT before = dialog.m_font.GetSafeHandle();

        const ChooserSeen cancelled = ChooseFont(hDlg, IDCANCEL);
        ASSERT_TRUE(cancelled.shown);
        EXPECT_TRUE(cancelled.ownedByDialog);
        EXPECT_TRUE(cancelled.dialogDisabled) << "Scan and Exit cannot run inside the chooser";
        EXPECT_EQ(dialog.m_font.GetSafeHandle(), before);
        EXPECT_FALSE(ReadRegistryString(kTestSectionPath, kFontEntry));

        ASSERT_TRUE(ChooseFont(hDlg, IDOK).shown);
        HFONT after = dialog.m_font.GetSafeHandle();
        EXPECT_NE(after, before);
        for (HWND field : fields)
            EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageA(field, WM_GETFONT, 0, 0)), after);
        chosen = FontOf(fields[0]);
        EXPECT_STREQ(chosen.lfFaceName, "DejaVu Sans");
        const auto stored = ReadRegistryString(kTestSectionPath, kFontEntry);
        ASSERT_TRUE(stored);
        EXPECT_NE(stored->find("\"DejaVu Sans\""), std::string::npos) << *stored;
    });

    // The next start reads it back.
    CProbeKivrelDlg restarted;
    RunDialog(restarted, [&](HWND hDlg) {
        for (int id : {IDC_MODULE, IDC_INITIAL_DIR, IDC_RESULTS}) {
            const LOGFONTA read = FontOf(::GetDlgItem(hDlg, id));
            EXPECT_STREQ(read.lfFaceName, chosen.lfFaceName) << id;
            EXPECT_EQ(read.lfHeight, chosen.lfHeight) << id;
            EXPECT_EQ(read.lfWeight, chosen.lfWeight) << id;
        }
    });
}

TEST_F(OptionsMenu, GarbageFontSettingsKeepAReadableFontAndStayAsTheyAre) {
    const std::string garbage[] = {
        "",
        "abc",
        "-99999999999999 0 0 0 400 0 0 0 0 0 0 0 \"DejaVu Sans\"",
        "5000 0 0 0 400 0 0 0 0 0 0 0 \"DejaVu Sans\"",
        "-13 -4000 0 0 400",
        "-13 0 0 0 99999",
        "-13 0 0 0 -1",
        "-13 0 900 0 400 0 0 0 0 0 0 0 \"DejaVu Sans\"",
        "-13 0 0 0 400 0 0 0 0 0 0 0 \"" + std::string(300, 'F') + "\"",
        std::string(1000, '9'),
    };
    for (const std::string& text : garbage) {
        DeleteRegistryTree(kTestSectionPath);
        WriteRegistryString(kTestSectionPath, kFontEntry, text);
        CProbeKivrelDlg dialog;
        RunDialog(dialog, [&](HWND hDlg) {
            for (int id : {IDC_MODULE, IDC_RESULTS}) {
                const int height = LineHeight(::GetDlgItem(hDlg, id));
                EXPECT_GE(height, 8) << text.substr(0, 60);
                EXPECT_LE(height, 40) << text.substr(0, 60);
            }
        });
        EXPECT_EQ(ReadRegistryString(kTestSectionPath, kFontEntry), text) << text.substr(0, 60);
    }
}

HFONT WINAPI RefuseFont(const LOGFONTA*) { return nullptr; }

TEST_F(OptionsMenu, AFontThatCannotBeMadeKeepsTheOldOne) {
    WriteRegistryString(kTestSectionPath, kFontEntry, kDejaVu);
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDlg) {
        HWND field = ::GetDlgItem(hDlg, IDC_MODULE);
        HFONT held = dialog.m_font.GetSafeHandle();
        EXPECT_STREQ(FontOf(field).lfFaceName, "DejaVu Sans");
        dialog.m_font.m_pfnCreateFont = &RefuseFont;

        ASSERT_TRUE(ChooseFont(hDlg, IDOK).shown);
        EXPECT_EQ(dialog.m_font.GetSafeHandle(), held);
        EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageA(field, WM_GETFONT, 0, 0)), held);
        EXPECT_STREQ(FontOf(field).lfFaceName, "DejaVu Sans") << "the old font is alive";
        EXPECT_FALSE(dialog.m_font.ReadProfile("Main", kFontEntry));
        EXPECT_EQ(dialog.m_font.GetSafeHandle(), held);
        EXPECT_EQ(ReadRegistryString(kTestSectionPath, kFontEntry), std::string(kDejaVu));
    });
}

}  // namespace
}  // namespace kivrel_test
