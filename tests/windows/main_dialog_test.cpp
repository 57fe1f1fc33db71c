// The main dialog in this process, driven from inside its message loop: the
// start-up, the command-line scan, the Scan command, the fonts, the module
// chooser and the About box.
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

void Scan(HWND dialog, const std::string& module) {
    ::SetDlgItemTextA(dialog, IDC_MODULE, module.c_str());
    ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

HRESULT FailingOleInit() { return E_OUTOFMEMORY; }

TEST(Startup, WithoutOleItSaysSoAndEndsWithoutTheDialog) {
    CKivrelApp* app = static_cast<CKivrelApp*>(AfxGetApp());
    const CKivrelApp::OleInitFunction saved = app->m_pfnOleInit;
    app->m_pfnOleInit = &FailingOleInit;
    int windows = 0;
    HWND last = nullptr;
    std::string text, caption;
    const Step answer = [&] {
        const HWND box = Popup(nullptr);
        if (box == nullptr || box == last) return false;
        last = box;
        ++windows;
        text = WindowText(::GetDlgItem(box, 0xFFFF));
        caption = WindowText(box);
        // Ends a message box and the dialog alike.
        ::PostMessageA(box, WM_CLOSE, 0, 0);
        return false;  // and counts any later window
    };
    BOOL started = TRUE;
    RunSteps({answer}, [&] { started = app->InitInstance(); });
    app->m_pfnOleInit = saved;
    EXPECT_FALSE(started);
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(text, "OleInit failed");
    EXPECT_EQ(caption, AfxGetAppName());
    // The settings key is chosen only after OLE is there.
    EXPECT_EQ(app->m_strRegistryKey, kTestRegistryKey);
}

TEST_F(MainDialog, CommandLineStartsAScanOnlyForAnExistingPath) {
    const std::string program = FixtureProgram(), directory = FixtureDirectory();
    const std::vector<Line> report = CoreReport(program);
    ASSERT_GE(report.size(), 5u);
    const std::string longPath = "C:\\" + std::string(300, 'a') + ".dll";
    const struct {
        std::string commandLine;
        std::string moduleText;
        std::vector<Line> lines;
    } cases[] = {
        {"\"" + program + "\" --more arguments", program, report},
        {program, program, report},
        {"\"\"", "", {}},
        {"\"unterminated", "", {}},
        {"\"" + directory + "\\missing.dll\"", "", {}},
        {directory + "\\missing.dll", "", {}},
        {longPath, "", {}},
        {"\"" + longPath + "\"", "", {}},
        {"C:\\" + std::string(300, 'x') + "\\" + std::string(300, 'y'), "", {}},
        // A directory exists: it is scanned, and is not a module.
        {directory, directory, {{"*** INVALID NT SIGNATURE ***", 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine.substr(0, 80));
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
    const struct {
        std::string module;
        bool append;
        std::vector<Line> lines;
    } scans[] = {
        {FixtureProgram(), false, CoreReport(FixtureProgram())},
        {"", true, {noModule}},
        {"", true, {noModule}},
        {FixtureDirectory(), false, {{"*** INVALID NT SIGNATURE ***", 0}}},
    };
    Run([&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_RESULTS);
        ::SendMessageA(list, LB_SETHORIZONTALEXTENT, 5000, 0);
        std::vector<Line> expected;
        for (const auto& scan : scans) {
            Scan(dialog, scan.module);
            if (!scan.append) expected.clear();
            expected.insert(expected.end(), scan.lines.begin(), scan.lines.end());
            EXPECT_EQ(ListLines(list), expected) << scan.module;
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), scan.module);
        }
        // Each scan starts the horizontal extent afresh.
        const LRESULT extent = ::SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0);
        EXPECT_GT(extent, 0);
        EXPECT_LT(extent, 1000);
    });
}

// Records what the module field is told to show, and when it repaints.
struct FieldRecorder {
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_SETTEXT) events.push_back(reinterpret_cast<const char*>(lParam));
        if (message == WM_PAINT) events.push_back("<paint>");
        return ::CallWindowProcA(previous, hWnd, message, wParam, lParam);
    }
    static inline WNDPROC previous = nullptr;
    static inline std::vector<std::string> events;
};

