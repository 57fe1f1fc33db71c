// The main dialog, run in this process and driven by messages from inside its
// own message loop: the command-line start, the Scan command, the layout when
// resized, the About box and the help-tip answers.
#include <gtest/gtest.h>

#include <map>

#include "help_tip_request.h"
#include "kivrel_dlg.h"
#include "resource.h"
#include "resource_string.h"
#include "test_support.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

class MainDialog : public testing::Test {
protected:
    void SetUp() override {
        AfxGetApp()->m_strCmdLine.clear();
        DeleteRegistryTree(kTestSectionPath);
    }
    void TearDown() override { AfxGetApp()->m_strCmdLine.clear(); }

    INT_PTR Run(const std::function<void(HWND)>& body) {
        CKivrelDlg dialog;
        return RunDialog(dialog, body);
    }
};

// The size limits the dialog answers, asked with a maximum of 4000 x 3000.
MINMAXINFO TrackLimits(HWND dialog) {
    MINMAXINFO info{};
    info.ptMaxTrackSize = POINT{4000, 3000};
    ::SendMessageA(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    return info;
}

// Pixels along the bottom-right diagonal that differ from the background: the
// size grip's dots, or none where there is no grip.
int CountGripCornerPixels(HWND dialog) {
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    CRect client;
    ::GetClientRect(dialog, &client);
    HDC dc = ::GetDC(dialog);
    const COLORREF background = ::GetPixel(dc, client.right / 2, client.bottom - 4);
    int differing = 0;
    for (int d = 2; d < 14; ++d) {
        if (::GetPixel(dc, client.right - d, client.bottom - d) != background) ++differing;
    }
    ::ReleaseDC(dialog, dc);
    return differing;
}

void Scan(HWND dialog, const std::string& module) {
    ::SetDlgItemTextA(dialog, IDC_MODULE, module.c_str());
    ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(MainDialog, CommandLineModuleIsScannedAsSoonAsTheDialogOpens) {
    AfxGetApp()->m_strCmdLine = "\"" + FixtureProgram() + "\" --more arguments";
    const std::vector<Line> expected = CoreReport(FixtureProgram());
    Run([&](HWND dialog) {
        EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), FixtureProgram());
        const std::vector<Line> lines = ListLines(::GetDlgItem(dialog, IDC_RESULTS));
        EXPECT_EQ(lines, expected);
        ASSERT_GE(lines.size(), 5u);
        // The DLL beside the program is found first, in the program's directory;
        // the one on no search path ends the list under the heading.
        EXPECT_EQ(lines.front().text, FixtureDirectory() + "\\fixture_lib.dll");
        EXPECT_NE(lines.front().value, 0u);
        EXPECT_EQ(lines.back(), (Line{"fixture_gone.dll", 0}));
        const auto heading =
            std::find(lines.begin(), lines.end(), Line{"*** NOT FOUND or INCORRECT ***", 0});
        ASSERT_NE(heading, lines.end());
        EXPECT_EQ(*(heading - 1), (Line{"", 0}));
        EXPECT_EQ(*(heading + 1), (Line{"", 0}));
        for (const Line& line : lines) {
            if (line.value != 0) {
                EXPECT_NE(::GetFileAttributesA(line.text.c_str()), INVALID_FILE_ATTRIBUTES)
                    << line.text;
            }
        }
    });
}

