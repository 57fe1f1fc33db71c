// The main dialog in this process, driven from inside its message loop: the
// command-line scan, the Scan command, the results list's keys and drags, its
// layout when resized, the options menu (where it drops, its items' states,
// the commands, real key presses), the font chooser and "Font" setting; and
// where its resources and the code are two sources of one truth.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "kivrel_dlg.h"
#include "messages.h"
#include "resource.h"
#include "resource_string.h"
#include "scan_command.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

class MainDialog : public DialogTest {};

// The command line's module is scanned when it exists; then Scan with an
// empty field appends its message, and with a module replaces the list.
TEST_F(MainDialog, TheCommandLineAndScanShowTheScanInTheList) {
    const std::string program = FixtureProgram(), directory = FixtureDirectory();
    const std::vector<Line> report = CoreReport(program);
    ASSERT_GE(report.size(), 5u);
    const std::vector<Line> none, notModule{{"*** INVALID NT SIGNATURE ***", 0}};
    // The program named through more than 260 characters: refused, not cut.
    std::string longName = directory;
    while (longName.size() < 280) longName += "\\.";
    longName += "\\fixture_app.exe";
    // clang-format off
    const struct { std::string commandLine, moduleText; const std::vector<Line>& lines; } cases[] = {
        {"\"" + program + "\" --more arguments", program, report},
        {program, program, report},
        {"\"" + program, program, report},  // the quote never closed
        {longName, "", none},
        {directory + "\\missing.dll", "", none},
        {directory, directory, notModule}};  // a directory exists: scanned, not a module
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        AfxGetApp()->m_strCmdLine = c.commandLine;
        CKivrelDlg main;
        const INT_PTR result = RunDialog(main, [&](HWND dialog) {
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), c.moduleText);
            std::vector<Line> expected = c.lines;
            expected.push_back({"No Windows module specified", 0});
            EXPECT_EQ(ScanInDialog(dialog, ""), expected);
            EXPECT_EQ(ScanInDialog(dialog, directory), notModule);
        });
        EXPECT_EQ(result, kEndedByTest);
    }
}

std::string ClipboardText() {
    std::string text;
    if (!::OpenClipboard(nullptr)) return text;
    const HANDLE data = ::GetClipboardData(CF_TEXT);
    if (const char* chars =
            data != nullptr ? static_cast<const char*>(::GlobalLock(data)) : nullptr)
        text.assign(chars, strnlen(chars, ::GlobalSize(data))), ::GlobalUnlock(data);
    ::CloseClipboard();
    return text;
}

// "Cleanup before scan" off: the next report also holds what the last scan
// found, as the core gives it with its lists kept; on again: a fresh report.
TEST_F(MainDialog, CleanupOffKeepsTheLastScansModulesInTheNextReport) {
    const std::string library = FixtureDirectory() + "\\fixture_lib.dll";
    const std::vector<Line> kept = CoreReport(library, FixtureProgram());
    ASSERT_NE(kept, CoreReport(library));
    AfxGetApp()->m_strCmdLine = FixtureProgram();
    CProbeKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        for (const auto& [cleanup, expected] :
             {std::pair(false, kept), {true, CoreReport(library)}}) {
            ::SendMessageA(dialog, WM_COMMAND, ID_OPTIONS_CLEANUP, 0);
            EXPECT_EQ(main.m_bCleanup != FALSE, cleanup);
            EXPECT_EQ(ScanInDialog(dialog, library), expected) << cleanup;
        }
    });
}

// The results list after a scan of the fixture program, with real key presses
// and drags: Ctrl+C copies the selected lines in list order, a drag into a
// field gives it the first selected module's description, a press without a
// drag is a click, Ctrl+A selects every line; none changes the lines.
TEST_F(MainDialog, ResultsListCopiesDragsAndSelects) {
    AfxGetApp()->m_strCmdLine = FixtureProgram();
    CKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        const HWND list = ::GetDlgItem(dialog, IDC_RESULTS);
        const std::vector<Line> lines = ListLines(list);
        int first = -1, last = -1;  // found modules
        for (int i = 0; i < int(lines.size()); ++i)
            if (lines[i].value != 0) last = i, first = first < 0 ? i : first;
        ASSERT_GT(last, first);
        ASSERT_GE(lines.size(), 4u);
        ::SetForegroundWindow(dialog);
        ::SetFocus(list);
        for (int line : {3, 0}) ::SendMessageA(list, LB_SETSEL, TRUE, line);
        const DWORD clipboard = ::GetClipboardSequenceNumber();
        PressKeys({VK_CONTROL, 'C'});
        PumpUntil([&] { return ::GetClipboardSequenceNumber() != clipboard; }, 8, dialog);
        EXPECT_EQ(ClipboardText(), lines[0].text + "\r\n" + lines[3].text);

        ::SendMessageA(list, LB_SETSEL, FALSE, -1);
        for (int line : {first, last}) ::SendMessageA(list, LB_SETSEL, TRUE, line);
        const HWND field = ::GetDlgItem(dialog, IDC_INITIAL_DIR);
        DragWithMouse(list, LineCentre(list, last), CentreOf(field));
        char prefix[32];
        std::snprintf(prefix, sizeof(prefix), "%#08lx,  ",
                      static_cast<unsigned long>(lines[first].value));
        EXPECT_EQ(WindowText(field), prefix + lines[first].text);
        PressWithMouse(list, LineCentre(list, last));
        EXPECT_EQ(::SendMessageA(list, LB_GETSELCOUNT, 0, 0), 1);
        EXPECT_GT(::SendMessageA(list, LB_GETSEL, last, 0), 0);

        PressKeys({VK_CONTROL, 'A'});
        const auto selected = [&] { return ::SendMessageA(list, LB_GETSELCOUNT, 0, 0); };
        EXPECT_TRUE(PumpUntil([&] { return selected() == LRESULT(lines.size()); }, 8, dialog));
        EXPECT_EQ(ListLines(list), lines);
    });
}

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

TEST_F(MainDialog, ResizingMovesExactlyTheLayoutGroupsAndTheGripAnswersAsTheCorner) {
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

TEST(Resources, ScanMessagesOfTheCoreAreTheStringTableTexts) {
    for (int id : {kivrel::IDS_INVALID_NT_SIGNATURE, kivrel::IDS_SCAN_FAILED,
                   kivrel::IDS_NO_REFERENCES, kivrel::IDS_NO_MODULE, kivrel::IDS_NOT_FOUND_HEADING})
        EXPECT_EQ(LoadResString(AfxGetResourceHandle(), static_cast<UINT>(id)),
                  kivrel::MessageText(id))
            << id;
}

TEST(Resources, ManifestAsksForCommonControls6AndSystemDpiAwareness) {
    const HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(resource, nullptr);
    const std::string manifest(
        static_cast<const char*>(::LockResource(::LoadResource(nullptr, resource))),
        ::SizeofResource(nullptr, resource));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

}  // namespace
}  // namespace kivrel_test
