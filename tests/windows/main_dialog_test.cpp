// The main dialog in this process, driven from inside its message loop: the
// command-line scan, the Scan command, the results list's keys and Find....
#include <gtest/gtest.h>

#include <cstring>

#include "kivrel_dlg.h"
#include "resource.h"
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
            for (const std::string& module : {std::string(), directory}) {
                ::SetDlgItemTextA(dialog, IDC_MODULE, module.c_str());
                ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
                if (module.empty())
                    expected.push_back({"No Windows module specified", 0});
                else
                    expected = notModule;
                EXPECT_EQ(ListLines(::GetDlgItem(dialog, IDC_RESULTS)), expected) << module;
            }
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
            ::SetDlgItemTextA(dialog, IDC_MODULE, library.c_str());
            ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
            EXPECT_EQ(ListLines(::GetDlgItem(dialog, IDC_RESULTS)), expected) << cleanup;
        }
    });
}

// Real key presses in the results list: Ctrl+C copies the selected lines in
// list order, Ctrl+A selects every line; neither changes the lines.
TEST_F(MainDialog, CtrlCCopiesTheSelectedLinesAndCtrlASelectsEveryLine) {
    AfxGetApp()->m_strCmdLine = FixtureProgram();
    CKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        const HWND list = ::GetDlgItem(dialog, IDC_RESULTS);
        const std::vector<Line> lines = ListLines(list);
        ASSERT_GE(lines.size(), 4u);
        ::SetForegroundWindow(dialog);
        ::SetFocus(list);
        for (int line : {3, 0}) ::SendMessageA(list, LB_SETSEL, TRUE, line);
        const DWORD clipboard = ::GetClipboardSequenceNumber();
        PressKeys({VK_CONTROL, 'C'});
        PumpUntil([&] { return ::GetClipboardSequenceNumber() != clipboard; }, 8, dialog);
        EXPECT_EQ(ClipboardText(), lines[0].text + "\r\n" + lines[3].text);
        PressKeys({VK_CONTROL, 'A'});
        const auto selected = [&] { return ::SendMessageA(list, LB_GETSELCOUNT, 0, 0); };
        EXPECT_TRUE(PumpUntil([&] { return selected() == LRESULT(lines.size()); }, 8, dialog));
        EXPECT_EQ(ListLines(list), lines);
    });
}

// Find... opens the module chooser over the dialog: the file chosen goes into
// the field; Cancel leaves the field as it was.
TEST_F(MainDialog, FindModulePutsTheChosenFileIntoTheField) {
    CKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        ::SetDlgItemTextA(dialog, IDC_MODULE, "before");
        for (const UINT button : {IDCANCEL, IDOK}) {
            std::string title;
            const Step choose = WithPopup(dialog, [&](HWND chooser) {
                title = WindowText(chooser);
                // The file-name field is the combo box cmb13.
                ::SetDlgItemTextA(chooser, 1148, FixtureProgram().c_str());
                ::PostMessageA(chooser, WM_COMMAND, button, 0);
            });
            EXPECT_TRUE(RunSteps({choose},
                                 [&] { ::SendMessageA(dialog, WM_COMMAND, IDC_FIND_MODULE, 0); }));
            EXPECT_EQ(title, "Find Windows module");
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)),
                      button == IDOK ? FixtureProgram() : "before");
        }
    });
}

}  // namespace
}  // namespace kivrel_test