TEST_F(MainDialog, CommandLineStartsAScanOnlyForAnExistingPath) {
    struct Case {
        std::string commandLine;
        std::string moduleText;
        std::vector<Line> lines;
    };
    const std::string longPath = "C:\\" + std::string(300, 'a') + ".dll";
    const Case cases[] = {
        {FixtureProgram(), FixtureProgram(), CoreReport(FixtureProgram())},
        {"\"\"", "", {}},
        {"\"" + FixtureDirectory() + "\\missing.dll\"", "", {}},
        {FixtureDirectory() + "\\missing.dll", "", {}},
        {longPath, "", {}},
        {"\"" + longPath + "\"", "", {}},
        // A directory exists: it is scanned, and is not a module.
        {FixtureDirectory(), FixtureDirectory(), {{"*** INVALID NT SIGNATURE ***", 0}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.commandLine.substr(0, 80));
        AfxGetApp()->m_strCmdLine = test.commandLine;
        const INT_PTR result = Run([&](HWND dialog) {
            EXPECT_TRUE(::IsWindowVisible(dialog));
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), test.moduleText);
            EXPECT_EQ(ListLines(::GetDlgItem(dialog, IDC_RESULTS)), test.lines);
        });
        EXPECT_EQ(result, kEndedByTest);
    }
}

TEST_F(MainDialog, ScanOfAnEmptyModuleFieldAppendsItsMessageAndKeepsTheList) {
    Run([&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_RESULTS);
        Scan(dialog, FixtureProgram());
        std::vector<Line> lines = ListLines(list);
        ASSERT_FALSE(lines.empty());
        Scan(dialog, "");
        lines.push_back({"No Windows module specified", 0});
        EXPECT_EQ(ListLines(list), lines);
        Scan(dialog, "");
        lines.push_back({"No Windows module specified", 0});
        EXPECT_EQ(ListLines(list), lines);
    });
}

TEST_F(MainDialog, ScanOfATextFileGivesOnlyTheSignatureMessage) {
    const std::string textFile = FixtureDirectory() + "\\not-a-module.txt";
    HANDLE file = ::CreateFileA(textFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, "plain text\r\n", 12, &written, nullptr);
    ::CloseHandle(file);
    Run([&](HWND dialog) {
        Scan(dialog, FixtureProgram());
        Scan(dialog, textFile);
        EXPECT_EQ(ListLines(::GetDlgItem(dialog, IDC_RESULTS)),
                  (std::vector<Line>{{"*** INVALID NT SIGNATURE ***", 0}}));
        EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), textFile);
    });
    ::DeleteFileA(textFile.c_str());
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
        ASSERT_GE(events.size(), 3u);
        for (const char* name : {"fixture_lib.dll", "fixture_gone.dll"}) {
            const auto at = std::find(events.begin(), events.end(), name);
            ASSERT_NE(at, events.end()) << name;
            // Repainted at once, before the next name is shown.
            ASSERT_NE(at + 1, events.end());
            EXPECT_EQ(*(at + 1), "<paint>") << name;
        }
        EXPECT_EQ(events.back() == "<paint>" ? *(events.end() - 2) : events.back(),
                  FixtureProgram());
        EXPECT_EQ(WindowText(field), FixtureProgram());
    });
}

TEST_F(MainDialog, ScanStartsTheHorizontalExtentAfresh) {
    Run([&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_RESULTS);
        ::SendMessageA(list, LB_SETHORIZONTALEXTENT, 5000, 0);
        Scan(dialog, FixtureProgram());
        const int extent = static_cast<int>(::SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
        EXPECT_LT(extent, 5000);
        // Still wide enough for the widest line.
        HDC dc = ::GetDC(list);
        HGDIOBJ old =
            ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(list, WM_GETFONT, 0, 0)));
        int widest = 30;
        for (const Line& line : ListLines(list)) {
            SIZE size{};
            ::GetTextExtentPoint32A(dc, line.text.c_str(), static_cast<int>(line.text.size()),
                                    &size);
            widest = std::max(widest, static_cast<int>(size.cx));
        }
        ::SelectObject(dc, old);
        ::ReleaseDC(list, dc);
        EXPECT_EQ(extent, widest);
    });
}

std::map<int, CRect> ControlRects(HWND dialog) {
    std::map<int, CRect> rects;
    int label = 0;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        // The two labels share id -1; tell them apart by order.
        rects[id == 0xFFFF || id == -1 ? -1 - label++ : id] = ChildRect(child);
    }
    return rects;
}

