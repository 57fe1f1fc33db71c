// The options menu (where it drops, its items' states, the commands, real
// key presses) and the main dialog's font chooser and "Font" setting.
#include <gtest/gtest.h>

#include <sstream>

#include "kivrel_dlg.h"
#include "resource.h"
#include "scan_command.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

constexpr const char* kFontEntry = "Font";
// Item positions in the popup: Font, -, Show helptips, Cleanup, Loader rules, -, About.
constexpr int kFontItem = 0, kTipsItem = 2, kCleanupItem = 3, kLoaderItem = 4, kAboutItem = 6;
constexpr size_t kItems = 7;

// What a menu showed once it had stayed open a moment; empty if it never did.
struct MenuSeen {
    CRect rect;
    std::vector<UINT> states;  // of each item, by position
};

// Runs `open`, which tracks a menu or makes `dialog` track one; once the menu
// has stayed open a moment, notes it and presses `key` in it (0: closes it).
// The commands the menu posted have been handled on return.
MenuSeen WatchMenuWhile(HWND dialog, const std::function<void()>& open, BYTE key = 0) {
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
        return PressKeys({key}), true;
    };
    RunSteps({stay}, [&] {
        open();
        PumpUntil([&] { return !seen.states.empty(); }, 8, dialog);
        PumpMessages(200);
    });
    return seen;
}

using OptionsMenu = DialogTest;

// Pressed on the button or the dialog, the menu drops at the pointer; Space
// and Enter on the button, Shift+F10 and the context-menu key anywhere (real
// key presses, whose character would close it) drop it at the focused
// control's centre. It stays open with every item enabled; each switch's
// mnemonic turns it off, then on again, and its check mark follows. Enter runs
// no scan, and the button takes no focus from a press.
TEST_F(OptionsMenu, DropsAtThePointerOrTheFocusedControlAndItsSwitchesFollowTheCommands) {
    ::SetCursorPos(300, 200);  // off the screen's edges, where menus are moved
    CProbeKivrelDlg dialog;
    RunDialog(dialog, [&](HWND hDlg) {
        // Focused, then given `keys`; else pressed with `message` (0: the
        // dialog). The switches after the menu; both start on.
        // clang-format off
        const struct { int control; std::vector<BYTE> keys; UINT message = 0; BYTE key = 0; bool cleanup = true, tips = true; } rows[] = {
            {IDC_OPTIONS, {VK_SPACE}}, {IDC_OPTIONS, {VK_RETURN}}, {IDC_MODULE, {VK_SHIFT, VK_F10}},
            {IDC_RESULTS, {VK_APPS}}, {IDOK, {VK_SHIFT, VK_F10}},
            {IDC_OPTIONS, {}, WM_RBUTTONDOWN, 'C', false, true}, {0, {}, WM_RBUTTONDOWN, 'S', false, false},
            {0, {}, WM_RBUTTONDOWN, 'C', true, false}, {IDC_OPTIONS, {}, WM_LBUTTONDOWN, 'S', true, true}};
        // clang-format on
        for (const auto& [control, keys, message, key, cleanup, tips] : rows) {
            SCOPED_TRACE(testing::Message() << control << " " << message << " " << key);
            const HWND target = control != 0 ? ::GetDlgItem(hDlg, control) : hDlg;
            const bool cleanupBefore = dialog.m_bCleanup, tipsBefore = dialog.m_helpTips.IsOn();
            POINT at{};
            ::GetCursorPos(&at);
            if (!keys.empty()) {
                ::SetForegroundWindow(hDlg);
                ::SetFocus(target);
                ASSERT_EQ(::GetFocus(), target);
                at = CentreOf(target);
            }
            const MenuSeen seen = WatchMenuWhile(
                hDlg,
                [&] {
                    if (keys.empty()) ::SendMessageA(target, message, 0, MAKELPARAM(2, 2));
                    PressKeys(keys);
                },
                key);
            ASSERT_EQ(seen.states.size(), kItems) << "the options menu stayed open";
            EXPECT_EQ(TopLeft(seen.rect), std::make_pair(at.x, at.y));
            for (int item : {kFontItem, kTipsItem, kCleanupItem, kLoaderItem, kAboutItem})
                EXPECT_FALSE(seen.states[item] & MF_GRAYED) << item;
            EXPECT_EQ((seen.states[kCleanupItem] & MF_CHECKED) != 0, cleanupBefore);
            EXPECT_EQ((seen.states[kTipsItem] & MF_CHECKED) != 0, tipsBefore);
            EXPECT_EQ(std::pair(dialog.m_bCleanup != FALSE, dialog.m_helpTips.IsOn() != FALSE),
                      std::pair(cleanup, tips));
        }
        EXPECT_EQ(::SendDlgItemMessageA(hDlg, IDC_RESULTS, LB_GETCOUNT, 0, 0), 0);
        EXPECT_NE(::GetFocus(), ::GetDlgItem(hDlg, IDC_OPTIONS));
    });
}

// "Loader rules" chosen in the menu: the switch is stored at once, and the
// scan shows what kivrel-scan --loader prints (an API set with its host, the
// DLL beside the DLL found); only found modules' lines are files. Off, the
// list is the plain report. A stored value other than 0 and 1 is off and kept.
TEST_F(OptionsMenu, LoaderRulesScanAsKivrelScanLoaderAndAreStoredAtOnce) {
    const std::string module = FixtureDirectory() + "\\fixture_api_set.dll";
    const std::vector<Line> plain = CoreReport(module);
    std::ostringstream loader, notes;
    kivrel::cli::RunScanCommand({"--loader", module}, loader, notes);
    ASSERT_NE(loader.str().find("*** API SETS ***\n\napi-ms-win-core-synch-l1-2-"),
              std::string::npos);
    ASSERT_NE(loader.str().find(".dll => "), std::string::npos);
    for (const DWORD stored : {DWORD{2}, DWORD{1}}) {
        SCOPED_TRACE(stored);
        AfxGetApp()->WriteProfileInt("Main", "Loader", int(stored));
        CProbeKivrelDlg dialog;
        RunDialog(dialog, [&](HWND hDlg) {
            // The stored value before and after the item is chosen.
            for (const DWORD now : {stored, DWORD{stored == 1 ? 0u : 1u}}) {
                const std::vector<Line> lines = ScanInDialog(hDlg, module);
                std::string texts;
                for (const Line& line : lines) {
                    texts += line.text + '\n';
                    EXPECT_EQ(line.value != 0, line.text.find('\\') != std::string::npos)
                        << line.text;
                }
                if (now == 1) {
                    EXPECT_EQ(texts, loader.str());
                } else {
                    EXPECT_EQ(lines, plain);
                }
                EXPECT_EQ(AfxGetApp()->GetProfileInt("Main", "Loader", -1), now);
                if (now != stored) break;
                const MenuSeen seen = WatchMenuWhile(
                    hDlg, [&] { ::SendMessageA(hDlg, WM_RBUTTONDOWN, 0, 0); }, 'L');
                ASSERT_EQ(seen.states.size(), kItems);
                EXPECT_EQ((seen.states[kLoaderItem] & MF_CHECKED) != 0, stored == 1);
            }
        });
    }
}

// Opens the chooser with "Font..." and leaves it with `button`; false unless
// the chooser was owned by the dialog.
bool ChooseFont(HWND hDlg, int button) {
    return CommandWithPopup(hDlg, ID_OPTIONS_FONT,
                            [&](HWND chooser) { ::PostMessageA(chooser, WM_COMMAND, button, 0); });
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
