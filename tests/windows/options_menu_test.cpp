// The options menu (where it drops, its items' states, the commands, a real
// Space key press) and the main dialog's font chooser and "Font" setting.
#include <gtest/gtest.h>

#include "kivrel_dlg.h"
#include "resource.h"
#include "test_support.h"

namespace kivrel_test {
namespace {

constexpr const char* kFontEntry = "Font";
// Item positions in the popup: Font, -, Show helptips, Cleanup, -, About.
constexpr int kFontItem = 0, kTipsItem = 2, kCleanupItem = 3, kAboutItem = 5;

// What a menu showed once it had stayed open a moment; empty if it never did.
struct MenuSeen {
    CRect rect;
    std::vector<UINT> states;  // of each item, by position
};

// Runs `open`, which tracks a menu; once the menu has stayed open a moment,
// notes it and presses `key` in it (0: closes it). The commands the menu
// posted have been handled on return.
MenuSeen WatchMenuWhile(const std::function<void(const MenuSeen&)>& open, BYTE key = 0) {
    MenuSeen seen;
    const Step stay = [&, ticks = 0]() mutable {
        const HWND menu = ::FindWindowA("#32768", nullptr);
        ticks = menu != nullptr && ::IsWindowVisible(menu) ? ticks + 1 : 0;
        if (ticks < 6) return false;
        ::GetWindowRect(menu, &seen.rect);
        HMENU hMenu = reinterpret_cast<HMENU>(::SendMessageA(menu, 0x01E1, 0, 0));  // MN_GETHMENU
        for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i)
            seen.states.push_back(::GetMenuState(hMenu, i, MF_BYPOSITION));
        if (key == 0) return ::EndMenu(), true;
        ::keybd_event(key, 0, 0, 0);
        ::keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
        return true;
    };
    RunSteps({stay}, [&] {
        open(seen);
        PumpMessages(200);
    });
    return seen;
}

class OptionsMenu : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        ::SetCursorPos(300, 200);  // off the screen's edges, where menus are moved
    }
};

// Pressed on the button or the dialog, the menu drops at the pointer with
// every item enabled; each switch's mnemonic turns it off, then on again, and
// its check mark follows.
TEST_F(OptionsMenu, DropsAtThePointerAndItsSwitchesFollowTheChosenCommands) {
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDlg) {
        HWND button = ::GetDlgItem(hDlg, IDC_OPTIONS);
        // clang-format off
        const struct { bool onButton; UINT message; BYTE key; bool cleanup, tips; } rows[] = {
            {true, WM_RBUTTONDOWN, 'C', false, true}, {false, WM_RBUTTONDOWN, 'S', false, false},
            {false, WM_RBUTTONDOWN, 'C', true, false}, {true, WM_LBUTTONDOWN, 'S', true, true}};
        // clang-format on
        for (const auto& [onButton, message, key, cleanup, tips] : rows) {
            SCOPED_TRACE(testing::Message() << onButton << " " << message << " " << key);
            const bool cleanupBefore = dialog.m_bCleanup, tipsBefore = dialog.m_helpTips.IsOn();
            POINT pointer{};
            ::GetCursorPos(&pointer);
            const MenuSeen seen = WatchMenuWhile(
                [&](const MenuSeen&) {
                    ::SendMessageA(onButton ? button : hDlg, message, 0, MAKELPARAM(2, 2));
                },
                key);
            ASSERT_EQ(seen.states.size(), 6u);
            EXPECT_EQ(TopLeft(seen.rect), std::make_pair(pointer.x, pointer.y));
            for (int item : {kFontItem, kTipsItem, kCleanupItem, kAboutItem})
                EXPECT_FALSE(seen.states[item] & MF_GRAYED) << item;
            EXPECT_EQ((seen.states[kCleanupItem] & MF_CHECKED) != 0, cleanupBefore);
            EXPECT_EQ((seen.states[kTipsItem] & MF_CHECKED) != 0, tipsBefore);
            EXPECT_EQ(std::pair(dialog.m_bCleanup != FALSE, dialog.m_helpTips.IsOn() != FALSE),
                      std::pair(cleanup, tips));
        }
        // The press is not passed on: the button takes no focus from it.
        EXPECT_NE(::GetFocus(), button);
    });
}