TEST_F(MainDialog, ResizingMovesAndWidensExactlyTheLayoutGroups) {
    Run([&](HWND dialog) {
        const std::map<int, CRect> before = ControlRects(dialog);
        ASSERT_EQ(before.size(), 12u);
        const CRect window = WindowRect(dialog);
        ::SetWindowPos(dialog, nullptr, 0, 0, window.Width() + 50, window.Height() + 30,
                       SWP_NOMOVE | SWP_NOZORDER);
        const std::map<int, CRect> after = ControlRects(dialog);

        // {dx of left, dx of right, dy of top, dy of bottom}
        const std::map<int, std::array<int, 4>> change = {
            {IDC_MODULE, {0, 50, 0, 0}},
            {IDC_INITIAL_DIR, {0, 50, 0, 0}},
            {IDC_RESULTS, {0, 50, 0, 30}},
            {IDC_FIND_MODULE, {50, 50, 0, 0}},
            {IDC_FIND_INITIAL_DIR, {50, 50, 0, 0}},
            {IDOK, {50, 50, 0, 0}},
            {IDCANCEL, {50, 50, 0, 0}},
            {IDC_OPTIONS, {50, 50, 30, 30}},
        };
        for (const auto& [id, rect] : before) {
            SCOPED_TRACE(id);
            const auto found = change.find(id);
            const std::array<int, 4> d =
                found != change.end() ? found->second : std::array<int, 4>{0, 0, 0, 0};
            const CRect& moved = after.at(id);
            EXPECT_EQ(moved.left - rect.left, d[0]);
            EXPECT_EQ(moved.right - rect.right, d[1]);
            EXPECT_EQ(moved.top - rect.top, d[2]);
            EXPECT_EQ(moved.bottom - rect.bottom, d[3]);
        }

        // Changes add up; a minimise and restore moves nothing.
        ::SetWindowPos(dialog, nullptr, 0, 0, window.Width() + 20, window.Height() + 10,
                       SWP_NOMOVE | SWP_NOZORDER);
        const std::map<int, CRect> smaller = ControlRects(dialog);
        EXPECT_EQ(smaller.at(IDC_RESULTS).Width(), before.at(IDC_RESULTS).Width() + 20);
        EXPECT_EQ(smaller.at(IDC_OPTIONS).top, before.at(IDC_OPTIONS).top + 10);
        ::ShowWindow(dialog, SW_MINIMIZE);
        PumpMessages(50);
        ::ShowWindow(dialog, SW_RESTORE);
        PumpMessages(50);
        EXPECT_EQ(ControlRects(dialog), smaller);
    });
}

TEST_F(MainDialog, CannotBeMadeSmallerThanItsTemplate) {
    Run([&](HWND dialog) {
        const CRect initial = WindowRect(dialog);
        const MINMAXINFO info = TrackLimits(dialog);
        EXPECT_EQ(info.ptMinTrackSize.x, initial.Width());
        EXPECT_EQ(info.ptMinTrackSize.y, initial.Height());
        // Both axes have controls laid out: no maximum is imposed.
        EXPECT_EQ(info.ptMaxTrackSize.x, 4000);
        EXPECT_EQ(info.ptMaxTrackSize.y, 3000);

        ::SetWindowPos(dialog, nullptr, 0, 0, initial.Width() - 40, initial.Height() - 25,
                       SWP_NOMOVE | SWP_NOZORDER);
        const CRect after = WindowRect(dialog);
        EXPECT_EQ(after.Width(), initial.Width());
        EXPECT_EQ(after.Height(), initial.Height());
    });
}