TEST_F(MainDialog, ScanShowsEachNameBeingResolvedAndThenTheModuleAgain) {
    Run([&](HWND dialog) {
        HWND field = ::GetDlgItem(dialog, IDC_MODULE);
        ::SetWindowTextA(field, FixtureProgram().c_str());
        PumpMessages(50);
        FieldRecorder::events.clear();
        FieldRecorder::previous = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
            field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FieldRecorder::Proc)));
        ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        ::SetWindowLongPtrA(field, GWLP_WNDPROC,
                            reinterpret_cast<LONG_PTR>(FieldRecorder::previous));
        const auto& events = FieldRecorder::events;
        for (const char* name : {"fixture_lib.dll", "fixture_gone.dll"}) {
            const auto at = std::find(events.begin(), events.end(), name);
            // Repainted at once, before the next name is shown.
            ASSERT_LT(at + 1, events.end()) << name;
            EXPECT_EQ(at[1], "<paint>") << name;
        }
        EXPECT_EQ(events.back() == "<paint>" ? events.end()[-2] : events.back(), FixtureProgram());
        EXPECT_EQ(WindowText(field), FixtureProgram());
    });
}

TEST_F(MainDialog, FieldsKeepTheirFontAndButtonsFollowTheSystemMessageFont) {
    Run([&](HWND dialog) {
        auto fontOf = [&](int id) {
            return reinterpret_cast<HGDIOBJ>(::SendDlgItemMessageA(dialog, id, WM_GETFONT, 0, 0));
        };
        for (bool changed : {false, true}) {
            if (changed) ::SendMessageA(dialog, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, 0);
            for (int id : {IDC_MODULE, IDC_INITIAL_DIR, IDC_RESULTS})
                EXPECT_EQ(fontOf(id), ::GetStockObject(ANSI_VAR_FONT)) << id << changed;
            NONCLIENTMETRICSA metrics{};
            metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
            ::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
            LOGFONTA font{};
            ASSERT_EQ(::GetObjectA(fontOf(IDOK), sizeof(font), &font), int(sizeof(font)));
            EXPECT_STREQ(font.lfFaceName, metrics.lfMessageFont.lfFaceName) << changed;
            EXPECT_EQ(font.lfHeight, metrics.lfMessageFont.lfHeight) << changed;
        }
    });
}

TEST_F(MainDialog, FindModulePutsTheChosenPathIntoTheFieldAndCancelChangesNothing) {
    Run([&](HWND dialog) {
        ::SetDlgItemTextA(dialog, IDC_MODULE, "");
        for (int button : {IDOK, IDCANCEL}) {
            std::string title;
            const Step choose = WithPopup(dialog, [&](HWND chooser) {
                title = WindowText(chooser);
                // The platform's file-name field is the combo box cmb13.
                const std::string name = button == IDOK ? FixtureProgram() : "C:\\other.dll";
                ::SendDlgItemMessageA(chooser, 1148, WM_SETTEXT, 0,
                                      reinterpret_cast<LPARAM>(name.c_str()));
                ::PostMessageA(chooser, WM_COMMAND, button, 0);
            });
            EXPECT_TRUE(RunSteps({choose},
                                 [&] { ::SendMessageA(dialog, WM_COMMAND, IDC_FIND_MODULE, 0); }));
            EXPECT_EQ(title, "Find Windows module");
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), FixtureProgram());
        }
    });
}

TEST_F(MainDialog, AboutBoxOpensFromTheSystemMenuAndTheCommand) {
    Run([&](HWND dialog) {
        EXPECT_NE(::GetMenuState(::GetSystemMenu(dialog, FALSE), IDM_ABOUTBOX, MF_BYCOMMAND),
                  UINT(-1));
        for (UINT message : {WM_SYSCOMMAND, WM_COMMAND}) {
            std::string title;
            const Step close = WithPopup(dialog, [&](HWND about) {
                title = WindowText(about);
                ::PostMessageA(about, WM_COMMAND, IDOK, 0);
            });
            EXPECT_TRUE(RunSteps({close}, [&] {
                ::SendMessageA(dialog, message, IDM_ABOUTBOX, 0);
            })) << message;
            EXPECT_EQ(title, "About Kivrel") << message;
            EXPECT_TRUE(::IsWindowEnabled(dialog));
        }
    });
}

}  // namespace
}  // namespace kivrel_test
