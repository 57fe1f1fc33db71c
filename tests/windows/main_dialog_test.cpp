// The main dialog in this process, driven from inside its message loop: the
// command-line scan, the Scan command and Find....
#include <gtest/gtest.h>

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
    // clang-format off
    const struct { std::string commandLine, moduleText; const std::vector<Line>& lines; } cases[] = {
        {"\"" + program + "\" --more arguments", program, report},
        {program, program, report},
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