TEST(ResizableDialog, WithoutLayoutItKeepsItsTemplateSizeAndShowsNoGrip) {
    CResizableDialog dialog(IDD_KIVREL_DIALOG, 0, 1);
    RunDialog(dialog, [&](HWND hWnd) {
        const CRect initial = WindowRect(hWnd);
        const MINMAXINFO info = TrackLimits(hWnd);
        EXPECT_EQ(info.ptMinTrackSize.x, initial.Width());
        EXPECT_EQ(info.ptMaxTrackSize.x, initial.Width());
        EXPECT_EQ(info.ptMinTrackSize.y, initial.Height());
        EXPECT_EQ(info.ptMaxTrackSize.y, initial.Height());

        // The grip corner keeps the dialog's background colour.
        EXPECT_EQ(CountGripCornerPixels(hWnd), 0);

        // Edit fields get one-pixel inner margins with the message font.
        const LRESULT margins = ::SendDlgItemMessageA(hWnd, IDC_MODULE, EM_GETMARGINS, 0, 0);
        EXPECT_EQ(LOWORD(margins), 1);
        EXPECT_EQ(HIWORD(margins), 1);
    });
}

TEST_F(MainDialog, DrawsASizeGripInTheCorner) {
    Run([&](HWND dialog) { EXPECT_GT(CountGripCornerPixels(dialog), 0); });
}

TEST_F(MainDialog, ControlsSitWhereTheTemplatePutsThemInTheMessageFont) {
    Run([&](HWND dialog) {
        auto units = [&](int x, int y, int cx, int cy) {
            RECT rect{x, y, x + cx, y + cy};
            ::MapDialogRect(dialog, &rect);
            return CRect(rect);
        };
        CRect client;
        ::GetClientRect(dialog, &client);
        const CRect expectedClient = units(0, 0, 253, 149);
        EXPECT_EQ(client.Width(), expectedClient.Width());
        EXPECT_EQ(client.Height(), expectedClient.Height());
        EXPECT_EQ(ChildRect(::GetDlgItem(dialog, IDC_RESULTS)), units(5, 45, 200, 100));
        EXPECT_EQ(ChildRect(::GetDlgItem(dialog, IDC_OPTIONS)), units(210, 125, 40, 12));
        EXPECT_EQ(ChildRect(::GetDlgItem(dialog, IDC_MODULE)), units(70, 10, 135, 12));

        // Buttons carry the system message font; fields and list the stock font.
        NONCLIENTMETRICSA metrics{};
        metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
        ASSERT_TRUE(::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0));
        LOGFONTA font{};
        ::GetObjectA(
            reinterpret_cast<HGDIOBJ>(::SendDlgItemMessageA(dialog, IDOK, WM_GETFONT, 0, 0)),
            sizeof(font), &font);
        EXPECT_STREQ(font.lfFaceName, metrics.lfMessageFont.lfFaceName);
        EXPECT_EQ(font.lfHeight, metrics.lfMessageFont.lfHeight);
        const HGDIOBJ stock = ::GetStockObject(ANSI_VAR_FONT);
        for (int id : {IDC_MODULE, IDC_INITIAL_DIR, IDC_RESULTS}) {
            EXPECT_EQ(
                reinterpret_cast<HGDIOBJ>(::SendDlgItemMessageA(dialog, id, WM_GETFONT, 0, 0)),
                stock)
                << id;
        }
        // The default button is Scan.
        EXPECT_EQ(LOWORD(::SendMessageA(dialog, DM_GETDEFID, 0, 0)), IDOK);
    });
}

TEST_F(MainDialog, AChangeOfSystemMetricsKeepsTheFieldsInTheirOwnFont) {
    Run([&](HWND dialog) {
        ::SendMessageA(dialog, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, 0);
        const HGDIOBJ stock = ::GetStockObject(ANSI_VAR_FONT);
        for (int id : {IDC_MODULE, IDC_INITIAL_DIR, IDC_RESULTS}) {
            EXPECT_EQ(
                reinterpret_cast<HGDIOBJ>(::SendDlgItemMessageA(dialog, id, WM_GETFONT, 0, 0)),
                stock)
                << id;
        }
        // The buttons got the message font anew.
        HFONT button =
            reinterpret_cast<HFONT>(::SendDlgItemMessageA(dialog, IDOK, WM_GETFONT, 0, 0));
        EXPECT_NE(button, nullptr);
        EXPECT_NE(reinterpret_cast<HGDIOBJ>(button), stock);
        EXPECT_EQ(::GetObjectType(button), static_cast<DWORD>(OBJ_FONT));
    });
}

