// The directory dialog on the platform's real file dialog, driven by steps
// inside its modal loop and the message boxes it opens.
#include "select_dir_dialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "kivrel_dlg.h"
#include "resource.h"
#include "test_support.h"
#include "volume_platform.h"
#include "win_app.h"

namespace kivrel_test {
namespace {

// The platform's file-name field is the combo box cmb13, not edt1.
void TypeName(HWND frame, const std::string& text) {
    ::SendDlgItemMessageA(frame, 1148, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Selects the item `name` in the dialog's list, as a click would.
void SelectInList(HWND frame, const std::string& name) {
    const HWND view = ::FindWindowExA(::FindWindowExA(frame, nullptr, "SHELLDLL_DefView", nullptr),
                                      nullptr, WC_LISTVIEWA, nullptr);
    LVFINDINFOA find{LVFI_STRING, name.c_str(), 0, {}, 0};
    const UINT state = LVIS_SELECTED | LVIS_FOCUSED;
    ListView_SetItemState(view, ListView_FindItem(view, -1, &find), state, state);
}

std::string CurrentDirectory() { return std::filesystem::current_path().string(); }

class SelectDirDialog : public testing::Test {
protected:
    void SetUp() override {
        m_base = (std::filesystem::temp_directory_path() / "kivrel-dirdlg").string();
        std::filesystem::create_directories(m_base + "\\dir\\sub");
        std::filesystem::create_directories(m_base + "\\other");
        std::ofstream(m_base + "\\dir\\file.txt");
        m_savedCwd = CurrentDirectory();
        ::RegDeleteTreeA(
            HKEY_CURRENT_USER,
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedMRU");
    }
    void TearDown() override {
        ::SetCurrentDirectoryA(m_savedCwd.c_str());
        std::filesystem::remove_all(m_base);
    }

    std::string m_base, m_savedCwd;
};

// Also: the current directory stays, whatever the dialog did, even unshown.
TEST_F(SelectDirDialog, ConfirmedTextGivesTheCheckedDirectoryAndPropertiesTheVolume) {
    ::SetCurrentDirectoryA((m_base + "\\other").c_str());
    const std::string before = CurrentDirectory();
    { CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE); }
    EXPECT_EQ(CurrentDirectory(), before) << "never shown";
    const std::string longName = "C:\\" + std::string(256, 'a');  // 259 characters
    const std::string invalid = std::string(AfxGetAppName()) + ": Invalid directory";
    // directory "": the message box begins with `shown` and the dialog stays
    // open. "Properties..." reports the volume, once per click; it also checks
    // texts longer than a path, which the platform does not hand over when
    // confirmed. `picked`: selected in the list, not typed.
    // clang-format off
    const struct { std::string typed, directory, shown{}; bool viaProperties = false, picked = false; } cases[] = {
        {m_base + "\\dir\\", m_base + "\\dir"},
        {"sub", m_base + "\\dir\\sub", "", false, true},
        {m_base + "\\dir\\file.txt", m_base + "\\dir"},
        {m_base + "\\missing", "", invalid},
        {longName, "", invalid},  // no room for the pattern
        {longName + longName, "", invalid, true},
        {m_base + "\\dir", "", "(C:\\) properties: ", true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        CSelectDirDialog dialog(nullptr, nullptr, (m_base + "\\dir").c_str(), TRUE);
        std::string message;
        bool stayedOpen = false;
        std::vector<Step> steps = {WithPopup(nullptr, [&](HWND frame) {
            if (c.picked)
                SelectInList(frame, c.typed);
            else
                TypeName(frame, c.typed);
            const int button = c.viaProperties ? 1038 : IDOK;
            ::PostMessageA(frame, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                           LPARAM(c.viaProperties ? ::GetDlgItem(frame, button) : nullptr));
        })};
        if (c.directory.empty()) {
            steps.push_back([&] {
                return WithPopup(::GetParent(dialog.m_hWnd), [&](HWND box) {
                    message = WindowText(box) + ": " + WindowText(::GetDlgItem(box, 0xFFFF));
                    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
                })();
            });
            // Ten ticks without a second box (which would keep this step
            // waiting): is the frame still open?
            steps.push_back([&, ticks = 0]() mutable {
                const HWND frame = ::GetParent(dialog.m_hWnd);
                if (frame != nullptr && Popup(frame) != nullptr) return false;
                if (++ticks < 10) return false;
                stayedOpen = frame != nullptr && ::IsWindowVisible(frame);
                if (frame != nullptr) ::PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
                return true;
            });
        }
        INT_PTR result = -1;
        EXPECT_TRUE(RunSteps(steps, [&] { result = dialog.DoModal(); }));
        EXPECT_EQ(result, c.directory.empty() ? IDCANCEL : IDOK);
        EXPECT_EQ(std::string(dialog.GetDirectory()), c.directory);
        EXPECT_EQ(CurrentDirectory(), before);
        EXPECT_EQ(message.substr(0, c.shown.size()), c.shown);
        EXPECT_EQ(stayedOpen, c.directory.empty());
    }
}

DWORD g_connectError = 0;
std::string g_connected;
DWORD WINAPI RecordConnection(NETRESOURCEA* resource, LPCSTR password, LPCSTR user, DWORD flags) {
    g_connected = std::string(resource->lpRemoteName) + " " + resource->lpLocalName +
                  (password != nullptr ? " password" : "") + (user != nullptr ? " user" : "") +
                  " " + std::to_string(flags);
    return g_connectError;
}

// "Properties..." of a share connects it with the user's own credentials (no
// password, not even an empty one), for this session only.
TEST(VolumePlatform, ConnectsAShareWithTheUsersCredentialsForThisSessionOnly) {
    using kivrel::ConnectResult;
    const std::pair<DWORD, ConnectResult> rows[] = {
        {NO_ERROR, ConnectResult::kConnected},
        {ERROR_ALREADY_ASSIGNED, ConnectResult::kLetterInUse},
        {ERROR_DEVICE_ALREADY_REMEMBERED, ConnectResult::kLetterInUse},
        {ERROR_NO_NETWORK, ConnectResult::kFailed}};
    CVolumePlatform platform(nullptr);
    platform.m_pfnAddConnection = &RecordConnection;
    for (const auto& [error, result] : rows) {
        g_connectError = error;
        EXPECT_EQ(platform.Connect("\\\\server\\share", "D:"), result) << error;
        EXPECT_EQ(g_connected, "\\\\server\\share D: 0");
    }
}

// Find... and the initial directory's Find... open their choosers over the
// main dialog, titled, in the folder of the field; OK puts the path chosen
// into the field, Cancel leaves it as it was.
TEST_F(SelectDirDialog, TheFindButtonsPutTheChosenPathIntoTheirFields) {
    ::SetCurrentDirectoryA((m_base + "\\other").c_str());
    AfxGetApp()->m_strCmdLine.clear();
    const std::string dir = m_base + "\\dir";
    // The chooser's title, then the folder it shows and its name field.
    // clang-format off
    const struct { UINT command; int field; std::string before, typed; UINT button; std::string after; std::vector<std::string> seen; } rows[] = {
        {IDC_FIND_MODULE, IDC_MODULE, "before", FixtureProgram(), IDCANCEL, "before", {"Find Windows module"}},
        {IDC_FIND_MODULE, IDC_MODULE, "before", FixtureProgram(), IDOK, FixtureProgram(), {"Find Windows module"}},
        {IDC_FIND_INITIAL_DIR, IDC_INITIAL_DIR, dir, "sub", IDOK, dir + "\\sub", {"Find Initial directory", dir, dir}}};
    // clang-format on
    CKivrelDlg main;
    RunDialog(main, [&](HWND dialog) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.seen[0]);
            ::SetDlgItemTextA(dialog, row.field, row.before.c_str());
            std::vector<std::string> seen;
            // Owned by the main dialog, or the step never finds it.
            EXPECT_TRUE(CommandWithPopup(dialog, row.command, [&](HWND frame) {
                char folder[MAX_PATH] = "";
                ::SendMessageA(frame, CDM_GETFOLDERPATH, MAX_PATH,
                               reinterpret_cast<LPARAM>(folder));
                seen = {WindowText(frame), folder, WindowText(::GetDlgItem(frame, 1148))};
                seen.resize(row.seen.size());
                TypeName(frame, row.typed);
                ::PostMessageA(frame, WM_COMMAND, row.button, 0);
            }));
            EXPECT_EQ(seen, row.seen);
            EXPECT_EQ(WindowText(::GetDlgItem(dialog, row.field)), row.after);
        }
    });
}

}  // namespace
}  // namespace kivrel_test