TEST_F(OptionsMenu, ARealSpaceKeyOpensTheMenuAtTheButtonsCentreAndKeepsItOpen) {
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDlg) {
        HWND button = ::GetDlgItem(hDlg, IDC_OPTIONS);
        ::SetForegroundWindow(hDlg);
        ::SetFocus(button);
        ASSERT_EQ(::GetFocus(), button);
        // The key comes from the X server, as a user's would.
        ASSERT_TRUE(StartHostProgram("/usr/bin/xdotool sleep 0.5 key space"));
        // Starting a program may take the activation: the dialog takes it back.
        PumpMessages(250);
        ::SetForegroundWindow(hDlg);
        ::SetFocus(button);
        const MenuSeen seen = WatchMenuWhile(
            [&](const MenuSeen& now) { PumpUntil([&] { return !now.states.empty(); }); });
        EXPECT_FALSE(seen.states.empty()) << "the menu stayed open";
        const POINT centre = CentreOf(button);
        EXPECT_EQ(TopLeft(seen.rect), std::make_pair(centre.x, centre.y));
    });
}

// Opens the chooser with "Font..." and leaves it with `button`; false unless
// the chooser was owned by the dialog.
bool ChooseFont(HWND hDlg, int button) {
    const Step leave =
        WithPopup(hDlg, [&](HWND chooser) { ::PostMessageA(chooser, WM_COMMAND, button, 0); });
    return RunSteps({leave}, [&] { ::SendMessageA(hDlg, WM_COMMAND, ID_OPTIONS_FONT, 0); });
}

LOGFONTA FontOf(HWND hDlg, int control) {
    LOGFONTA logFont{};
    HFONT hFont = reinterpret_cast<HFONT>(::SendDlgItemMessageA(hDlg, control, WM_GETFONT, 0, 0));
    EXPECT_EQ(::GetObjectA(hFont, sizeof(logFont), &logFont), int(sizeof(logFont)))
        << "the control's font is a live font";
    return logFont;
}

HFONT WINAPI RefuseFont(const LOGFONTA*) { return nullptr; }

TEST_F(OptionsMenu, FontChooserOkAppliesAndStoresTheFontAndAFontNotMadeKeepsTheOldOne) {
    CProbeKivrelDlg dialog;
    LOGFONTA chosen{};
    RunDialog(dialog, [&](HWND hDlg) {
        LOGFONTA start{};  // a face the chooser lists under Wine
        start.lfHeight = -16;
        lstrcpyA(start.lfFaceName, "DejaVu Sans");
        ASSERT_TRUE(dialog.m_font.CreateFontIndirect(&start));
        HFONT before = dialog.m_font.GetSafeHandle();

        ASSERT_TRUE(ChooseFont(hDlg, IDCANCEL));
        EXPECT_EQ(dialog.m_font.GetSafeHandle(), before);
        EXPECT_EQ(ReadRegistryString(kTestSectionPath, kFontEntry), std::nullopt);

        ASSERT_TRUE(ChooseFont(hDlg, IDOK));
        HFONT after = dialog.m_font.GetSafeHandle();
        EXPECT_NE(after, before);
        for (int id : {IDC_MODULE, IDC_INITIAL_DIR, IDC_RESULTS})
            EXPECT_EQ(HFONT(::SendDlgItemMessageA(hDlg, id, WM_GETFONT, 0, 0)), after) << id;
        chosen = FontOf(hDlg, IDC_MODULE);
        EXPECT_STREQ(chosen.lfFaceName, "DejaVu Sans");
    });
    const auto stored = ReadRegistryString(kTestSectionPath, kFontEntry);
    EXPECT_NE(stored.value_or("").find("\"DejaVu Sans\""), std::string::npos);

    // The next start reads it back; a font that cannot be made leaves the old one.
    CProbeKivrelDlg restarted;
    RunDialog(restarted, [&](HWND hDlg) {
        const LOGFONTA read = FontOf(hDlg, IDC_RESULTS);
        EXPECT_STREQ(read.lfFaceName, chosen.lfFaceName);
        EXPECT_EQ(std::pair(read.lfHeight, read.lfWeight),
                  std::pair(chosen.lfHeight, chosen.lfWeight));
        HFONT held = restarted.m_font.GetSafeHandle();
        restarted.m_font.m_pfnCreateFont = &RefuseFont;
        ASSERT_TRUE(ChooseFont(hDlg, IDOK));
        EXPECT_EQ(HFONT(::SendDlgItemMessageA(hDlg, IDC_MODULE, WM_GETFONT, 0, 0)), held);
        EXPECT_STREQ(FontOf(hDlg, IDC_MODULE).lfFaceName, "DejaVu Sans") << "the old font is alive";
        EXPECT_FALSE(restarted.m_font.ReadProfile("Main", kFontEntry));
        EXPECT_EQ(restarted.m_font.GetSafeHandle(), held);
    });
    EXPECT_EQ(ReadRegistryString(kTestSectionPath, kFontEntry), stored);
}

}  // namespace
}  // namespace kivrel_test