TEST_F(MainDialog, FindModuleOffersModulesAndPutsTheChosenPathIntoTheField) {
    Run([&](HWND dialog) {
        ::SetDlgItemTextA(dialog, IDC_MODULE, "");
        std::string title;
        std::string firstFilter;
        OnNextModalLoop([&](HWND chooser) {
            title = WindowText(chooser);
            char filter[128] = "";
            ::SendDlgItemMessageA(chooser, 1136, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(filter));
            firstFilter = filter;
            // The file name goes into the name field (an edit or a combo box).
            HWND name = ::GetDlgItem(chooser, 1148);
            if (name == nullptr) name = ::GetDlgItem(chooser, 1152);
            ::SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(FixtureProgram().c_str()));
            ::PostMessageA(chooser, WM_COMMAND, IDOK, 0);
        });
        ::SendMessageA(dialog, WM_COMMAND, IDC_FIND_MODULE, 0);
        EXPECT_EQ(title, "Find Windows module");
        EXPECT_EQ(firstFilter, "MS Windows module (*.exe,*.dll)");
        EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), FixtureProgram());

        // Cancelling changes nothing.
        OnNextModalLoop([&](HWND chooser) { ::PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0); });
        ::SendMessageA(dialog, WM_COMMAND, IDC_FIND_MODULE, 0);
        EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDC_MODULE)), FixtureProgram());
    });
}

TEST_F(MainDialog, AboutBoxOpensFromTheSystemMenuAndTheCommand) {
    Run([&](HWND dialog) {
        HMENU menu = ::GetSystemMenu(dialog, FALSE);
        ASSERT_NE(menu, nullptr);
        const int count = ::GetMenuItemCount(menu);
        char text[64] = "";
        ::GetMenuStringA(menu, IDM_ABOUTBOX, text, sizeof(text), MF_BYCOMMAND);
        EXPECT_STREQ(text, "&About...");
        EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        MENUITEMINFOA separator{};
        separator.cbSize = sizeof(separator);
        separator.fMask = MIIM_FTYPE;
        ::GetMenuItemInfoA(menu, count - 2, TRUE, &separator);
        EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

        for (UINT message : {WM_SYSCOMMAND, WM_COMMAND}) {
            std::string title;
            HWND owner = nullptr;
            OnNextModalLoop([&](HWND about) {
                title = WindowText(about);
                owner = ::GetWindow(about, GW_OWNER);
                ::PostMessageA(about, WM_COMMAND, IDOK, 0);
            });
            ::SendMessageA(dialog, message, IDM_ABOUTBOX, 0);
            EXPECT_EQ(title, "About Kivrel") << message;
            EXPECT_EQ(owner, dialog) << message;
            EXPECT_TRUE(::IsWindowEnabled(dialog));
        }
    });
}

TEST_F(MainDialog, AnswersHelpTipRequestsForItsPushButtons) {
    Run([&](HWND dialog) {
        auto ask = [&](UINT_PTR id, UINT code = HTN_NEEDTEXT) {
            NMHELPTIP request{};
            request.hdr = NMHDR{dialog, id, code};
            ::SendMessageA(dialog, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&request));
            return std::string(request.szText);
        };
        const std::string scanTip = ask(IDOK);
        EXPECT_EQ(scanTip, LoadResString(IDS_TIP_SCAN));
        EXPECT_EQ(std::count(scanTip.begin(), scanTip.end(), '\n'), 6);
        EXPECT_EQ(ask(IDCANCEL), "Exit the application");
        EXPECT_EQ(ask(IDC_FIND_MODULE), "Find Windows module");
        EXPECT_EQ(ask(IDC_FIND_INITIAL_DIR), "Find Initial directory");
        EXPECT_EQ(ask(IDC_MODULE), "");
        EXPECT_EQ(ask(IDOK, 9999), "");
    });
}

}  // namespace
}  // namespace kivrel_test
