// The start without OLE; the main dialog in this process, driven from inside
// its message loop: the command-line scan, the Scan command and Find....
#include <gtest/gtest.h>

#include "kivrel_app.h"
#include "kivrel_dlg.h"
#include "resource.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

class MainDialog : public DialogTest {
protected:
    INT_PTR Run(const std::function<void(HWND)>& body) {
        CKivrelDlg dialog;
        return RunDialog(dialog, body);
    }
};

HRESULT FailingOleInit() { return E_OUTOFMEMORY; }

// Without OLE the program says so and ends before the dialog or its settings.
TEST(Startup, WithoutOleItSaysSoAndEndsWithoutTheDialog) {
    CKivrelApp* app = static_cast<CKivrelApp*>(AfxGetApp());
    const CKivrelApp::OleInitFunction saved = app->m_pfnOleInit;
    app->m_pfnOleInit = &FailingOleInit;
    std::vector<std::string> seen;  // "caption: text" of each window shown
    HWND last = nullptr;
    const Step answer = [&] {
        const HWND box = Popup(nullptr);
        if (box != nullptr && box != last) {
            seen.push_back(WindowText(box) + ": " + WindowText(::GetDlgItem(box, 0xFFFF)));
            ::PostMessageA(last = box, WM_CLOSE, 0, 0);  // ends a message box and a dialog alike
        }
        return false;  // and counts any later window
    };
    BOOL started = TRUE;
    RunSteps({answer}, [&] { started = app->InitInstance(); });
    app->m_pfnOleInit = saved;
    EXPECT_FALSE(started);
    EXPECT_EQ(seen, std::vector<std::string>{std::string(AfxGetAppName()) + ": OleInit failed"});
    EXPECT_EQ(app->m_strRegistryKey, kTestRegistryKey);
}

TEST_F(MainDialog, CommandLineStartsAScanOnlyForAnExistingPath) {
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
        const INT_PTR result = Run([&](HWND dialog) {
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), c.moduleText);
            EXPECT_EQ(ListLines(::GetDlgItem(dialog, IDC_RESULTS)), c.lines);
        });
        EXPECT_EQ(result, kEndedByTest);
    }
}

TEST_F(MainDialog, ScanReplacesTheListAndAnEmptyFieldAppendsItsMessage) {
    const Line noModule{"No Windows module specified", 0};
    const std::vector<Line> report = CoreReport(FixtureProgram());
    // clang-format off
    const struct { std::string module; bool append; std::vector<Line> lines; } scans[] = {
        {FixtureProgram(), false, report}, {"", true, {noModule}},
        {FixtureDirectory(), false, {{"*** INVALID NT SIGNATURE ***", 0}}}};
    // clang-format on
    Run([&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_RESULTS);
        ::SendMessageA(list, LB_SETHORIZONTALEXTENT, 5000, 0);
        std::vector<Line> expected;
        for (const auto& scan : scans) {
            ::SetDlgItemTextA(dialog, IDC_MODULE, scan.module.c_str());
            ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
            if (!scan.append) expected.clear();
            expected.insert(expected.end(), scan.lines.begin(), scan.lines.end());
            EXPECT_EQ(ListLines(list), expected) << scan.module;
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), scan.module);
        }
        // Each scan starts the horizontal extent afresh.
        const LRESULT extent = ::SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0);
        EXPECT_TRUE(extent > 0 && extent < 1000) << extent;
    });
}

// Find... opens the module chooser over the dialog: the file chosen goes into
// the field; Cancel leaves the field as it was.
TEST_F(MainDialog, FindModulePutsTheChosenFileIntoTheField) {
    Run([&](HWND dialog) {
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
