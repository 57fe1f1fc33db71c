// The main dialog in this process, driven from inside its message loop: the
// command-line scan, the Scan command, the results list's keys and drags, and
// its layout when resized; and where its resources and the code are two
// sources of one truth.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>

#include "kivrel_dlg.h"
#include "messages.h"
#include "resource.h"
#include "resource_string.h"
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
